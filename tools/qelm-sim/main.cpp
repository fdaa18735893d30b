// qelm-sim: the QELM instrument played on a pseudo-terminal, for the demo, for
// end-to-end tests and for anyone without an instrument. It shares no code
// with the program, so that it checks the program rather than agreeing with it.

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <random>
#include <stdexcept>
#include <string>
#include <unistd.h>

#include "event_log.h"
#include "instrument.h"
#include "line_schedule.h"
#include "options.h"
#include "pty_port.h"
#include "replay.h"

namespace {

using clock_type = std::chrono::steady_clock;
using namespace std::chrono_literals;

int signal_pipe[2] = {-1, -1};

void on_signal(int sig) {
    int saved = errno;
    unsigned char b = static_cast<unsigned char>(sig);
    [[maybe_unused]] ssize_t n = ::write(signal_pipe[1], &b, 1);
    errno = saved;
}

void install_signals() {
    if (::pipe(signal_pipe) != 0)
        throw std::runtime_error(std::string("cannot make a pipe: ") + std::strerror(errno));
    for (int fd : signal_pipe) {
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    struct sigaction sa {};
    sa.sa_handler = on_signal;
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(sig, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

// Bytes waiting for room in the pty. When nobody reads, the pty fills up and
// the instrument's lines fall on the floor beyond this much, as they would on
// a real line; what was never written is not logged.
constexpr std::size_t max_pending = 64 * 1024;
// How long the end of --lines or --vanish waits for the reader to take the
// last bytes: closing the pty discards what is unread.
constexpr auto drain_limit = 10s;
// After the last write, unread() is trusted only once the pty has had time to
// pass the bytes on.
constexpr auto drain_settle = 50ms;
// --autostart begins this long after a reader first opens the device, once it
// has set up its port: setting it up may discard what is already waiting.
constexpr auto autostart_delay = 20ms;

class simulator {
public:
    simulator(const options& o, event_log& log, std::vector<std::string> replay)
        : opt_(o), log_(log),
          inst_(o.serial, o.seed ? *o.seed : std::random_device{}() * 0x9e3779b97f4a7c15ULL),
          schedule_(o, inst_, std::move(replay)),
          port_(o.port, o.port_folder.empty() ? default_port_folder() : o.port_folder),
          period_(std::chrono::duration_cast<clock_type::duration>(
              std::chrono::duration<double>(1.0 / o.rate))) {}

    int run();

private:
    void start_sending(clock_type::time_point first_line) {
        started_ = true;
        next_tick_ = first_line;
    }
    void print_link() const;
    void read_master();
    void write_pending();
    void queue(std::string chunk);
    int poll_timeout(clock_type::time_point now) const;
    void vanish(clock_type::time_point now);
    void come_back();
    bool away() const { return away_until_.has_value(); }

    const options& opt_;
    event_log& log_;
    instrument inst_;
    line_schedule schedule_;
    pty_port port_;
    clock_type::duration period_;
    clock_type::time_point next_tick_{};
    clock_type::time_point last_write_{};
    clock_type::time_point drain_deadline_{};
    bool started_ = false;
    bool autostart_waiting_ = false; // for the first reader
    bool ending_ = false;
    bool dropping_ = false;
    // Set while the instrument is away after --vanish, until --return-after.
    std::optional<clock_type::time_point> away_until_;
    std::deque<std::string> pending_;
    std::size_t pending_bytes_ = 0;
};

void simulator::print_link() const {
    std::printf("qelm-sim: COM%d is %s (link %s)\n", opt_.port, port_.device().c_str(),
                port_.link_path().c_str());
    std::fflush(stdout);
}

void simulator::vanish(clock_type::time_point now) {
    port_.close_device();
    log_.note("VANISH");
    // What the reader never took is gone with the pty.
    pending_.clear();
    pending_bytes_ = 0;
    dropping_ = false;
    ending_ = false;
    away_until_ = now + std::chrono::duration_cast<clock_type::duration>(
                            std::chrono::duration<double>(opt_.return_after));
}

// The cable is back: a new pty under the old name, and the lines go on
// without a new 'P', for the instrument never stopped.
void simulator::come_back() {
    away_until_.reset();
    port_.reopen();
    log_.note("RETURN");
    print_link();
    schedule_.come_back();
}

void simulator::read_master() {
    unsigned char buf[4096];
    for (;;) {
        ssize_t n = ::read(port_.master(), buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        for (ssize_t i = 0; i < n; ++i) {
            log_.received(buf[i]);
            if (inst_.receive(buf[i]) && !started_)
                start_sending(clock_type::now());
        }
    }
}

void simulator::queue(std::string chunk) {
    if (chunk.empty())
        return;
    if (pending_bytes_ + chunk.size() > max_pending) {
        if (!dropping_)
            std::fprintf(stderr, "qelm-sim: nobody reads %s; dropping lines\n",
                         port_.link_path().c_str());
        dropping_ = true;
        return;
    }
    dropping_ = false;
    pending_bytes_ += chunk.size();
    pending_.push_back(std::move(chunk));
}

void simulator::write_pending() {
    while (!pending_.empty()) {
        std::string& front = pending_.front();
        ssize_t n = ::write(port_.master(), front.data(), front.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return; // full: wait for POLLOUT
        log_.sent(std::string_view(front.data(), std::size_t(n)));
        last_write_ = clock_type::now();
        pending_bytes_ -= std::size_t(n);
        if (std::size_t(n) == front.size())
            pending_.pop_front();
        else
            front.erase(0, std::size_t(n));
    }
}

int simulator::poll_timeout(clock_type::time_point now) const {
    if (ending_)
        return 20;
    auto due = away_until_;
    if (started_ && (schedule_.ticking() || away()) && (!due || next_tick_ < *due))
        due = next_tick_;
    if (!due)
        return -1;
    if (*due <= now)
        return 0;
    auto wait = std::chrono::ceil<std::chrono::milliseconds>(*due - now);
    return int(wait.count());
}

int simulator::run() {
    print_link();
    if (opt_.autostart) {
        if (port_.watch_fd() >= 0)
            autostart_waiting_ = true;
        else
            start_sending(clock_type::now());
    }
    if (!schedule_.ticking()) {
        ending_ = schedule_.done();
        drain_deadline_ = clock_type::now() + drain_limit;
    }

    for (;;) {
        auto now = clock_type::now();
        pollfd fds[3] = {
            {port_.master(), short(POLLIN | (pending_.empty() ? 0 : POLLOUT)), 0},
            {signal_pipe[0], POLLIN, 0},
            {port_.watch_fd(), POLLIN, 0},
        };
        int n = ::poll(fds, port_.watch_fd() >= 0 ? 3 : 2, poll_timeout(now));
        if (n < 0 && errno != EINTR)
            throw std::runtime_error(std::string("poll failed: ") + std::strerror(errno));
        if (n > 0 && (fds[1].revents & POLLIN))
            return 0; // SIGINT, SIGTERM or SIGHUP; the link goes with port_
        if (n > 0 && (fds[0].revents & POLLIN))
            read_master();
        if (n > 0 && (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) &&
            !(fds[0].revents & POLLIN))
            throw std::runtime_error("the pseudo-terminal closed");
        if (n > 0 && port_.watch_fd() >= 0 && (fds[2].revents & POLLIN)) {
            auto ev = port_.read_watch();
            for (int i = 0; i < ev.opens; ++i)
                log_.note("OPEN");
            if (ev.opens > 0 && autostart_waiting_) {
                autostart_waiting_ = false;
                if (!started_)
                    start_sending(clock_type::now() + autostart_delay);
            }
            for (int i = 0; i < ev.closes; ++i)
                log_.note("CLOSE");
        }

        now = clock_type::now();
        if (away() && now >= *away_until_)
            come_back();
        if (started_ && schedule_.vanishing() && opt_.return_after >= 0 && now >= next_tick_) {
            schedule_.lost_tick();
            next_tick_ += period_;
            if (now - next_tick_ > 2 * period_)
                next_tick_ = now + period_;
        } else if (started_ && schedule_.ticking() && now >= next_tick_) {
            for (auto& chunk : schedule_.tick())
                queue(std::move(chunk));
            next_tick_ += period_;
            if (now - next_tick_ > 2 * period_)
                next_tick_ = now + period_; // fell far behind (suspend): no catching up
            if (schedule_.done() || schedule_.vanishing()) {
                ending_ = true;
                drain_deadline_ = now + drain_limit;
            }
        }
        write_pending();

        if (ending_) {
            now = clock_type::now();
            bool drained =
                pending_.empty() && now - last_write_ >= drain_settle && port_.unread() == 0;
            if (drained || now >= drain_deadline_) {
                if (!drained)
                    std::fprintf(stderr, "qelm-sim: nobody took the last bytes from %s\n",
                                 port_.link_path().c_str());
                if (schedule_.vanishing() && opt_.return_after >= 0) {
                    vanish(now);
                    continue;
                }
                port_.close_device();
                return 0;
            }
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    options opt;
    try {
        opt = parse_options(argc, argv);
    } catch (const usage_error& e) {
        std::fprintf(stderr, "qelm-sim: %s\n", e.what());
        return 2;
    }
    if (opt.help) {
        std::fputs(help_text().c_str(), stdout);
        return 0;
    }
    try {
        event_log log = opt.log_path.empty() ? event_log() : event_log(opt.log_path);
        std::vector<std::string> replay;
        if (!opt.replay_path.empty())
            replay = read_record_file(opt.replay_path);
        install_signals();
        simulator sim(opt, log, std::move(replay));
        return sim.run();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qelm-sim: %s\n", e.what());
        return 1;
    }
}
