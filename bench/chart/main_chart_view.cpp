#include "main_chart_view.h"

#include "app/chart_setups.h"
#include "chart/plot_map.h"
#include "chart/plot_painter.h"
#include "marker_reference.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace chart_bench {

series make_bioluminescence(std::size_t points, unsigned seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0, 0.08);
    std::uniform_real_distribution<double> unit(0, 1);
    series s;
    s.x.reserve(points);
    s.y.reserve(points);
    double level = 3.5; // log10 of photons/second
    for (std::size_t i = 0; i < points; ++i) {
        level = std::clamp(level + 0.01 * (unit(rng) - 0.5), 1.5, 6.0);
        s.x.push_back(static_cast<double>(i));
        s.y.push_back(unit(rng) < 0.001 ? 0.0 : std::pow(10.0, level + noise(rng)));
    }
    return s;
}

view_spec main_chart_view(const series& data, view_kind kind) {
    view_spec v;
    if (data.x.empty())
        return v;
    v.x_max = data.x.back();
    v.x_min = kind == view_kind::everything ? data.x.front() : v.x_max - 100;
    return v;
}

void setup_main_chart(Plot& plot, const series& data, const view_spec& view) {
    setup_bioluminescence_chart(plot);
    PlotXAxis& x = plot.GetXAxis(0);
    PlotYAxis& y = plot.GetYAxis(0);
    PlotChannel& bl = plot.GetChannel(1);
    bl.SetColor(view.marker_color);
    bl.SetMarkersSize(view.marker_radius);
    plot.SetPlotArea(view.size.width() - 100, view.size.height() - 70);
    for (std::size_t i = 0; i < data.x.size(); ++i)
        bl.AddPoint(data.x[i], data.y[i]);
    x.SetMin(view.x_min);
    x.SetSpan(view.x_max - view.x_min);
    y.SetMin(view.y_min);
    y.SetSpan(view.y_max - view.y_min);
}

QImage every_marker_by_hand(Plot& plot, QSize size) {
    return ::every_marker_by_hand(plot, plot.GetChannel(1), size);
}

double exact_agreement(const QImage& a, const QImage& b, QRgb marker) {
    long long either = 0, both = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const bool in_a = (a.pixel(x, y) & 0xffffffu) == (marker & 0xffffffu);
            const bool in_b = (b.pixel(x, y) & 0xffffffu) == (marker & 0xffffffu);
            either += in_a || in_b;
            both += in_a && in_b;
        }
    return either == 0 ? 1.0 : double(both) / double(either);
}

} // namespace chart_bench
