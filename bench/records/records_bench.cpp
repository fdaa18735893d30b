// A week of records read back: the time to load a 7-day file (604,800 time-
// stamped lines, about 160 MB) and the memory held once it is loaded, and
// marev-export's rate on the same file. Prints `name: value unit` lines.
#include "link/record_reader.h"

#ifdef MAREV_BENCH_VIEWER
#include "app/record_view.h"

#include <QApplication>
#include <QThread>
#endif

#include "temp_dir.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <sys/resource.h>

namespace {

using clock_type = std::chrono::steady_clock;

constexpr std::size_t week = 7 * 24 * 3600;

// The peak resident memory of this process, in MB.
double peak_rss_mb() {
    std::ifstream in("/proc/self/status");
    std::string key;
    while (in >> key) {
        if (key == "VmHWM:") {
            double kb = 0;
            in >> kb;
            return kb / 1024;
        }
        in.ignore(1 << 20, '\n');
    }
    return 0;
}

// Processor time of the process (every thread) so far, in seconds: on a
// shared machine the wall-clock time of a load says as much about the others.
double cpu_s(int who = RUSAGE_SELF) {
    rusage u{};
    getrusage(who, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Lines as the recorder writes them with time stamps: Poisson counts around
// a light level that changes through the day.
std::uint64_t make_week(const std::string& path) {
    std::ofstream out(path, std::ios::binary);
    std::mt19937 rng(1);
    std::string block;
    std::uint64_t bytes = 0;
    char buf[128];
    for (std::size_t i = 0; i < week; ++i) {
        const std::size_t t = i + 20 * 3600;
        const int day = 10 + int(t / 86400), h = int(t / 3600 % 24), m = int(t / 60 % 60),
                  s = int(t % 60);
        const double level = 15 + 4 * (h % 12);
        std::poisson_distribution<int> counts(level);
        std::snprintf(buf, sizeof buf,
                      "2026-12-%02d,%02d:%02d:%02d,QELM7,%zu,1.0000e+02,%.4e,1501,5.00,794,0.350,"
                      "23.99,11.99,",
                      day, h, m, s, i, level * 60 * 100);
        block += buf;
        for (int k = 0; k < 60; ++k) {
            block += std::to_string(counts(rng));
            block += k < 59 ? ',' : '\r';
        }
        if (block.size() > (8 << 20) || i + 1 == week) {
            out.write(block.data(), std::streamsize(block.size()));
            bytes += block.size();
            block.clear();
        }
    }
    return bytes;
}

} // namespace

int main(int argc, char** argv) {
#ifdef MAREV_BENCH_VIEWER
    QApplication app(argc, argv);
#else
    (void)argc;
    (void)argv;
#endif
    temp_dir dir;
    const std::string path = dir.file("qelm007_20261210200000.dat");
    const std::uint64_t bytes = make_week(path);
    std::fprintf(stderr, "bench: a week's record file of %.0f MB\n", double(bytes) / 1e6);

    const double cpu0 = cpu_s();
    const auto t0 = clock_type::now();
#ifdef MAREV_BENCH_VIEWER
    // The viewer's window, from its opening to the week shown.
    TF_RecordView view(QString::fromStdString(path));
    view.resize(1000, 700);
    view.show();
    view.load();
    while (view.loading() || view.records().record_count() == 0) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        QThread::msleep(1);
    }
    QCoreApplication::processEvents();
    const record_reader& r = view.records();
#else
    std::fprintf(stderr, "bench: the windows are not built; the reader alone is timed\n");
    record_reader r(path);
    r.read();
#endif
    const double load_s = std::chrono::duration<double>(clock_type::now() - t0).count();
    if (r.record_count() != week || r.bad_lines() != 0) {
        std::fprintf(stderr, "bench: read %zu records and %zu bad lines\n", r.record_count(),
                     r.bad_lines());
        return 1;
    }
    std::printf("viewer_load_s_7d: %.2f s\n", load_s);
    std::printf("viewer_load_cpu_s_7d: %.2f s\n", cpu_s() - cpu0);
    std::printf("viewer_rss_mb_7d: %.0f MB\n", peak_rss_mb());

    const std::string command =
        std::string(MAREV_EXPORT_PATH) + " " + path + " -o " + dir.file("week.csv");
    const double child_cpu0 = cpu_s(RUSAGE_CHILDREN);
    const auto t1 = clock_type::now();
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "bench: marev-export failed\n");
        return 1;
    }
    const double export_s = std::chrono::duration<double>(clock_type::now() - t1).count();
    std::printf("export_mb_per_s: %.0f MB/s\n", double(bytes) / 1e6 / export_s);
    std::printf("export_cpu_mb_per_s: %.0f MB/s\n",
                double(bytes) / 1e6 / (cpu_s(RUSAGE_CHILDREN) - child_cpu0));
    return 0;
}
