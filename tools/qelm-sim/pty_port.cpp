#include "pty_port.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/inotify.h>
#endif

namespace {

std::runtime_error sys_error(const std::string& what) {
    return std::runtime_error(what + ": " + std::strerror(errno));
}

// Target of a symbolic link, or empty when path is none.
std::string link_target(const std::string& path) {
    char buf[4096];
    ssize_t n = ::readlink(path.c_str(), buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, std::size_t(n)) : std::string();
}

bool is_pty_device(const std::string& target) {
    return target.rfind("/dev/pts/", 0) == 0 || target.rfind("/dev/ttys", 0) == 0 ||
           target.rfind("/dev/pty", 0) == 0;
}

} // namespace

pty_port::pty_port(int port, const std::string& folder) : folder_(folder) {
    const std::string name = "COM" + std::to_string(port);
    link_ = folder + "/" + name;
    lock_path_ = folder + "/." + name + ".lock";

    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec)
        throw std::runtime_error("cannot make the port folder " + folder + ": " + ec.message());
    take_lock();

    try {
        open_device();
    } catch (...) {
        close_device();
        ::unlink(lock_path_.c_str());
        ::close(lock_);
        throw;
    }
}

pty_port::~pty_port() {
    close_device();
    // Unlinked while still locked: a simulator waiting for the lock then finds
    // its file gone and makes a new one (see take_lock).
    ::unlink(lock_path_.c_str());
    ::close(lock_);
}

void pty_port::take_lock() {
    for (;;) {
        lock_ = ::open(lock_path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (lock_ < 0)
            throw sys_error("cannot make " + lock_path_);
        if (::flock(lock_, LOCK_EX | LOCK_NB) != 0) {
            int e = errno;
            ::close(lock_);
            errno = e;
            if (e == EWOULDBLOCK)
                throw std::runtime_error("another simulator serves " + link_);
            throw sys_error("cannot lock " + lock_path_);
        }
        struct stat held {
        }, named{};
        if (::fstat(lock_, &held) == 0 && ::stat(lock_path_.c_str(), &named) == 0 &&
            held.st_dev == named.st_dev && held.st_ino == named.st_ino)
            break;
        ::close(lock_); // removed by the simulator that held it: try again
    }
    std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(lock_, 0) == 0 && ::write(lock_, pid.data(), pid.size()) < 0) {
        // The pid is for people only.
    }
}

void pty_port::open_device() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
        throw sys_error("cannot open a pseudo-terminal");
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    const char* pts = ::ptsname(master_);
    if (!pts)
        throw sys_error("cannot name the pseudo-terminal");
    device_ = pts;

    // Held open while the device lives (see the class comment); never read.
    slave_ = ::open(device_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0)
        throw sys_error("cannot open " + device_);
    // Raw before anyone else opens it: an echo would feed our own lines
    // back to us as commands, and CR must reach the reader unchanged.
    termios tio{};
    if (::tcgetattr(slave_, &tio) != 0)
        throw sys_error("cannot read the settings of " + device_);
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    ::cfsetispeed(&tio, B19200);
    ::cfsetospeed(&tio, B19200);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::tcsetattr(slave_, TCSANOW, &tio) != 0)
        throw sys_error("cannot set " + device_ + " to raw");

#ifdef __linux__
    watch_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch_ >= 0 && ::inotify_add_watch(watch_, device_.c_str(),
                                           IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0) {
        ::close(watch_);
        watch_ = -1;
    }
#endif
    make_link();
}

void pty_port::reopen() {
    close_device();
    others_open_ = 0;
    try {
        open_device();
    } catch (...) {
        close_device();
        throw;
    }
}

void pty_port::make_link() {
    struct stat st {};
    if (::lstat(link_.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode))
            throw std::runtime_error(link_ + " exists and is not a link; remove it or choose "
                                             "another --port");
        std::string target = link_target(link_);
        // With the lock ours, a link to a pty is a dead simulator's.
        if (!is_pty_device(target))
            throw std::runtime_error(link_ + " points to " + target +
                                     ", not to a simulator; remove it or choose another --port");
    }
    // Made under a temporary name and renamed over the old link, so the name
    // never points nowhere.
    std::string tmp = folder_ + "/.qelm-sim." + std::to_string(::getpid()) + ".tmp";
    ::unlink(tmp.c_str());
    if (::symlink(device_.c_str(), tmp.c_str()) != 0)
        throw sys_error("cannot make the link " + tmp);
    if (::rename(tmp.c_str(), link_.c_str()) != 0) {
        int e = errno;
        ::unlink(tmp.c_str());
        errno = e;
        throw sys_error("cannot make the link " + link_);
    }
}

void pty_port::remove_link() {
    // Only our own: someone may have pointed the name elsewhere meanwhile.
    if (!device_.empty() && link_target(link_) == device_)
        ::unlink(link_.c_str());
}

pty_port::watch_events pty_port::read_watch() {
    watch_events ev;
#ifdef __linux__
    alignas(inotify_event) char buf[4096];
    for (;;) {
        ssize_t n = ::read(watch_, buf, sizeof buf);
        if (n <= 0)
            break;
        for (char* p = buf; p < buf + n;) {
            auto* e = reinterpret_cast<inotify_event*>(p);
            if (e->mask & IN_OPEN) {
                ++ev.opens;
                ++others_open_;
            }
            if (e->mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) {
                ++ev.closes;
                if (others_open_ > 0)
                    --others_open_;
            }
            p += sizeof(inotify_event) + e->len;
        }
    }
    if (ev.closes > 0 && others_open_ == 0 && slave_ >= 0)
        ::ioctl(slave_, TIOCNXCL);
#endif
    return ev;
}

std::size_t pty_port::unread() const {
    int n = 0;
    if (slave_ < 0 || ::ioctl(slave_, FIONREAD, &n) != 0 || n < 0)
        return 0;
    return std::size_t(n);
}

void pty_port::close_device() {
    remove_link();
    if (watch_ >= 0)
        ::close(watch_);
    if (slave_ >= 0)
        ::close(slave_);
    if (master_ >= 0)
        ::close(master_);
    watch_ = slave_ = master_ = -1;
}
