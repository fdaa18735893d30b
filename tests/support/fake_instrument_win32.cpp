#include "fake_instrument.h"

#include <winsock2.h>

#include <cstdlib>
#include <stdexcept>

// The pseudo-terminal lives on the Linux side, in com_peer, which runs the
// test and names its port in MAREV_COM_PEER; each request here is answered
// there (see com_peer.cpp for the exchange).

namespace {

SOCKET as_socket(std::uintptr_t s) {
    return static_cast<SOCKET>(s);
}

void send_all(SOCKET s, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const int n = ::send(s, bytes.data() + done, int(bytes.size() - done), 0);
        if (n <= 0)
            throw std::runtime_error("com_peer: the connection is lost");
        done += std::size_t(n);
    }
}

std::string recv_exactly(SOCKET s, std::size_t count) {
    std::string out(count, '\0');
    std::size_t done = 0;
    while (done < count) {
        const int n = ::recv(s, out.data() + done, int(count - done), 0);
        if (n <= 0)
            throw std::runtime_error("com_peer: the connection is lost");
        done += std::size_t(n);
    }
    return out;
}

} // namespace

fake_instrument::fake_instrument(int port)
    : port_(port), peer_(static_cast<std::uintptr_t>(INVALID_SOCKET)),
      device_("\\\\.\\COM" + std::to_string(port)) {
    static const bool started = [] {
        WSADATA data;
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    const char* peer_port = std::getenv("MAREV_COM_PEER");
    if (!started || !peer_port || !*peer_port)
        throw std::runtime_error("no COM port peer: run the test under com_peer");
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<u_short>(std::atoi(peer_port)));
    if (s == INVALID_SOCKET ||
        ::connect(s, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        if (s != INVALID_SOCKET)
            ::closesocket(s);
        throw std::runtime_error("com_peer does not answer");
    }
    peer_ = static_cast<std::uintptr_t>(s);
    try {
        exchange('O', std::to_string(port));
    } catch (...) {
        ::closesocket(s);
        throw;
    }
}

fake_instrument::~fake_instrument() {
    // Closing the connection closes the pseudo-terminal and removes its link.
    ::closesocket(as_socket(peer_));
}

std::string fake_instrument::exchange(char request, std::string_view bytes) {
    std::string message(1, request);
    const auto n = static_cast<std::uint32_t>(bytes.size());
    for (int i = 0; i < 4; ++i)
        message += char((n >> (8 * i)) & 0xff);
    message += bytes;
    send_all(as_socket(peer_), message);
    const std::string head = recv_exactly(as_socket(peer_), 5);
    std::uint32_t len = 0;
    for (int i = 0; i < 4; ++i)
        len |= std::uint32_t(std::uint8_t(head[1 + i])) << (8 * i);
    std::string answer = recv_exactly(as_socket(peer_), len);
    if (head[0] != '+')
        throw std::runtime_error("com_peer: " + answer);
    return answer;
}

void fake_instrument::send(std::string_view bytes) {
    exchange('S', bytes);
}

std::string fake_instrument::received() {
    return exchange('R');
}

void fake_instrument::vanish() {
    exchange('V');
}

std::string fake_instrument::line_format() {
    return exchange('T');
}
