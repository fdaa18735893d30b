// The lower main chart in Qt Charts, on the same data as ours: a scatter series at 1 Hz on
// a log Y axis, the newest 100 seconds in view, painted into a 900 x 320 image, with 100
// points, a day and 30 days held. Qt Charts keeps an item for every point, so each size is
// set up and painted in a child process given a time limit (MAREV_BENCH_QTCHARTS_LIMIT
// seconds, 60 unless set); a size it cannot manage in time is reported, not waited for.
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
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using clock_type = std::chrono::steady_clock;

// Sets up Qt Charts with the points and prints the median paint time in microseconds.
int paint_in_qtcharts(std::size_t count, int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const auto t0 = clock_type::now();
    const chart_bench::series data = chart_bench::make_bioluminescence(count);
    const chart_bench::view_spec view =
        chart_bench::main_chart_view(data, chart_bench::view_kind::newest_100_seconds);
    Plot ours;
    chart_bench::setup_main_chart(ours, data, view);
    const QRect area =
        plot_painter::layout(ours, QRect(QPoint(0, 0), view.size), QFont()).plot_area;

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
    QImage image(view.size, QImage::Format_RGB32);
    auto paint = [&] {
        QPainter p(&image);
        scene.render(&p, QRectF(image.rect()), QRectF(QPointF(0, 0), QSizeF(view.size)));
    };
    QApplication::processEvents(); // lays the chart out
    paint();
    std::fprintf(stderr, "bench: Qt Charts set up %zu points in %.1f s\n", count,
                 std::chrono::duration<double>(clock_type::now() - t0).count());
    const double us = chart_bench::median_us(30, paint);
    if (!qEnvironmentVariableIsEmpty("MAREV_BENCH_IMAGES"))
        image.save(qEnvironmentVariable("MAREV_BENCH_IMAGES") +
                   QString("/qtcharts_%1.png").arg(count));
    std::printf("%.0f\n", us);
    scene.removeItem(&chart);
    return 0;
}

// Runs this program for one size with the time limit; the paint time, or negative.
double child_paint_us(const char* self, std::size_t count, int limit_s) {
    int out[2];
    if (::pipe(out) != 0)
        return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::close(out[0]);
        ::close(out[1]);
        const std::string n = std::to_string(count);
        ::execl(self, self, n.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    const auto deadline = clock_type::now() + std::chrono::seconds(limit_s);
    int status = 0;
    bool ended = false;
    while (!(ended = ::waitpid(pid, &status, WNOHANG) == pid) && clock_type::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (!ended) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        ::close(out[0]);
        return -1;
    }
    char buf[64] = {};
    const ssize_t n = ::read(out[0], buf, sizeof buf - 1);
    ::close(out[0]);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || n <= 0)
        return -1;
    return std::atof(buf);
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2)
        return paint_in_qtcharts(std::strtoull(argv[1], nullptr, 10), argc, argv);

    int limit = 60;
    if (const char* s = std::getenv("MAREV_BENCH_QTCHARTS_LIMIT"); s && std::atoi(s) > 0)
        limit = std::atoi(s);
    const struct {
        const char* name;
        std::size_t points;
    } sizes[] = {{"100", 100}, {"1d", 86'400}, {"30d", 30u * 86'400u}};
    for (const auto& s : sizes) {
        const double us = child_paint_us(argv[0], s.points, limit);
        if (us < 0) {
            std::fprintf(stderr,
                         "bench: Qt Charts did not set up and paint %zu points within %d s; "
                         "qtcharts_paint_us_%s is skipped\n",
                         s.points, limit, s.name);
            break;
        }
        std::printf("qtcharts_paint_us_%s: %.0f us\n", s.name, us);
        std::fflush(stdout);
    }
    return 0;
}
