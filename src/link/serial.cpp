#include "link/serial.h"

#include "link/link_error.h"
#include "link/port_names.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace {

std::string open_error_text(std::int32_t port) {
    char text[64];
    std::snprintf(text, sizeof text, "Could Not Open COM%1d.", port);
    return text;
}

} // namespace

Serial::~Serial() {
    try {
        close();
    } catch (...) {
        // Nothing to report to from a destructor; the handle is gone either way.
    }
}

#ifndef _WIN32

namespace {

speed_t speed_constant(std::int32_t baud) {
    switch (baud) {
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    default:
        return B19200;
    }
}

} // namespace

void Serial::open(std::int32_t port, const std::string& name) {
    close();
    device_ = port_device(name);
    lost_ = false;
    fd_ = ::open(device_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        const int err = errno;
        open_port_ = 0;
        throw link_error(open_error_text(port), device_ + ": " + std::strerror(err));
    }
    // Exclusive: TIOCEXCL keeps other users out of the terminal but not root,
    // so a lock on the device is what really keeps a second program away.
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd_);
        fd_ = -1;
        open_port_ = 0;
        throw link_error(
            open_error_text(port),
            device_ + ": " +
                (err == EWOULDBLOCK ? "in use by another program" : std::strerror(err)));
    }
    ::ioctl(fd_, TIOCEXCL);

    // 8 data bits, no parity, 1 stop bit, no flow control, reads that return
    // at once with what has arrived. As with any serial port, a failure to set
    // the line format shows only in the data.
    termios tio{};
    if (::tcgetattr(fd_, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::cfsetispeed(&tio, speed_constant(speed_));
        ::cfsetospeed(&tio, speed_constant(speed_));
        tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
        tio.c_cflag |= CS8 | CLOCAL | CREAD;
        tio.c_iflag &= ~(IXON | IXOFF | IXANY);
        tio.c_cc[VMIN] = 0;
        tio.c_cc[VTIME] = 0;
        ::tcsetattr(fd_, TCSANOW, &tio);
    }
    open_port_ = port;
}

void Serial::close() {
    if (fd_ < 0) {
        open_port_ = 0;
        return;
    }
    // The exclusive flag belongs to the device, not to this handle, and
    // outlives it where the device stays (a pseudo-terminal): drop it so that
    // the next connection, of any user, can open the port again.
    ::ioctl(fd_, TIOCNXCL);
    const int r = ::close(fd_);
    fd_ = -1;
    const bool was_open = open_port_ != 0;
    open_port_ = 0;
    if (r != 0 && errno != EINTR && was_open)
        throw link_error("Could not close comm port");
}

void Serial::write(const std::uint8_t* data, std::size_t count) {
    if (fd_ < 0)
        return;
    for (std::size_t i = 0; i < count && !lost_;) {
        ++write_calls_;
        if (::write(fd_, data + i, 1) == 1) {
            ++i;
            continue;
        }
        const int err = errno;
        if (err == EINTR)
            continue;
        if (err == EIO || err == ENXIO || err == ENODEV) {
            lost_ = true;
            return;
        }
        if (err != EAGAIN && err != EWOULDBLOCK)
            return; // not a port any more; reported by nothing, as before
        // The port's queue is full: wait for room, so that no byte is dropped.
        // A port drains at its line speed; one that takes nothing for a whole
        // stall_ms is not draining at all, and the rest of the text is given
        // up rather than freezing the program. A device that has gone away
        // says so in poll() and is lost.
        pollfd p{fd_, POLLOUT, 0};
        const int r = ::poll(&p, 1, stall_ms);
        if (r < 0 && errno == EINTR)
            continue;
        if (r > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) {
            lost_ = true;
            return;
        }
        if (r <= 0)
            return;
    }
}

void Serial::read(std::uint8_t* buffer, std::size_t& count) {
    if (fd_ < 0 || count == 0) {
        count = 0;
        return;
    }
    const ssize_t r = ::read(fd_, buffer, count);
    if (r < 0 && (errno == EIO || errno == ENXIO || errno == ENODEV))
        lost_ = true;
    count = r > 0 ? static_cast<std::size_t>(r) : 0;
}

bool Serial::is_open() const {
    return fd_ >= 0;
}

bool Serial::wait_input(int timeout_ms) {
    if (fd_ < 0)
        return false;
    pollfd p{fd_, POLLIN, 0};
    // A signal ends the wait early; the caller looks again.
    return ::poll(&p, 1, timeout_ms < 0 ? 0 : timeout_ms) > 0;
}

bool Serial::lost() {
    if (lost_ || fd_ < 0)
        return lost_;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)))
        lost_ = true;
    return lost_;
}

#else // _WIN32

namespace {

// The speeds the port offers; any other is the instrument's 19200, as on POSIX.
DWORD line_speed(std::int32_t baud) {
    switch (baud) {
    case 1200:
    case 2400:
    case 4800:
    case 9600:
    case 38400:
    case 57600:
    case 115200:
        return DWORD(baud);
    default:
        return 19200;
    }
}

std::string system_reason(DWORD err) {
    char text[256] = "";
    DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                               err, 0, text, sizeof text, nullptr);
    while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == ' '))
        text[--n] = '\0';
    if (n == 0)
        std::snprintf(text, sizeof text, "error %lu", static_cast<unsigned long>(err));
    return text;
}

// Errors of a write to a device that is no longer there (adapter pulled).
bool device_gone(DWORD err) {
    return err == ERROR_ACCESS_DENIED || err == ERROR_NOT_READY || err == ERROR_BAD_COMMAND ||
           err == ERROR_GEN_FAILURE || err == ERROR_DEVICE_NOT_CONNECTED ||
           err == ERROR_OPERATION_ABORTED;
}

} // namespace

void Serial::open(std::int32_t port, const std::string& name) {
    close();
    device_ = port_device(name);
    lost_ = false;
    HANDLE h =
        ::CreateFileA(device_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                      FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD err = ::GetLastError();
        open_port_ = 0;
        throw link_error(open_error_text(port), device_ + ": " + system_reason(err));
    }
    handle_ = h;
    // 8 data bits, no parity, 1 stop bit, no flow control, reads that return
    // at once with what has arrived. The mode string leaves the flow control
    // as the driver had it, so it is switched off here; as on POSIX, a failure
    // to set the line format shows only in the data.
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    ::GetCommState(h, &dcb);
    char mode[64];
    std::snprintf(mode, sizeof mode, "%lu, N, 8, 1",
                  static_cast<unsigned long>(line_speed(speed_)));
    ::BuildCommDCBA(mode, &dcb);
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fAbortOnError = FALSE;
    ::SetCommState(h, &dcb);
    COMMTIMEOUTS t{MAXDWORD, 0, 0, 0, 0};
    ::SetCommTimeouts(h, &t);
    open_port_ = port;
}

void Serial::close() {
    if (!handle_) {
        open_port_ = 0;
        return;
    }
    const BOOL ok = ::CloseHandle(static_cast<HANDLE>(handle_));
    handle_ = nullptr;
    const bool was_open = open_port_ != 0;
    open_port_ = 0;
    if (!ok && was_open)
        throw link_error("Could not close comm port");
}

void Serial::write(const std::uint8_t* data, std::size_t count) {
    if (!handle_)
        return;
    // The count of bytes written is not trusted: Wine may report 0 for a byte
    // that the far end receives. Only a failure says something.
    for (std::size_t i = 0; i < count; ++i) {
        ++write_calls_;
        DWORD done = 0;
        if (!::WriteFile(static_cast<HANDLE>(handle_), data + i, 1, &done, nullptr) &&
            device_gone(::GetLastError()))
            lost_ = true;
    }
}

void Serial::read(std::uint8_t* buffer, std::size_t& count) {
    DWORD done = 0;
    if (!handle_ || count == 0) {
        count = 0;
        return;
    }
    if (!::ReadFile(static_cast<HANDLE>(handle_), buffer,
                    DWORD(count > MAXDWORD ? MAXDWORD : count), &done, nullptr)) {
        if (device_gone(::GetLastError()))
            lost_ = true;
        done = 0;
    }
    count = done;
}

bool Serial::is_open() const {
    return handle_ != nullptr;
}

bool Serial::wait_input(int timeout_ms) {
    // Bytes in the driver's queue are looked for every few milliseconds: a
    // wait on the port's events would need an overlapped handle.
    if (!handle_)
        return false;
    const DWORD start = ::GetTickCount();
    for (;;) {
        DWORD errors = 0;
        COMSTAT stat{};
        if (!::ClearCommError(static_cast<HANDLE>(handle_), &errors, &stat)) {
            lost_ = true; // the device is gone (an adapter pulled)
            return true;
        }
        if (stat.cbInQue > 0)
            return true;
        const DWORD waited = ::GetTickCount() - start;
        if (timeout_ms <= 0 || waited >= DWORD(timeout_ms))
            return false;
        ::Sleep(std::min<DWORD>(20, DWORD(timeout_ms) - waited));
    }
}

bool Serial::lost() {
    if (lost_ || !handle_)
        return lost_;
    DWORD errors = 0;
    COMSTAT status{};
    if (!::ClearCommError(static_cast<HANDLE>(handle_), &errors, &status))
        lost_ = true;
    return lost_;
}

#endif
