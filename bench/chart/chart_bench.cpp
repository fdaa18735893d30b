// Paint time of the main window's lower chart into a 900 x 320 image: the newest 100
// seconds of 100 points and of 30 days at 1 Hz (which should cost the same), and a
// million points all in view. Also the cost of adding a point. Prints `name: value unit`.

#include "chart/plot_widget.h"
#include "main_chart_view.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

using clock_type = std::chrono::steady_clock;

// Median paint time in microseconds, after a few warm-up paints.
double paint_us(Plot& plot, const chart_bench::view_spec& view, int repeats) {
    QImage image(view.size, QImage::Format_RGB32);
    plot_painter painter;
    std::vector<double> times;
    for (int i = 0; i < repeats + 5; ++i) {
        const auto t0 = clock_type::now();
        {
            QPainter p(&image);
            painter.paint(p, image.rect(), plot, QFont());
        }
        const auto t1 = clock_type::now();
        if (i >= 5)
            times.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
    }
    std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
    return times[times.size() / 2];
}

double figure(std::size_t points, chart_bench::view_kind kind, int repeats) {
    const chart_bench::series data = chart_bench::make_bioluminescence(points);
    const chart_bench::view_spec view = chart_bench::main_chart_view(data, kind);
    Plot plot;
    chart_bench::setup_main_chart(plot, data, view);
    return paint_us(plot, view, repeats);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    using chart_bench::view_kind;
    const std::size_t thirty_days = 30u * 86400u;

    std::printf("chart_paint_us_100: %.0f us\n", figure(100, view_kind::newest_100_seconds, 300));
    std::printf("chart_paint_us_30d: %.0f us\n",
                figure(thirty_days, view_kind::newest_100_seconds, 300));
    std::printf("chart_paint_us_1m_all: %.0f us\n", figure(1'000'000, view_kind::everything, 30));

    const chart_bench::series data = chart_bench::make_bioluminescence(thirty_days);
    Plot plot;
    const auto t0 = clock_type::now();
    chart_bench::setup_main_chart(
        plot, data, chart_bench::main_chart_view(data, view_kind::newest_100_seconds));
    const double ns = std::chrono::duration<double, std::nano>(clock_type::now() - t0).count();
    std::printf("chart_add_point_ns: %.0f ns\n", ns / static_cast<double>(thirty_days));
    return 0;
}
