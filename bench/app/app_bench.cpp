// The program as a user meets it.
//
// marev_startup_ms: the marev executable started offscreen with a configuration folder of
// its own, until it reports its main window painted (MAREV_REPORT_SHOWN); the median of a
// few starts.
//
// idle_cpu_percent: the program's windows in this process, connected to qelm-sim at one
// line a second, every record shown and charted, for 60 seconds (MAREV_BENCH_IDLE_SECONDS
// to shorten a trial run): CPU time (user and system, from /proc/self/stat) over wall time,
// one core being 100. The connection is made as the user makes it, with the Connect action.
//
// Prints `name: value unit`; anything else goes to standard error.

#include "app/main_window.h"
#include "app/port_chooser.h"
#include "app/prompts.h"
#include "app/windows.h"
#include "app/application.h"
#include "chart/plot_widget.h"
#include "link/port_names.h"

#include "sim_process.h"

#include <QAction>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace {

using clock_type = std::chrono::steady_clock;

// Milliseconds from spawning marev to its "shown" line; negative when it never came.
double one_startup(const std::string& config) {
    int err[2];
    if (::pipe(err) != 0)
        return -1;
    std::vector<std::string> env_words;
    for (char** e = environ; *e; ++e) {
        const std::string w = *e;
        if (w.rfind("XDG_CONFIG_HOME=", 0) != 0 && w.rfind("QT_QPA_PLATFORM=", 0) != 0)
            env_words.push_back(w);
    }
    env_words.push_back("XDG_CONFIG_HOME=" + config);
    env_words.push_back("QT_QPA_PLATFORM=offscreen");
    env_words.push_back("MAREV_REPORT_SHOWN=1");
    std::vector<char*> envp;
    for (auto& w : env_words)
        envp.push_back(w.data());
    envp.push_back(nullptr);
    std::string path = MAREV_PATH;
    char* argv[] = {path.data(), nullptr};

    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, err[1], STDERR_FILENO);
    posix_spawn_file_actions_addclose(&fa, err[0]);
    posix_spawn_file_actions_addclose(&fa, err[1]);
    pid_t pid = -1;
    const auto t0 = clock_type::now();
    const int rc = ::posix_spawn(&pid, argv[0], &fa, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&fa);
    ::close(err[1]);
    if (rc != 0) {
        ::close(err[0]);
        return -1;
    }
    double ms = -1;
    std::string text;
    const auto deadline = t0 + std::chrono::seconds(20);
    while (ms < 0) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock_type::now());
        pollfd p{err[0], POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, int(left.count())) <= 0)
            break;
        char buf[512];
        const ssize_t n = ::read(err[0], buf, sizeof buf);
        if (n <= 0)
            break;
        text.append(buf, std::size_t(n));
        if (text.find("marev: main window shown\n") != std::string::npos)
            ms = std::chrono::duration<double, std::milli>(clock_type::now() - t0).count();
    }
    ::close(err[0]);
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (ms < 0)
        std::fprintf(stderr, "bench: marev did not report its window shown; it said:\n%s\n",
                     text.c_str());
    return ms;
}

// CPU seconds (user and system) this process has used.
double cpu_seconds() {
    std::ifstream in("/proc/self/stat");
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // The command name may hold spaces: the fields are counted after its closing bracket.
    std::istringstream rest(all.substr(all.rfind(')') + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
        if (i == 14)
            utime = std::stoull(field);
        if (i == 15)
            stime = std::stoull(field);
    }
    return double(utime + stime) / double(::sysconf(_SC_CLK_TCK));
}

void run_for(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool wait_for(const std::function<bool()>& condition, int ms) {
    QElapsedTimer t;
    t.start();
    while (!condition()) {
        if (t.elapsed() > ms)
            return false;
        run_for(20);
    }
    return true;
}

// Negative when the program could not be connected.
double idle_cpu_percent(int seconds) {
    marev::fake_prompts prompts;
    marev::set_prompts(&prompts);
    temp_dir ports;
    set_port_folder(ports.path());
    create_windows();
    F_Main->show();
    double percent = -1;
    {
        qelm_sim::sim_process sim({"--port", "5", "--port-folder", ports.path(), "--rate", "1"});
        F_Main->UD_Serial->setValue(5);
        F_Main->A_Connect->trigger();
        if (!wait_for([] { return F_Main->L_CommStatus->text() == "QELM found." && F_Main->shown >= 3; },
                      30'000)) {
            std::fprintf(stderr, "bench: marev did not find the simulated instrument (%s)\n",
                         F_Main->L_CommStatus->text().toStdString().c_str());
        } else {
            const std::uint32_t shown_before = F_Main->shown;
            const double cpu0 = cpu_seconds();
            const auto t0 = clock_type::now();
            run_for(seconds * 1000);
            const double cpu = cpu_seconds() - cpu0;
            const double wall = std::chrono::duration<double>(clock_type::now() - t0).count();
            percent = 100.0 * cpu / wall;
            std::fprintf(stderr, "bench: %u records shown in %.0f s, %.2f s of CPU\n",
                         F_Main->shown - shown_before, wall, cpu);
        }
        F_Main->A_Connect->trigger();
    }
    for (const auto& m : prompts.messages)
        std::fprintf(stderr, "bench: marev said: %s\n", m.text.toStdString().c_str());
    destroy_windows();
    marev::set_prompts(nullptr);
    return percent;
}

} // namespace

int main(int argc, char** argv) {
    temp_dir config;
    ::setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    std::vector<double> starts;
    for (int i = 0; i < 5; ++i) {
        temp_dir own;
        const double ms = one_startup(own.path());
        if (ms >= 0)
            starts.push_back(ms);
    }
    if (!starts.empty()) {
        std::nth_element(starts.begin(), starts.begin() + starts.size() / 2, starts.end());
        std::printf("marev_startup_ms: %.0f ms\n", starts[starts.size() / 2]);
        std::fflush(stdout);
    }

    application app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    int seconds = 60;
    if (const char* s = std::getenv("MAREV_BENCH_IDLE_SECONDS"); s && std::atoi(s) > 0)
        seconds = std::atoi(s);
    const double percent = idle_cpu_percent(seconds);
    if (percent >= 0)
        std::printf("idle_cpu_percent: %.2f %%\n", percent);
    return 0;
}
