#include "fake_instrument.h"

#include "link/port_names.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

using steady = std::chrono::steady_clock;

int queued_input(int fd) {
    int n = 0;
    return ::ioctl(fd, FIONREAD, &n) == 0 ? n : 0;
}

} // namespace

fake_instrument::fake_instrument(int port) : port_(port) {
    int slave = -1;
    char name[256];
    if (::openpty(&master_, &slave, name, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    termios tio{};
    ::tcgetattr(slave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(slave, TCSANOW, &tio);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    slave_keep_ = slave;
    device_ = name;
    std::filesystem::create_symlink(device_, folder_.path() / ("COM" + std::to_string(port)));
    set_port_folder(folder_.path().string());
}

fake_instrument::~fake_instrument() {
    if (master_ >= 0)
        ::close(master_);
    if (slave_keep_ >= 0)
        ::close(slave_keep_);
}

void fake_instrument::send(std::string_view bytes) {
    const int before = queued_input(slave_keep_);
    const auto deadline = steady::now() + std::chrono::seconds(5);
    while (!bytes.empty()) {
        const ssize_t n = ::write(master_, bytes.data(), bytes.size());
        if (n > 0) {
            bytes.remove_prefix(std::size_t(n));
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            throw std::runtime_error("write to the pseudo-terminal failed");
        if (steady::now() > deadline)
            throw std::runtime_error("the pseudo-terminal does not take more bytes");
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    (void)before;
    // The kernel hands bytes to the slave side a moment later; wait until the
    // queue stops growing so that the next read on the program's side sees them.
    int last = -1;
    for (int quiet = 0; quiet < 3 && steady::now() < deadline;) {
        const int now = queued_input(slave_keep_);
        quiet = now == last ? quiet + 1 : 0;
        last = now;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

std::string fake_instrument::received() {
    std::string out;
    char buf[4096];
    for (;;) {
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, 30) <= 0 || !(p.revents & POLLIN))
            break;
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n <= 0)
            break;
        out.append(buf, std::size_t(n));
    }
    return out;
}

void fake_instrument::vanish() {
    if (master_ >= 0)
        ::close(master_);
    master_ = -1;
}
