#pragma once

#include <cstddef>
#include <string>

// The simulator's end of the line: a pseudo-terminal in raw mode and the link
// COM<n> in the port folder that points at its device.
//
// The simulator keeps the device open itself, so the pty lives on between the
// program's connections and what it sends waits in the device until read.
// A lock file (.COM<n>.lock, held with flock) tells a live simulator's link
// from a stale one: a link to a pty that no simulator holds is replaced, any
// other link or file is left alone and refused.
class pty_port {
public:
    // Throws std::runtime_error with the reason.
    pty_port(int port, const std::string& folder);
    ~pty_port(); // removes the link and the lock file
    pty_port(const pty_port&) = delete;
    pty_port& operator=(const pty_port&) = delete;

    int master() const { return master_; }
    const std::string& device() const { return device_; }
    const std::string& link_path() const { return link_; }

    // Descriptor that becomes readable when another process opens or closes
    // the device; -1 where that cannot be watched.
    int watch_fd() const { return watch_; }
    struct watch_events {
        int opens = 0;
        int closes = 0;
    };
    // Reads the pending events. When the last other process has closed the
    // device, its exclusive-open flag is cleared: the device lives on while
    // the simulator holds it, and a flag left set would refuse the program's
    // next connection.
    watch_events read_watch();

    // Bytes sent that no reader has taken yet.
    std::size_t unread() const;

    // Closes the pty (its readers see a hang-up) and removes the link.
    void close_device();
    // Opens a new pty and links it in the old one's place; the lock stays
    // held in between, so no other simulator takes the port meanwhile.
    // Throws std::runtime_error with the reason.
    void reopen();

private:
    void take_lock();
    void open_device();
    void make_link();
    void remove_link();

    std::string folder_;
    std::string link_;
    std::string lock_path_;
    std::string device_;
    int master_ = -1;
    int slave_ = -1;
    int lock_ = -1;
    int watch_ = -1;
    int others_open_ = 0;
};
