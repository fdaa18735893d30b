// recorder_cpu_percent: marev-record recording qelm-sim at one line a second
// for 60 seconds (MAREV_BENCH_IDLE_SECONDS to shorten a trial run), from the
// first file on: the recorder's CPU time (from /proc/<pid>/schedstat, in
// nanoseconds) over wall time, one core being 100.
//
// Prints `name: value unit`; anything else goes to standard error.

#include "sim_process.h"
#include "temp_dir.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace std::chrono_literals;

namespace {

// CPU time the process has run, in nanoseconds; -1 when it cannot be read.
long long cpu_ns(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/schedstat");
    long long ns = -1;
    if (in >> ns)
        return ns;
    return -1;
}

bool has_file(const std::string& folder) {
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(folder, ec))
        if (e.path().extension() == ".dat")
            return true;
    return false;
}

} // namespace

int main() {
    int seconds = 60;
    if (const char* s = std::getenv("MAREV_BENCH_IDLE_SECONDS"); s && std::atoi(s) > 0)
        seconds = std::atoi(s);

    temp_dir dir;
    const std::string ports = dir.file("config") + "/Quorvex/ports";
    std::string out = dir.file("out");
    std::filesystem::create_directories(ports);
    std::filesystem::create_directories(out);
    qelm_sim::sim_process sim({"--port", "9", "--port-folder", ports, "--rate", "1"});

    std::string record = MAREV_RECORD_PATH, port = "--port", nine = "9", folder = "--folder";
    char* argv[] = {record.data(), port.data(), nine.data(), folder.data(), out.data(), nullptr};
    std::string config = "XDG_CONFIG_HOME=" + dir.file("config");
    std::vector<char*> envp{config.data()};
    for (char** e = environ; *e; ++e)
        if (std::string(*e).rfind("XDG_CONFIG_HOME=", 0) != 0)
            envp.push_back(*e);
    envp.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, argv[0], &fa, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0) {
        std::fprintf(stderr, "bench_recorder: cannot start %s\n", argv[0]);
        return 1;
    }

    const auto found_limit = std::chrono::steady_clock::now() + 10s;
    while (!has_file(out) && std::chrono::steady_clock::now() < found_limit)
        std::this_thread::sleep_for(20ms);
    int status = 0;
    if (!has_file(out)) {
        std::fprintf(stderr, "bench_recorder: marev-record opened no file within 10 s\n");
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        return 1;
    }

    const long long cpu0 = cpu_ns(pid);
    const auto wall0 = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const long long cpu1 = cpu_ns(pid);
    const auto wall1 = std::chrono::steady_clock::now();
    ::kill(pid, SIGTERM);
    ::waitpid(pid, &status, 0);
    if (cpu0 < 0 || cpu1 < 0) {
        std::fprintf(stderr, "bench_recorder: /proc/<pid>/schedstat cannot be read\n");
        return 1;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        std::fprintf(stderr, "bench_recorder: marev-record ended with status %d\n", status);
    const double wall_ns = std::chrono::duration<double, std::nano>(wall1 - wall0).count();
    std::printf("recorder_cpu_percent: %.4f %%\n", 100.0 * double(cpu1 - cpu0) / wall_ns);
    return 0;
}
