// A week at the bench in a few minutes: the program's windows offscreen,
// connected to a pseudo-terminal, fed one data line per tick as fast as the
// reader takes them, the fast tick (Timer1Timer) and the one-second tick
// driven directly with the clock one second on per line, and recording to
// /dev/null so the file path runs too. The lines go into the reader as its
// poll hands them on (receive()); the pty itself carries only the start of
// the stream, so the figures are the program's, not the kernel's. The event
// loop turns every 64 records, so the charts and labels repaint as they would
// between the instrument's lines.
//
// soak_rss_mb_per_day: growth of the resident set from the end of the first
//   day to the end of the week, per day.
// soak_us_per_record: wall time per record over the whole week.
// soak_cost_ratio_week_vs_first_hour: processor time per record in the last
//   hour over that in the first hour (1 when the cost does not grow). The
//   processor time of the program, not the time on the clock, so that other
//   programs running meanwhile do not move it.
// soak_cost_ratio_week_vs_day_2: the last hour over the first hour of the
//   second day, when the terminal's list has reached its bound: what is left
//   is the growth with the history alone.
//
// SOAK_RECORDS shortens a trial run (default 604800, a week of lines).
// Prints `name: value unit`; anything else goes to standard error.

#include "app/application.h"
#include "app/main_window.h"
#include "app/port_chooser.h"
#include "app/prompts.h"
#include "app/windows.h"
#include "link/clock.h"
#include "link/qelm_reader.h"

#include "fake_instrument.h"
#include "temp_dir.h"

#include <QAction>
#include <QCoreApplication>
#include <QLabel>

#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <random>
#include <string>

namespace {

using steady = std::chrono::steady_clock;

// Processor time of the whole program (all its threads) in seconds.
double cpu_seconds() {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Resident set in MiB, from /proc/self/status.
double rss_mb() {
    std::ifstream in("/proc/self/status");
    std::string word;
    while (in >> word)
        if (word == "VmRSS:") {
            double kb = 0;
            in >> kb;
            return kb / 1024;
        }
    return 0;
}

// A line as the instrument sends it: counter, baseline and counts vary as
// the PMT's do.
class line_maker {
public:
    std::string next() {
        ++counter_;
        char head[160];
        std::snprintf(head, sizeof head, "QELM7,%u,1.0000e+02,%.4e,1498,5.01,804,0.349,23.99,12.00",
                      counter_, 1.2e5 + double(rng_() % 4000));
        std::string line = head;
        char c[16];
        for (int j = 0; j < 60; ++j) {
            std::snprintf(c, sizeof c, ",%u", unsigned(10 + rng_() % 25));
            line += c;
        }
        return line + "\r\n";
    }

private:
    unsigned counter_ = 0;
    std::mt19937 rng_{7};
};

} // namespace

int main(int argc, char** argv) {
    temp_dir config;
    ::setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    application app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");

    const char* env = std::getenv("SOAK_RECORDS");
    const long records = env ? std::max(7200L, std::atol(env)) : 604800L;
    const long hour = 3600, day = std::min(86400L, records / 2);

    marev::fake_clock clock{1'700'000'000};
    marev::fake_prompts prompts;
    marev::set_clock(&clock);
    marev::set_prompts(&prompts);
    qelm_reader::set_synced(false);
    fake_instrument inst(7);
    create_windows();
    F_Main->show();
    F_Main->UD_Serial->setValue(inst.port());
    F_Main->A_Connect->trigger();
    inst.send("\r\n");
    F_Main->Timer1Timer();

    line_maker lines;
    auto one_record = [&] {
        F_Main->reader->receive(lines.next());
        clock.advance(1);
        F_Main->Timer1Timer();
        F_Main->TimerMinuteTimer();
    };
    // Found, then recording.
    for (int i = 0; i < 3; ++i)
        one_record();
    if (F_Main->L_CommStatus->text() != "QELM found.") {
        std::fprintf(stderr, "soak: the instrument was not found (%s)\n",
                     qPrintable(F_Main->L_CommStatus->text()));
        return 1;
    }
    prompts.save_answers.push_back(QStringLiteral("/dev/null"));
    F_Main->A_Record->trigger();
    if (!F_Main->recording) {
        std::fprintf(stderr, "soak: the recording did not start\n");
        return 1;
    }

    double first_hour = 0, last_hour = 0, day_2_hour = 0, rss_day = 0;
    const auto start = steady::now();
    const double cpu_start = cpu_seconds();
    double hour_start = cpu_start, day_2_start = cpu_start;
    for (long r = 1; r <= records; ++r) {
        one_record();
        if (r % 64 == 0)
            QCoreApplication::processEvents();
        if (r == hour)
            first_hour = cpu_seconds() - cpu_start;
        if (r == records - hour)
            hour_start = cpu_seconds();
        if (r == day) {
            rss_day = rss_mb();
            day_2_start = cpu_seconds();
        }
        if (r == day + hour)
            day_2_hour = cpu_seconds() - day_2_start;
        if (r % 86400 == 0)
            std::fprintf(stderr, "soak: day %ld, %.1f MiB, %.0f s\n", r / 86400, rss_mb(),
                         std::chrono::duration<double>(steady::now() - start).count());
    }
    const auto end = steady::now();
    last_hour = cpu_seconds() - hour_start;
    const double total = std::chrono::duration<double>(end - start).count();
    const double rss_end = rss_mb();

    const std::size_t taken = F_Main->reader->record_count();
    if (F_Main->shown != taken || !prompts.messages.empty()) {
        std::fprintf(stderr, "soak: %u of %zu records shown, %zu messages\n", F_Main->shown, taken,
                     prompts.messages.size());
        return 1;
    }
    std::fprintf(stderr,
                 "soak: %ld records in %.1f s, resident %.1f MiB after a day, %.1f at the end\n",
                 records, total, rss_day, rss_end);
    std::printf("soak_rss_mb_per_day: %.2f MB\n",
                (rss_end - rss_day) / (double(records - day) / 86400.0));
    std::printf("soak_us_per_record: %.1f us\n", total / double(records) * 1e6);
    std::printf("soak_cost_ratio_week_vs_first_hour: %.2f x\n", last_hour / first_hour);
    if (day_2_hour > 0)
        std::printf("soak_cost_ratio_week_vs_day_2: %.2f x\n", last_hour / day_2_hour);

    F_Main->A_Record->trigger();
    destroy_windows();
    marev::set_prompts(nullptr);
    marev::set_clock(nullptr);
    return 0;
}
