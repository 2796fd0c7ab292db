#include <winsock2.h>
#include <ws2tcpip.h>

#include <stdexcept>

#include "tests/support/loopback_socket.h"

namespace orbenix::test {

namespace {

struct WinsockStartup {
    WinsockStartup() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
    ~WinsockStartup() { WSACleanup(); }
};

void EnsureWinsock() { static WinsockStartup startup; }

bool Wait(SOCKET s, short events, int timeout_ms) {
    WSAPOLLFD p{};
    p.fd = s;
    p.events = events;
    return WSAPoll(&p, 1, timeout_ms) > 0;
}

SOCKET BoundSocket(std::uint16_t& port) {
    EnsureWinsock();
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) throw std::runtime_error("socket failed");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::closesocket(s);
        throw std::runtime_error("bind on 127.0.0.1 failed");
    }
    port = ntohs(address.sin_port);
    return s;
}

}  // namespace

struct LoopbackConnection::Handle {
    SOCKET s = INVALID_SOCKET;
    explicit Handle(SOCKET socket) : s(socket) {}
    ~Handle() {
        if (s != INVALID_SOCKET) ::closesocket(s);
    }
};

LoopbackConnection::LoopbackConnection(std::unique_ptr<Handle> handle) : handle_(std::move(handle)) {}
LoopbackConnection::LoopbackConnection(LoopbackConnection&&) noexcept = default;
LoopbackConnection::~LoopbackConnection() = default;

std::size_t LoopbackConnection::Read(void* buffer, std::size_t size, int timeout_ms) {
    if (!Wait(handle_->s, POLLRDNORM, timeout_ms)) return 0;
    const int n = ::recv(handle_->s, static_cast<char*>(buffer), static_cast<int>(size), 0);
    return n > 0 ? static_cast<std::size_t>(n) : 0;
}

bool LoopbackConnection::Write(std::string_view bytes) {
    while (!bytes.empty()) {
        const int n = ::send(handle_->s, bytes.data(), static_cast<int>(bytes.size()), 0);
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

void LoopbackConnection::Reset() {
    linger l{1, 0};
    ::setsockopt(handle_->s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l);
    handle_ = std::make_unique<Handle>(INVALID_SOCKET);
}

LoopbackListener::LoopbackListener() {
    handle_ = std::make_unique<LoopbackConnection::Handle>(BoundSocket(port_));
    if (::listen(handle_->s, 64) != 0) throw std::runtime_error("listen failed");
}

LoopbackListener::~LoopbackListener() = default;

std::optional<LoopbackConnection> LoopbackListener::Accept(int timeout_ms) {
    if (!Wait(handle_->s, POLLRDNORM, timeout_ms)) return std::nullopt;
    const SOCKET s = ::accept(handle_->s, nullptr, nullptr);
    if (s == INVALID_SOCKET) return std::nullopt;
    return LoopbackConnection(std::make_unique<LoopbackConnection::Handle>(s));
}

std::uint16_t UnusedLoopbackPort() {
    std::uint16_t port = 0;
    ::closesocket(BoundSocket(port));
    return port;
}

}  // namespace orbenix::test
