// The Linux side of COM ports for Windows tests run under Wine.
//
//   com_peer COMMAND [ARGS...]
//
// Runs COMMAND (wine and a test program) and serves it on a TCP port of the
// loopback interface, named to it in MAREV_COM_PEER. A test that wants an
// instrument on COM<n> connects and asks for one: the peer opens a
// pseudo-terminal, links its slave side as com<n> in the Wine prefix's
// dosdevices folder (so that \\.\COM<n> opens it), and plays the master side
// on the test's requests. A Windows process cannot open a pseudo-terminal
// itself, so this side holds it.
//
// Requests and replies are one byte, a 32-bit little-endian length and that
// many bytes. Requests: 'O' port number (open), 'S' bytes (send them to the
// program and wait until its side can read them), 'R' (what the program has
// sent), 'V' (close the master side: the device vanishes), 'T' (the line
// format the program set, as "19200 8N1 none"). Replies: '+' and the answer,
// or '-' and the reason. A closed connection removes its instrument.
// Exits with COMMAND's exit status.
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <string>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

using steady = std::chrono::steady_clock;

fs::path dosdevices() {
    if (const char* p = std::getenv("WINEPREFIX"); p && *p)
        return fs::path(p) / "dosdevices";
    const char* home = std::getenv("HOME");
    return fs::path(home ? home : "") / ".wine" / "dosdevices";
}

struct instrument {
    int master = -1;
    int slave = -1; // keeps the slave side alive between the program's opens
    fs::path link;

    ~instrument() {
        if (master >= 0)
            ::close(master);
        if (slave >= 0)
            ::close(slave);
        std::error_code ec;
        if (!link.empty())
            fs::remove(link, ec);
    }
};

int queued_input(int fd) {
    int n = 0;
    return ::ioctl(fd, FIONREAD, &n) == 0 ? n : 0;
}

void open_instrument(instrument& in, const std::string& port) {
    char name[256];
    if (::openpty(&in.master, &in.slave, name, nullptr, nullptr) != 0)
        throw std::runtime_error(std::string("openpty: ") + std::strerror(errno));
    termios tio{};
    ::tcgetattr(in.slave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(in.slave, TCSANOW, &tio);
    ::fcntl(in.master, F_SETFL, ::fcntl(in.master, F_GETFL) | O_NONBLOCK);
    in.link = dosdevices() / ("com" + port);
    std::error_code ec;
    fs::remove(in.link, ec);
    fs::create_symlink(name, in.link, ec);
    if (ec)
        throw std::runtime_error(in.link.string() + ": " + ec.message());
}

void send_bytes(instrument& in, const std::string& bytes) {
    if (in.master < 0)
        throw std::runtime_error("the instrument has vanished");
    std::size_t done = 0;
    const auto deadline = steady::now() + std::chrono::seconds(5);
    while (done < bytes.size()) {
        const ssize_t n = ::write(in.master, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += std::size_t(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            throw std::runtime_error(std::string("write: ") + std::strerror(errno));
        if (steady::now() > deadline)
            throw std::runtime_error("the pseudo-terminal takes no more bytes");
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    // The kernel hands the bytes to the slave side a moment later.
    int last = -1;
    for (int quiet = 0; quiet < 3 && steady::now() < deadline;) {
        const int now = queued_input(in.slave);
        quiet = now == last ? quiet + 1 : 0;
        last = now;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

std::string received(instrument& in) {
    std::string out;
    char buf[4096];
    while (in.master >= 0) {
        pollfd p{in.master, POLLIN, 0};
        if (::poll(&p, 1, 30) <= 0 || !(p.revents & POLLIN))
            break;
        const ssize_t n = ::read(in.master, buf, sizeof buf);
        if (n <= 0)
            break;
        out.append(buf, std::size_t(n));
    }
    return out;
}

std::string line_format(const instrument& in) {
    termios tio{};
    if (::tcgetattr(in.slave, &tio) != 0)
        throw std::runtime_error(std::string("tcgetattr: ") + std::strerror(errno));
    long baud = 0;
    switch (::cfgetospeed(&tio)) {
    case B1200:
        baud = 1200;
        break;
    case B2400:
        baud = 2400;
        break;
    case B4800:
        baud = 4800;
        break;
    case B9600:
        baud = 9600;
        break;
    case B19200:
        baud = 19200;
        break;
    case B38400:
        baud = 38400;
        break;
    case B57600:
        baud = 57600;
        break;
    case B115200:
        baud = 115200;
        break;
    default:
        break;
    }
    const tcflag_t c = tio.c_cflag;
    const int bits = (c & CSIZE) == CS8 ? 8 : (c & CSIZE) == CS7 ? 7 : (c & CSIZE) == CS6 ? 6 : 5;
    const char parity = !(c & PARENB) ? 'N' : (c & PARODD) ? 'O' : 'E';
    std::string flow;
    if (c & CRTSCTS)
        flow += " rts/cts";
    if (tio.c_iflag & (IXON | IXOFF))
        flow += " xon/xoff";
    return std::to_string(baud) + " " + std::to_string(bits) + parity + ((c & CSTOPB) ? "2" : "1") +
           (flow.empty() ? " none" : flow);
}

// One connection: a buffer of what has come in and the instrument it asked for.
struct client {
    std::string in;
    std::unique_ptr<instrument> inst;
};

void put_u32(std::string& s, std::uint32_t n) {
    for (int i = 0; i < 4; ++i)
        s += char((n >> (8 * i)) & 0xff);
}

bool write_all(int fd, const std::string& s) {
    std::size_t done = 0;
    while (done < s.size()) {
        const ssize_t n = ::send(fd, s.data() + done, s.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += std::size_t(n);
    }
    return true;
}

std::string answer(client& c, char op, const std::string& arg) {
    if (op == 'O') {
        c.inst = std::make_unique<instrument>();
        open_instrument(*c.inst, arg);
        return "";
    }
    if (!c.inst)
        throw std::runtime_error("no instrument open");
    switch (op) {
    case 'S':
        send_bytes(*c.inst, arg);
        return "";
    case 'R':
        return received(*c.inst);
    case 'V':
        if (c.inst->master >= 0)
            ::close(c.inst->master);
        c.inst->master = -1;
        return "";
    case 'T':
        return line_format(*c.inst);
    default:
        throw std::runtime_error(std::string("unknown request ") + op);
    }
}

// Answers every whole request in the buffer; false when the connection is to end.
bool serve(int fd, client& c) {
    for (;;) {
        if (c.in.size() < 5)
            return true;
        std::uint32_t len = 0;
        for (int i = 0; i < 4; ++i)
            len |= std::uint32_t(std::uint8_t(c.in[1 + i])) << (8 * i);
        if (c.in.size() < 5 + std::size_t(len))
            return true;
        const char op = c.in[0];
        const std::string arg = c.in.substr(5, len);
        c.in.erase(0, 5 + std::size_t(len));
        std::string reply;
        try {
            const std::string a = answer(c, op, arg);
            reply = "+";
            put_u32(reply, std::uint32_t(a.size()));
            reply += a;
        } catch (const std::exception& e) {
            const std::string why = e.what();
            reply = "-";
            put_u32(reply, std::uint32_t(why.size()));
            reply += why;
        }
        if (!write_all(fd, reply))
            return false;
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: com_peer COMMAND [ARGS...]\n");
        return 2;
    }
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listener, 8) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        std::perror("com_peer: listen");
        return 2;
    }
    ::setenv("MAREV_COM_PEER", std::to_string(ntohs(addr.sin_port)).c_str(), 1);

    const pid_t child = ::fork();
    if (child == 0) {
        ::execvp(argv[1], argv + 1);
        std::perror(argv[1]);
        ::_exit(127);
    }
    if (child < 0) {
        std::perror("com_peer: fork");
        return 2;
    }

    std::map<int, client> clients;
    for (;;) {
        int status = 0;
        if (::waitpid(child, &status, WNOHANG) == child) {
            for (auto& [fd, c] : clients)
                ::close(fd);
            clients.clear();
            if (WIFEXITED(status))
                return WEXITSTATUS(status);
            std::fprintf(stderr, "com_peer: %s ended by signal %d\n", argv[1], WTERMSIG(status));
            return 128 + WTERMSIG(status);
        }
        std::vector<pollfd> fds{{listener, POLLIN, 0}};
        for (const auto& entry : clients)
            fds.push_back({entry.first, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), 50) <= 0)
            continue;
        if (fds[0].revents & POLLIN) {
            const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0)
                clients[fd];
        }
        for (std::size_t i = 1; i < fds.size(); ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            const int fd = fds[i].fd;
            char buf[4096];
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            client& c = clients[fd];
            if (n > 0)
                c.in.append(buf, std::size_t(n));
            if (n <= 0 || !serve(fd, c)) {
                ::close(fd);
                clients.erase(fd);
            }
        }
    }
}
