#pragma once

// Timing and comparison helpers shared by the chart benchmarks.

#include <QImage>
#include <QRect>

#include <algorithm>
#include <chrono>
#include <vector>

namespace chart_bench {

// Median time of paint() in microseconds over repeats calls, after a few warm-up calls:
// the median, so that one busy moment of the machine does not move the figure.
template <typename F> double median_us(int repeats, F&& paint, int warm_up = 3) {
    using clock_type = std::chrono::steady_clock;
    std::vector<double> times;
    times.reserve(static_cast<std::size_t>(repeats));
    for (int i = 0; i < warm_up + repeats; ++i) {
        const auto t0 = clock_type::now();
        paint();
        const auto t1 = clock_type::now();
        if (i >= warm_up)
            times.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
    }
    std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
    return times[times.size() / 2];
}

// Of the pixels of `ours` inside area that have the marker colour, the fraction that have
// a pixel of that colour in `theirs` within one pixel (in either direction, diagonals
// included). 1 when ours has no marker pixel at all.
inline double marker_agreement(const QImage& ours, const QImage& theirs, const QRect& area,
                               QRgb marker) {
    auto is_marker = [marker](const QImage& image, int x, int y) {
        return x >= 0 && y >= 0 && x < image.width() && y < image.height() &&
               (image.pixel(x, y) & 0xffffffu) == (marker & 0xffffffu);
    };
    long long total = 0, matched = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            if (!is_marker(ours, x, y))
                continue;
            ++total;
            bool found = false;
            for (int dy = -1; dy <= 1 && !found; ++dy)
                for (int dx = -1; dx <= 1 && !found; ++dx)
                    found = is_marker(theirs, x + dx, y + dy);
            matched += found;
        }
    return total == 0 ? 1.0 : double(matched) / double(total);
}

} // namespace chart_bench
