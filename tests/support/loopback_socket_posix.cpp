#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

#include "tests/support/loopback_socket.h"

namespace orbenix::test {

struct LoopbackConnection::Handle {
    int fd = -1;
    explicit Handle(int f) : fd(f) {}
    ~Handle() {
        if (fd >= 0) ::close(fd);
    }
};

namespace {

bool Wait(int fd, short events, int timeout_ms) {
    pollfd p{fd, events, 0};
    return ::poll(&p, 1, timeout_ms) > 0;
}

int BoundSocket(std::uint16_t& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("socket failed");
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        throw std::runtime_error("bind on 127.0.0.1 failed");
    }
    port = ntohs(address.sin_port);
    return fd;
}

}  // namespace

LoopbackConnection::LoopbackConnection(std::unique_ptr<Handle> handle) : handle_(std::move(handle)) {}
LoopbackConnection::LoopbackConnection(LoopbackConnection&&) noexcept = default;
LoopbackConnection::~LoopbackConnection() = default;

std::size_t LoopbackConnection::Read(void* buffer, std::size_t size, int timeout_ms) {
    if (!Wait(handle_->fd, POLLIN, timeout_ms)) return 0;
    const ssize_t n = ::recv(handle_->fd, buffer, size, 0);
    return n > 0 ? static_cast<std::size_t>(n) : 0;
}

bool LoopbackConnection::Write(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::send(handle_->fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

void LoopbackConnection::Reset() {
    linger l{1, 0};
    ::setsockopt(handle_->fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    handle_ = std::make_unique<Handle>(-1);
}

LoopbackListener::LoopbackListener() {
    handle_ = std::make_unique<LoopbackConnection::Handle>(BoundSocket(port_));
    if (::listen(handle_->fd, 64) != 0) throw std::runtime_error("listen failed");
}

LoopbackListener::~LoopbackListener() = default;

std::optional<LoopbackConnection> LoopbackListener::Accept(int timeout_ms) {
    if (!Wait(handle_->fd, POLLIN, timeout_ms)) return std::nullopt;
    const int fd = ::accept4(handle_->fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return std::nullopt;
    return LoopbackConnection(std::make_unique<LoopbackConnection::Handle>(fd));
}

std::uint16_t UnusedLoopbackPort() {
    std::uint16_t port = 0;
    ::close(BoundSocket(port));
    return port;
}

}  // namespace orbenix::test
