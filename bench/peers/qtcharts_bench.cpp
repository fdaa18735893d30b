// The lower main chart in Qt Charts, on the same data as ours: a scatter series of 30 days
// at 1 Hz on a log Y axis, the newest 100 seconds in view, painted into a 900 x 320 image.
// Prints `name: value unit`.

#include "chart/plot_widget.h"
#include "main_chart_view.h"
#include "paint_timing.h"

#include <QApplication>
#include <QChart>
#include <QGraphicsScene>
#include <QLogValueAxis>
#include <QPainter>
#include <QScatterSeries>
#include <QValueAxis>

#include <chrono>
#include <cstdio>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const auto t0 = std::chrono::steady_clock::now();
    const chart_bench::series data = chart_bench::make_bioluminescence(30u * 86400u);
    const chart_bench::view_spec view =
        chart_bench::main_chart_view(data, chart_bench::view_kind::newest_100_seconds);
    Plot ours;
    chart_bench::setup_main_chart(ours, data, view);
    const QRect area = plot_painter::layout(ours, QRect(QPoint(0, 0), view.size), QFont()).plot_area;

    auto* series = new QScatterSeries;
    series->setMarkerShape(QScatterSeries::MarkerShapeCircle);
    series->setMarkerSize(2 * view.marker_radius + 1);
    series->setColor(view.marker_color);
    series->setBorderColor(view.marker_color);
    QList<QPointF> points;
    points.reserve(static_cast<qsizetype>(data.x.size()));
    for (std::size_t i = 0; i < data.x.size(); ++i) // 0 drawn at 1, as the program does
        points.append(QPointF(data.x[i], data.y[i] > 0 ? data.y[i] : 1.0));
    series->replace(points);

    QChart chart;
    chart.legend()->hide();
    chart.setTitle("QELM 1Hz - Bioluminescence - photons/second");
    chart.setBackgroundBrush(Qt::black);
    chart.setTitleBrush(Qt::white);
    chart.addSeries(series);
    auto* x = new QValueAxis;
    x->setTitleText("Time from start in seconds (clock from computer)");
    x->setRange(view.x_min, view.x_max);
    auto* y = new QLogValueAxis;
    y->setTitleText("Photons/second - log scale");
    y->setBase(10);
    y->setLabelFormat("%.0e");
    y->setRange(view.y_min, view.y_max);
    chart.addAxis(x, Qt::AlignBottom);
    chart.addAxis(y, Qt::AlignLeft);
    series->attachAxis(x);
    series->attachAxis(y);

    QGraphicsScene scene;
    scene.addItem(&chart);
    chart.setGeometry(QRectF(QPointF(0, 0), QSizeF(view.size)));
    chart.setPlotArea(QRectF(area));
    QApplication::processEvents(); // lays the chart out
    std::fprintf(stderr, "bench: Qt Charts set up 30 days in %.1f s\n",
                 std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());

    QImage image(view.size, QImage::Format_RGB32);
    const double us = chart_bench::median_us(50, [&] {
        QPainter p(&image);
        scene.render(&p, QRectF(image.rect()), QRectF(QPointF(0, 0), QSizeF(view.size)));
    });
    scene.removeItem(&chart);
    std::printf("qtcharts_paint_us_30d: %.0f us\n", us);
    if (!qEnvironmentVariableIsEmpty("MAREV_BENCH_IMAGES"))
        image.save(qEnvironmentVariable("MAREV_BENCH_IMAGES") + "/qtcharts_30d.png");
    return 0;
}
