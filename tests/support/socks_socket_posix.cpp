// Loopback sockets of the test servers on POSIX.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

#include "tests/support/socks_socket.h"

namespace orbenix::test {

class TestSocket::Handle {
public:
    explicit Handle(int fd) : fd(fd) {}
    ~Handle() {
        if (fd >= 0) ::close(fd);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    int fd;
};

namespace {

bool Poll(int fd, short events, int timeout_ms) {
    pollfd p{fd, events, 0};
    return ::poll(&p, 1, timeout_ms) > 0;
}

}  // namespace

TestSocket::TestSocket(std::unique_ptr<Handle> handle) : handle_(std::move(handle)) {}
TestSocket::TestSocket(TestSocket&&) noexcept = default;
TestSocket& TestSocket::operator=(TestSocket&&) noexcept = default;
TestSocket::~TestSocket() = default;

std::size_t TestSocket::ReadSome(void* buffer, std::size_t size, int timeout_ms) {
    if (!handle_ || !Poll(handle_->fd, POLLIN, timeout_ms)) return 0;
    const ssize_t got = ::recv(handle_->fd, buffer, size, 0);
    if (got <= 0) return 0;
    received_.append(static_cast<const char*>(buffer), static_cast<std::size_t>(got));
    return static_cast<std::size_t>(got);
}

bool TestSocket::Write(std::string_view bytes) {
    while (handle_ && !bytes.empty()) {
        const ssize_t sent = ::send(handle_->fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return handle_ != nullptr;
}

bool TestSocket::WaitReadable(int timeout_ms) { return handle_ && Poll(handle_->fd, POLLIN, timeout_ms); }

void TestSocket::Close() { handle_.reset(); }

TestListener::TestListener() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) throw std::runtime_error("socket failed");
    handle_ = std::make_unique<TestSocket::Handle>(fd);
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 16) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("listen on 127.0.0.1 failed");
    }
    port_ = ntohs(address.sin_port);
}

TestListener::~TestListener() = default;

std::optional<TestSocket> TestListener::Accept(int timeout_ms) {
    if (!Poll(handle_->fd, POLLIN, timeout_ms)) return std::nullopt;
    const int fd = ::accept(handle_->fd, nullptr, nullptr);
    if (fd < 0) return std::nullopt;
    return TestSocket(std::make_unique<TestSocket::Handle>(fd));
}

std::optional<TestSocket> ConnectLoopback(const std::string& address, std::uint16_t port) {
    sockaddr_storage storage{};
    socklen_t length = 0;
    int family = AF_INET;
    if (address.find(':') != std::string::npos) {
        family = AF_INET6;
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&storage);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(port);
        if (::inet_pton(AF_INET6, address.c_str(), &in6->sin6_addr) != 1) return std::nullopt;
        length = sizeof *in6;
    } else {
        auto* in = reinterpret_cast<sockaddr_in*>(&storage);
        in->sin_family = AF_INET;
        in->sin_port = htons(port);
        if (::inet_pton(AF_INET, address.c_str(), &in->sin_addr) != 1) return std::nullopt;
        length = sizeof *in;
    }
    const int fd = ::socket(family, SOCK_STREAM, 0);
    if (fd < 0) return std::nullopt;
    auto handle = std::make_unique<TestSocket::Handle>(fd);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&storage), length) != 0) return std::nullopt;
    return TestSocket(std::move(handle));
}

void Relay(TestSocket& a, TestSocket& b, int idle_ms) {
    char buffer[16384];
    while (a.handle_ && b.handle_) {
        pollfd p[2] = {{a.handle_->fd, POLLIN, 0}, {b.handle_->fd, POLLIN, 0}};
        if (::poll(p, 2, idle_ms) <= 0) return;
        for (int i = 0; i < 2; ++i) {
            if (!(p[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            TestSocket& from = i == 0 ? a : b;
            TestSocket& to = i == 0 ? b : a;
            const ssize_t got = ::recv(from.handle_->fd, buffer, sizeof buffer, 0);
            if (got <= 0) return;
            from.received_.append(buffer, static_cast<std::size_t>(got));
            if (!to.Write(std::string_view(buffer, static_cast<std::size_t>(got)))) return;
        }
    }
}

}  // namespace orbenix::test
