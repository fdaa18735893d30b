// Paint time of the main window's lower chart into a 900 x 320 image: the newest 100
// seconds of 100 points and of 30 days at 1 Hz (which should cost the same), and a
// million points all in view. Also the cost of adding a point while the axes track, and
// of fitting Y to 30 days. Prints `name: value unit`.

#include "chart/plot_widget.h"
#include "main_chart_view.h"
#include "paint_timing.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <chrono>
#include <cstdio>
#include <vector>

namespace {

using clock_type = std::chrono::steady_clock;
using chart_bench::view_kind;

// One chart of the lower main chart's view, ready to paint.
struct painted_chart {
    chart_bench::view_spec view;
    Plot plot;
    plot_painter painter;
    QImage image;

    painted_chart(std::size_t points, view_kind kind) {
        const chart_bench::series data = chart_bench::make_bioluminescence(points);
        view = chart_bench::main_chart_view(data, kind);
        chart_bench::setup_main_chart(plot, data, view);
        image = QImage(view.size, QImage::Format_RGB32);
    }
    double paint_us(int repeats) {
        return chart_bench::median_us(repeats, [&] {
            QPainter p(&image);
            painter.paint(p, image.rect(), plot, QFont());
        });
    }
};

double median(std::vector<double> v) {
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::size_t thirty_days = 30u * 86400u;

    {
        // The two views painted by turns, so that the machine's busy moments fall on both
        // alike; the ratio is the median of the rounds' ratios.
        painted_chart few(100, view_kind::newest_100_seconds);
        painted_chart month(thirty_days, view_kind::newest_100_seconds);
        std::vector<double> few_us, month_us, ratios;
        for (int round = 0; round < 15; ++round) {
            few_us.push_back(few.paint_us(20));
            month_us.push_back(month.paint_us(20));
            ratios.push_back(month_us.back() / few_us.back());
        }
        std::printf("chart_paint_us_100: %.0f us\n", median(few_us));
        std::printf("chart_paint_us_30d: %.0f us\n", median(month_us));
        std::printf("chart_paint_ratio_30d_vs_100: %.2f x\n", median(ratios));
        std::fflush(stdout);
    }
    std::printf("chart_paint_ms_all_1m: %.2f ms\n",
                painted_chart(1'000'000, view_kind::everything).paint_us(30) / 1000);
    std::fflush(stdout);
    {
        painted_chart month(thirty_days, view_kind::everything);
        std::printf("chart_paint_ms_all_30d: %.2f ms\n", month.paint_us(30) / 1000);
        std::fflush(stdout);
    }
    {
        // The picture of a million points in view against drawing every marker.
        painted_chart all(1'000'000, view_kind::everything);
        all.paint_us(1);
        const QImage by_hand = chart_bench::every_marker_by_hand(all.plot, all.view.size);
        std::printf("chart_agreement_exact_all_1m: %.3f fraction\n",
                    chart_bench::exact_agreement(all.image, by_hand, all.view.marker_color.rgb()));
        std::fflush(stdout);
    }

    // Thirty days of points added one by one to the chart as the program sets it up, the
    // axes following each point.
    const chart_bench::series data = chart_bench::make_bioluminescence(thirty_days);
    Plot plot;
    chart_bench::setup_main_chart(plot, chart_bench::series{},
                                  chart_bench::main_chart_view({}, view_kind::newest_100_seconds));
    PlotChannel& channel = plot.GetChannel(1);
    const auto t0 = clock_type::now();
    for (std::size_t i = 0; i < thirty_days; ++i)
        channel.AddPoint(data.x[i], data.y[i]);
    const double add_ns = std::chrono::duration<double, std::nano>(clock_type::now() - t0).count();
    std::printf("chart_addpoint_ns_30d: %.1f ns\n", add_ns / static_cast<double>(thirty_days));

    // Y fitted to everything: the X axis over all 30 days first.
    plot.GetXAxis(0).SetMin(data.x.front());
    plot.GetXAxis(0).SetSpan(data.x.back() - data.x.front());
    PlotYAxis& y = plot.GetYAxis(0);
    const double fit_us = chart_bench::median_us(20, [&] { y.FitToData(); });
    std::printf("chart_fit_us_30d: %.0f us\n", fit_us);
    return 0;
}
