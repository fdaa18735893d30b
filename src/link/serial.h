#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// One serial port, opened exclusively at the set speed, 8 data bits, no parity,
// 1 stop bit, no flow control, with reads that never wait. No thread and no
// buffer of its own; the instrument reader drives it from the UI thread.
class Serial {
public:
    Serial() = default;
    ~Serial();
    Serial(const Serial&) = delete;
    Serial& operator=(const Serial&) = delete;

    // Stored for the next open; no effect on an open port.
    void set_speed(std::int32_t baud) { speed_ = baud; }

    // Opens and configures the port named (COM4 ...). Throws link_error
    // "Could Not Open COM<port>." with the device path and the system's reason
    // as detail; the open port number is then 0.
    void open(std::int32_t port, const std::string& name);

    // Throws link_error "Could not close comm port" when closing an open port
    // fails. Closing a port that is not open does nothing.
    void close();

    // Sends the bytes in order, one write call per byte. While the port's
    // queue is full it waits for room, at most stall_ms at a time without a
    // byte taken. Failures are not reported, but a write that finds the
    // device gone marks the port lost.
    void write(const std::uint8_t* data, std::size_t count);

    // On entry count is the buffer's capacity; one read fills the buffer with
    // what the port holds and count becomes the number of bytes, possibly 0.
    void read(std::uint8_t* buffer, std::size_t& count);

    // Waits up to timeout_ms for bytes to read, or for the device to go
    // away; true when either came. Lets a program without a timer sleep
    // between lines instead of polling.
    bool wait_input(int timeout_ms);

    // True once the device has gone away: the far end hung up (pty closed, USB
    // adapter pulled) or a write failed with EIO. A read of 0 bytes alone
    // cannot tell that from silence, so this asks poll() without waiting
    // (on Windows, ClearCommError, which fails once the device is gone).
    bool lost();

    // Longest wait for room in the port's queue without a byte taken.
    static constexpr int stall_ms = 1000;

    // A device opened by its path rather than a COM number is open with
    // port number 0.
    bool is_open() const;
    std::int32_t open_port() const { return open_port_; }
    const std::string& device() const { return device_; }
    // Number of write calls made so far (one per byte sent).
    std::uint64_t write_calls() const { return write_calls_; }
#ifdef _WIN32
    // The open port's HANDLE, or null.
    void* native_handle() const {
        return handle_;
    }
#endif

private:
    std::int32_t speed_ = 0;
    std::int32_t open_port_ = 0;
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
    bool lost_ = false;
    std::uint64_t write_calls_ = 0;
    std::string device_;
};
