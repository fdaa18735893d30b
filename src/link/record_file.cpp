#include "link/record_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
int open_file(const std::string& path, bool append) {
    return ::_open(path.c_str(),
                   _O_WRONLY | _O_CREAT | (append ? _O_APPEND : _O_TRUNC) | _O_BINARY | _O_NOINHERIT,
                   _S_IREAD | _S_IWRITE);
}
long long write_some(int fd, const char* p, std::size_t n) {
    return ::_write(fd, p, static_cast<unsigned>(n > 1u << 30 ? 1u << 30 : n));
}
int sync_file(int fd) {
    return ::_commit(fd);
}
int close_file(int fd) {
    return ::_close(fd);
}
#else
int open_file(const std::string& path, bool append) {
    return ::open(path.c_str(), O_WRONLY | O_CREAT | (append ? O_APPEND : O_TRUNC) | O_CLOEXEC,
                  0666);
}
long long write_some(int fd, const char* p, std::size_t n) {
    return ::write(fd, p, n);
}
int sync_file(int fd) {
#if defined(__linux__)
    return ::fdatasync(fd);
#else
    return ::fsync(fd);
#endif
}
int close_file(int fd) {
    return ::close(fd);
}
#endif

// A sync that the file cannot do (a character device, a pipe) is no failure.
bool sync_unsupported(int err) {
    return err == EINVAL || err == EROFS || err == ENOTSUP;
}

} // namespace

record_file::~record_file() {
    close();
}

bool record_file::open(const std::string& path, mode m) {
    if (fd_ >= 0)
        return false;
    fd_ = open_file(path, m == mode::append);
    if (fd_ < 0)
        return false;
    error_.clear();
    batch_.clear();
    return true;
}

bool record_file::commit() {
    if (fd_ < 0 || !error_.empty()) {
        batch_.clear();
        return false;
    }
    const char* p = batch_.data();
    std::size_t left = batch_.size();
    while (left > 0) {
        const long long n = write_some(fd_, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error_ = std::string("The record file cannot be written: ") +
                     (n < 0 ? std::strerror(errno) : "nothing was written");
            batch_.clear();
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    const bool had_batch = !batch_.empty();
    batch_.clear();
    if (had_batch && sync_file(fd_) != 0 && !sync_unsupported(errno)) {
        error_ = std::string("The record file cannot be written: ") + std::strerror(errno);
        return false;
    }
    return true;
}

void record_file::close() {
    if (fd_ < 0)
        return;
    commit();
    if (close_file(fd_) != 0 && errno != EINTR && error_.empty())
        error_ = std::string("The record file cannot be written: ") + std::strerror(errno);
    fd_ = -1;
}

std::string record_file_name(std::int32_t serial_number, const marev::local_time& t) {
    char name[96];
    std::snprintf(name, sizeof name, "qelm%03u_%u%02u%02u%02u%02u%02u.dat",
                  static_cast<unsigned>(serial_number), unsigned(t.year), unsigned(t.month),
                  unsigned(t.day), unsigned(t.hour), unsigned(t.minute), unsigned(t.second));
    return name;
}
