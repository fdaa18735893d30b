// The lower main chart in QCustomPlot beside ours, on the same data, in the same 900 x 320
// image with the same plot rectangle and axis ranges: the newest 100 seconds of 30 days,
// and a million points all in view, whose two pictures are compared pixel by pixel.
// Prints `name: value unit`; what it notices on the way goes to standard error.

#include "chart/plot_widget.h"
#include "main_chart_view.h"
#include "paint_timing.h"

#include <qcustomplot.h>

#include <QApplication>
#include <QPainter>

#include <cstdio>
#include <memory>

namespace {

using chart_bench::series;
using chart_bench::view_kind;
using chart_bench::view_spec;

// Our chart of the data, with the plot rectangle its layout gives in the image.
struct our_chart {
    Plot plot;
    plot_painter painter;
    QRect area;

    our_chart(const series& data, const view_spec& view) {
        chart_bench::setup_main_chart(plot, data, view);
        area = plot_painter::layout(plot, QRect(QPoint(0, 0), view.size), QFont()).plot_area;
    }
    void paint(QImage& image) {
        QPainter p(&image);
        painter.paint(p, image.rect(), plot, QFont());
    }
};

// The same chart as QCustomPlot draws it: a graph without line, disc markers as wide as
// ours (radius 2 around the centre pixel: 5 pixels), a log Y axis with powers of ten.
struct their_chart {
    QCustomPlot plot;
    QCPGraph* graph;

    their_chart(const series& data, const view_spec& view, const QRect& area, bool sampled) {
        plot.resize(view.size);
        plot.setBackground(Qt::black);
        plot.axisRect()->setBackground(Qt::black);
        graph = plot.addGraph();
        graph->setLineStyle(QCPGraph::lsNone);
        graph->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssDisc, view.marker_color,
                                               2 * view.marker_radius + 1));
        graph->setAntialiasedScatters(false); // ours are not smoothed either
        // With many points in view QCustomPlot by default draws a sample of them, which
        // can leave out a rare outlier; without it every point is drawn.
        graph->setAdaptiveSampling(sampled);
        // A log axis has no place for 0; the program draws it at 1, and so does this one.
        QVector<double> x(data.x.begin(), data.x.end());
        QVector<double> y(static_cast<qsizetype>(data.y.size()));
        for (std::size_t i = 0; i < data.y.size(); ++i)
            y[static_cast<qsizetype>(i)] = data.y[i] > 0 ? data.y[i] : 1.0;
        graph->setData(x, y, true);

        for (QCPAxis* axis : {plot.xAxis, plot.yAxis}) {
            axis->setBasePen(QPen(Qt::white));
            axis->setTickPen(QPen(Qt::white));
            axis->setSubTickPen(QPen(Qt::white));
            axis->setTickLabelColor(Qt::white);
            axis->setLabelColor(Qt::white);
            axis->grid()->setPen(QPen(QColor(64, 64, 64)));
        }
        plot.xAxis->setLabel("Time from start in seconds (clock from computer)");
        plot.yAxis->setLabel("Photons/second - log scale");
        plot.yAxis->setScaleType(QCPAxis::stLogarithmic);
        plot.yAxis->setTicker(QSharedPointer<QCPAxisTickerLog>(new QCPAxisTickerLog));
        plot.yAxis->setNumberFormat("eb");
        plot.yAxis->setNumberPrecision(0);
        plot.xAxis->setRange(view.x_min, view.x_max);
        plot.yAxis->setRange(view.y_min, view.y_max);

        // Our first pixel column is Min and our last is Max, so Max lies width - 1 pixels
        // from Min; QCustomPlot puts Min on the rectangle's left edge and Max width pixels
        // further, and Min of Y on its bottom row. This rectangle maps as ours does.
        const QRect rect(area.left(), area.top() + 1, area.width() - 1, area.height() - 1);
        plot.axisRect()->setAutoMargins(QCP::msNone);
        plot.axisRect()->setMargins(QMargins(rect.left(), rect.top(),
                                             view.size.width() - rect.left() - rect.width(),
                                             view.size.height() - rect.top() - rect.height()));
    }
    void paint(QImage& image) {
        QCPPainter p(&image);
        plot.toPainter(&p, image.width(), image.height());
    }
};

struct comparison {
    double ours_us, theirs_us, ratio, agreement;
};

double median(std::vector<double> v) {
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

comparison compare(std::size_t points, view_kind kind, int rounds, int paints,
                   bool sampled = true) {
    const series data = chart_bench::make_bioluminescence(points);
    const view_spec view = chart_bench::main_chart_view(data, kind);
    our_chart ours(data, view);
    their_chart theirs(data, view, ours.area, sampled);
    QImage a(view.size, QImage::Format_RGB32), b(view.size, QImage::Format_RGB32);
    comparison out;
    // The two painted by turns, a few paints each, so that the machine's busy moments
    // fall on both alike; each round's figure is the median of its paints after the
    // first, and the ratio is the median of the rounds' ratios.
    std::vector<double> ours_us, theirs_us, ratios;
    for (int round = 0; round < rounds; ++round) {
        ours_us.push_back(chart_bench::median_us(
            paints, [&] { ours.paint(a); }, 1));
        theirs_us.push_back(chart_bench::median_us(
            paints, [&] { theirs.paint(b); }, 1));
        ratios.push_back(ours_us.back() / theirs_us.back());
    }
    out.ours_us = median(ours_us);
    out.theirs_us = median(theirs_us);
    out.ratio = median(ratios);
    const QRect their_area = theirs.plot.axisRect()->rect();
    if (their_area.left() != ours.area.left() || their_area.top() != ours.area.top() + 1 ||
        their_area.width() != ours.area.width() - 1 ||
        their_area.height() != ours.area.height() - 1)
        std::fprintf(stderr, "bench: QCustomPlot's axis rectangle is not the one asked for\n");
    out.agreement = chart_bench::marker_agreement(a, b, ours.area, view.marker_color.rgb());
    std::fprintf(stderr,
                 "bench: %zu points%s: ours found in QCustomPlot's picture %.3f, "
                 "theirs in ours %.3f\n",
                 points, sampled ? "" : " (QCustomPlot drawing every point)", out.agreement,
                 chart_bench::marker_agreement(b, a, ours.area, view.marker_color.rgb()));
    if (!qEnvironmentVariableIsEmpty("MAREV_BENCH_IMAGES")) {
        const QString dir = qEnvironmentVariable("MAREV_BENCH_IMAGES");
        a.save(QString("%1/chart_%2.png").arg(dir).arg(points));
        b.save(QString("%1/qcustomplot_%2%3.png").arg(dir).arg(points).arg(sampled ? "" : "_all"));
    }
    return out;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const comparison month = compare(30u * 86400u, view_kind::newest_100_seconds, 20, 10);
    std::printf("qcustomplot_paint_us_30d: %.0f us\n", month.theirs_us);
    std::printf("chart_vs_qcustomplot_30d: %.2f x\n", month.ratio);
    std::fflush(stdout);

    // Speed against QCustomPlot as it comes; the picture against QCustomPlot drawing every
    // point, as ours does (its sample can leave out the few points at the bottom).
    const comparison all = compare(1'000'000, view_kind::everything, 7, 5);
    std::printf("qcustomplot_paint_ms_all_1m: %.1f ms\n", all.theirs_us / 1000);
    std::printf("chart_vs_qcustomplot_all_1m: %.3f x\n", all.ratio);
    std::fflush(stdout);
    const comparison exact = compare(1'000'000, view_kind::everything, 1, 3, false);
    std::printf("qcustomplot_unsampled_paint_ms_all_1m: %.1f ms\n", exact.theirs_us / 1000);
    std::printf("chart_agreement_all_1m: %.3f fraction\n", exact.agreement);
    return 0;
}
