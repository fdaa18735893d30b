#include "link/record_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <thread>
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

std::string failure_text(int err) {
    return std::string("The record file cannot be written: ") + std::strerror(err);
}

} // namespace

#ifndef _WIN32

// Syncs the file whenever a batch was written since the last sync. A sync
// that waits on the disk holds up this thread only; the batches go on being
// written in the meantime and the next sync takes them all.
struct record_file::syncer {
    explicit syncer(int fd) : fd(fd), thread([this, fd] { run(fd); }) {}
    ~syncer() { finish(); }
    // Waits for the last sync and ends the thread.
    void finish() {
        if (!thread.joinable())
            return;
        if (forked()) {
            // A child made by fork() has no copy of the thread: it syncs in place.
            thread.detach();
            if (dirty && sync_file(fd) != 0 && !sync_unsupported(errno) && error.empty())
                error = failure_text(errno);
            dirty = false;
            return;
        }
        {
            std::lock_guard<std::mutex> lock(m);
            stop = true;
        }
        wake.notify_one();
        thread.join();
    }
    void written() {
        if (forked()) {
            dirty = true; // synced by finish()
            return;
        }
        {
            std::lock_guard<std::mutex> lock(m);
            dirty = true;
        }
        wake.notify_one();
    }
    std::string failure() {
        if (forked())
            return error;
        std::lock_guard<std::mutex> lock(m);
        return error;
    }
    bool forked() const { return ::getpid() != owner; }

    void run(int fd) {
        std::unique_lock<std::mutex> lock(m);
        for (;;) {
            wake.wait(lock, [this] { return dirty || stop; });
            if (!dirty)
                return; // stopped with everything synced
            dirty = false;
            lock.unlock();
            const int r = sync_file(fd);
            const int err = errno;
            lock.lock();
            if (r != 0 && !sync_unsupported(err) && error.empty())
                error = failure_text(err);
        }
    }

    const int fd;
    const pid_t owner = ::getpid();
    std::mutex m;
    std::condition_variable wake;
    bool dirty = false;
    bool stop = false;
    std::string error;
    std::thread thread; // last: starts once the rest is in place
};

#else

// Windows: the batch is synced in place.
struct record_file::syncer {
    explicit syncer(int fd) : fd(fd) {}
    void written() {
        if (error.empty() && sync_file(fd) != 0 && !sync_unsupported(errno))
            error = failure_text(errno);
    }
    std::string failure() { return error; }
    void finish() {}
    bool forked() const { return false; }

    int fd;
    std::string error;
};

#endif

record_file::record_file() = default;

record_file::~record_file() {
    close();
}

void record_file::take_sync_error() {
    if (syncer_ && error_.empty())
        error_ = syncer_->failure();
}

bool record_file::open(const std::string& path, mode m) {
    if (fd_ >= 0)
        return false;
    fd_ = open_file(path, m == mode::append);
    if (fd_ < 0)
        return false;
    error_.clear();
    batch_.clear();
    syncer_ = std::make_unique<syncer>(fd_);
    return true;
}

bool record_file::commit() {
    take_sync_error();
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
    if (had_batch)
        syncer_->written();
    take_sync_error();
    return error_.empty();
}

void record_file::close() {
    if (fd_ < 0)
        return;
    commit();
    // The last sync is done before the file is closed.
    syncer_->finish();
    take_sync_error();
    if (syncer_->forked())
        (void)syncer_.release(); // its wait state belongs to the parent's thread
    else
        syncer_.reset();
    if (close_file(fd_) != 0 && errno != EINTR && error_.empty())
        error_ = failure_text(errno);
    fd_ = -1;
}

std::string record_file_name(std::int32_t serial_number, const marev::local_time& t) {
    char name[96];
    std::snprintf(name, sizeof name, "qelm%03u_%u%02u%02u%02u%02u%02u.dat",
                  static_cast<unsigned>(serial_number), unsigned(t.year), unsigned(t.month),
                  unsigned(t.day), unsigned(t.hour), unsigned(t.minute), unsigned(t.second));
    return name;
}
