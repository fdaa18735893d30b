#pragma once

// Runs the simulated instrument for a test.
//
//   temp_dir dir;                                      // a fresh folder, removed after
//   qelm_sim::sim_process sim({"--port", "5", "--port-folder", dir.path(), "--autostart"});
//   int fd = open(sim.device().c_str(), ...);          // or the program's reader on COM5
//
// The constructor starts qelm-sim with the arguments and returns once it has
// printed its start-up line ("qelm-sim: COM<n> is <device> (link <path>)"),
// so the link exists and the device can be opened. It throws
// std::runtime_error naming the exit status ("... (exit status 2)") when the
// simulator ends or stays silent instead (status -1). With --return-after it
// prints the line again for each new device: next_device() waits for it. The
// destructor sends SIGTERM, waits up to two seconds, then SIGKILL, and reaps
// it. Pass --port-folder always: the default folder is the user's own.
// The simulator's standard error stays the test's.

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

#include "temp_dir.h"

extern char** environ;

namespace qelm_sim {

// Path of the qelm-sim executable of this build.
inline std::string sim_path() {
#ifdef QELM_SIM_PATH
    return QELM_SIM_PATH;
#else
    return "qelm-sim";
#endif
}

class sim_process {
public:
    explicit sim_process(std::vector<std::string> args,
                         std::chrono::milliseconds startup_limit = std::chrono::seconds(5)) {
        int out[2];
        if (::pipe(out) != 0)
            throw std::runtime_error("cannot make a pipe for qelm-sim");
        std::vector<std::string> words{sim_path()};
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& w : words)
            argv.push_back(w.data());
        argv.push_back(nullptr);

        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&fa, out[0]);
        posix_spawn_file_actions_addclose(&fa, out[1]);
        int rc = ::posix_spawnp(&pid_, argv[0], &fa, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&fa);
        ::close(out[1]);
        if (rc != 0) {
            ::close(out[0]);
            pid_ = -1;
            throw std::runtime_error("cannot start " + words[0]);
        }

        out_ = out[0];
        ::fcntl(out_, F_SETFD, FD_CLOEXEC); // kept for next_device(): not for other children
        if (!next_device(startup_limit)) {
            int status = stop();
            ::close(out_);
            throw std::runtime_error("qelm-sim did not start (exit status " +
                                     std::to_string(status) + ")");
        }
    }

    ~sim_process() {
        stop();
        ::close(out_);
    }
    sim_process(const sim_process&) = delete;
    sim_process& operator=(const sim_process&) = delete;

    // The port number, its device (/dev/pts/N) and the link COM<n>.
    int port() const { return port_; }
    const std::string& device() const { return device_; }
    const std::string& link() const { return link_; }
    pid_t pid() const { return pid_; }

    // Sends a signal (SIGINT, SIGKILL ...) without waiting.
    void signal(int sig) const {
        if (pid_ > 0 && !exited_)
            ::kill(pid_, sig);
    }

    // Waits up to limit for the simulator to end. Returns its exit status, or
    // 128 + the signal that ended it, or -1 while it still runs.
    int wait(std::chrono::milliseconds limit) {
        auto deadline = std::chrono::steady_clock::now() + limit;
        for (;;) {
            if (reap(WNOHANG))
                return status_;
            if (std::chrono::steady_clock::now() >= deadline)
                return -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    bool running() { return !reap(WNOHANG); }

    // Waits up to limit for the next "COM<n> is <device>" line and takes its
    // device and link; false when none came.
    bool next_device(std::chrono::milliseconds limit) {
        auto deadline = std::chrono::steady_clock::now() + limit;
        while (out_text_.find('\n') == std::string::npos) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd p{out_, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&p, 1, int(left.count())) <= 0)
                return false;
            char buf[256];
            ssize_t n = ::read(out_, buf, sizeof buf);
            if (n <= 0)
                return false;
            out_text_.append(buf, std::size_t(n));
        }
        auto nl = out_text_.find('\n');
        std::string line = out_text_.substr(0, nl);
        out_text_.erase(0, nl + 1);
        return parse_start_line(line);
    }

    // SIGTERM, then SIGKILL after the grace period; reaps. Returns as wait().
    int stop(std::chrono::milliseconds grace = std::chrono::seconds(2)) {
        if (pid_ <= 0)
            return -1;
        if (!exited_) {
            ::kill(pid_, SIGTERM);
            if (wait(grace) < 0) {
                ::kill(pid_, SIGKILL);
                reap(0);
            }
        }
        return status_;
    }

private:
    bool parse_start_line(const std::string& line) {
        static const std::string head = "qelm-sim: COM";
        auto is = line.find(" is ");
        auto open = line.find(" (link ");
        if (line.rfind(head, 0) != 0 || is == std::string::npos || open == std::string::npos ||
            line.empty() || line.back() != ')')
            return false;
        port_ = std::atoi(line.c_str() + head.size());
        device_ = line.substr(is + 4, open - is - 4);
        link_ = line.substr(open + 7, line.size() - open - 8);
        return port_ > 0 && !device_.empty();
    }

    bool reap(int flags) {
        if (exited_)
            return true;
        int st = 0;
        pid_t r;
        do
            r = ::waitpid(pid_, &st, flags);
        while (r < 0 && errno == EINTR);
        if (r != pid_)
            return false;
        exited_ = true;
        status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
        return true;
    }

    pid_t pid_ = -1;
    int out_ = -1; // the simulator's standard output
    std::string out_text_;
    bool exited_ = false;
    int status_ = -1;
    int port_ = 0;
    std::string device_;
    std::string link_;
};

} // namespace qelm_sim
