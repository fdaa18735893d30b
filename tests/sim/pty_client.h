#pragma once

// A bare reader of the simulator's device for its tests: raw, non-blocking,
// lines cut at LF with the CR kept, as the program stores them.

#include <chrono>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <string_view>
#include <termios.h>
#include <unistd.h>
#include <vector>

class pty_client {
public:
    explicit pty_client(const std::string& device) {
        fd_ = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0)
            throw std::runtime_error("cannot open " + device);
        termios t{};
        ::tcgetattr(fd_, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(fd_, TCSANOW, &t);
    }
    ~pty_client() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    pty_client(const pty_client&) = delete;
    pty_client& operator=(const pty_client&) = delete;

    int fd() const { return fd_; }

    void send(std::string_view bytes) {
        if (::write(fd_, bytes.data(), bytes.size()) != ssize_t(bytes.size()))
            throw std::runtime_error("write to the simulator failed");
    }

    // The next line, or nothing within the limit (or after a hang-up).
    std::optional<std::string> line(std::chrono::milliseconds limit = std::chrono::seconds(3)) {
        auto deadline = std::chrono::steady_clock::now() + limit;
        for (;;) {
            if (auto nl = buffer_.find('\n'); nl != std::string::npos) {
                std::string l = buffer_.substr(0, nl);
                buffer_.erase(0, nl + 1);
                return l;
            }
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0 || !fill(int(left.count())))
                return std::nullopt;
        }
    }

    // Every line until the device hangs up; what follows the last LF is left
    // in rest(). Throws when the hang-up does not come within the limit.
    std::vector<std::string>
    lines_until_hangup(std::chrono::milliseconds limit = std::chrono::seconds(15)) {
        auto deadline = std::chrono::steady_clock::now() + limit;
        std::vector<std::string> out;
        while (!hung_up_) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                throw std::runtime_error("the simulator did not hang up");
            fill(int(left.count()));
        }
        for (std::size_t nl; (nl = buffer_.find('\n')) != std::string::npos;) {
            out.push_back(buffer_.substr(0, nl));
            buffer_.erase(0, nl + 1);
        }
        return out;
    }

    // Drops what has arrived so far, complete lines and a partial one alike,
    // and the rest of the line in flight.
    void skip_to_next_line() {
        while (fill(0)) {
        }
        buffer_.clear();
        line(std::chrono::seconds(3));
    }

    const std::string& rest() const { return buffer_; }
    const std::string& everything() const { return all_; }
    bool hung_up() const { return hung_up_; }

private:
    // Waits up to ms for bytes; false when none came.
    bool fill(int ms) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, ms) <= 0)
            return false;
        char buf[4096];
        ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n > 0) {
            buffer_.append(buf, std::size_t(n));
            all_.append(buf, std::size_t(n));
            return true;
        }
        if (p.revents & (POLLHUP | POLLERR))
            hung_up_ = true;
        return false;
    }

    int fd_ = -1;
    std::string buffer_;
    std::string all_;
    bool hung_up_ = false;
};
