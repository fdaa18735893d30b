#pragma once

#include <chrono>
#include <string>
#include <string_view>

// The --log file: one entry per text line, written with one write() each, so
// a test can read it while the simulator runs.
//   TX <t> <bytes>   bytes written to the pty in one write
//   RX <t> <byte>    one byte received
//   OPEN <t>         another process opened the device
//   CLOSE <t>        another process closed it
// <t> is seconds since the log was made, "%.6f". Bytes are escaped so that an
// entry stays on one line: \\ for a backslash, \r, \n, and \xHH (lower-case
// hex) for every other byte below 0x20 or from 0x7f on.
class event_log {
public:
    event_log() = default; // logs nothing
    explicit event_log(const std::string& path);
    ~event_log();
    event_log(const event_log&) = delete;
    event_log& operator=(const event_log&) = delete;

    void sent(std::string_view bytes);
    void received(unsigned char byte);
    void note(const char* kind);

    static std::string escape(std::string_view bytes);

private:
    void entry(const char* kind, std::string_view escaped);

    int fd_ = -1;
    bool failed_ = false;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};
