#include "event_log.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

event_log::event_log(const std::string& path) {
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd_ < 0)
        throw std::runtime_error("cannot write the log " + path + ": " + std::strerror(errno));
}

event_log::~event_log() {
    if (fd_ >= 0)
        ::close(fd_);
}

void event_log::sent(std::string_view bytes) {
    if (fd_ >= 0)
        entry("TX", escape(bytes));
}

void event_log::received(unsigned char byte) {
    if (fd_ >= 0) {
        char c = char(byte);
        entry("RX", escape(std::string_view(&c, 1)));
    }
}

void event_log::note(const char* kind) {
    if (fd_ >= 0)
        entry(kind, {});
}

std::string event_log::escape(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + 8);
    for (char ch : bytes) {
        auto b = static_cast<unsigned char>(ch);
        if (b == '\\') {
            out += "\\\\";
        } else if (b == '\r') {
            out += "\\r";
        } else if (b == '\n') {
            out += "\\n";
        } else if (b < 0x20 || b >= 0x7f) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", b);
            out += hex;
        } else {
            out += ch;
        }
    }
    return out;
}

void event_log::entry(const char* kind, std::string_view escaped) {
    double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    char head[64];
    std::snprintf(head, sizeof head, "%s %.6f", kind, t);
    std::string line = head;
    if (!escaped.empty()) {
        line += ' ';
        line += escaped;
    }
    line += '\n';
    const char* p = line.data();
    std::size_t left = line.size();
    while (left > 0) {
        ssize_t n = ::write(fd_, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (!failed_)
                std::fprintf(stderr, "qelm-sim: writing the log failed: %s\n",
                             std::strerror(errno));
            failed_ = true;
            return;
        }
        p += n;
        left -= std::size_t(n);
    }
}
