// Loopback sockets of the test servers on Windows (Winsock).
#include <winsock2.h>
#include <ws2tcpip.h>

#include <stdexcept>

#include "tests/support/socks_socket.h"

namespace orbenix::test {
namespace {

class Winsock {
public:
    Winsock() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
    ~Winsock() { WSACleanup(); }
    Winsock(const Winsock&) = delete;
    Winsock& operator=(const Winsock&) = delete;
};

void EnsureWinsock() { static Winsock winsock; }

bool Readable(SOCKET s, int timeout_ms) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval wait{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
    return ::select(0, &set, nullptr, nullptr, &wait) > 0;
}

}  // namespace

class TestSocket::Handle {
public:
    explicit Handle(SOCKET s) : s(s) {}
    ~Handle() {
        if (s != INVALID_SOCKET) ::closesocket(s);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    SOCKET s;
};

TestSocket::TestSocket(std::unique_ptr<Handle> handle) : handle_(std::move(handle)) {}
TestSocket::TestSocket(TestSocket&&) noexcept = default;
TestSocket& TestSocket::operator=(TestSocket&&) noexcept = default;
TestSocket::~TestSocket() = default;

std::size_t TestSocket::ReadSome(void* buffer, std::size_t size, int timeout_ms) {
    if (!handle_ || !Readable(handle_->s, timeout_ms)) return 0;
    const int got = ::recv(handle_->s, static_cast<char*>(buffer), static_cast<int>(size), 0);
    if (got <= 0) return 0;
    received_.append(static_cast<const char*>(buffer), static_cast<std::size_t>(got));
    return static_cast<std::size_t>(got);
}

bool TestSocket::Write(std::string_view bytes) {
    while (handle_ && !bytes.empty()) {
        const int sent = ::send(handle_->s, bytes.data(), static_cast<int>(bytes.size()), 0);
        if (sent <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return handle_ != nullptr;
}

bool TestSocket::WaitReadable(int timeout_ms) { return handle_ && Readable(handle_->s, timeout_ms); }

void TestSocket::Close() { handle_.reset(); }

TestListener::TestListener() {
    EnsureWinsock();
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) throw std::runtime_error("socket failed");
    handle_ = std::make_unique<TestSocket::Handle>(s);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(s, 16) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("listen on 127.0.0.1 failed");
    }
    port_ = ntohs(address.sin_port);
}

TestListener::~TestListener() = default;

std::optional<TestSocket> TestListener::Accept(int timeout_ms) {
    if (!Readable(handle_->s, timeout_ms)) return std::nullopt;
    const SOCKET s = ::accept(handle_->s, nullptr, nullptr);
    if (s == INVALID_SOCKET) return std::nullopt;
    return TestSocket(std::make_unique<TestSocket::Handle>(s));
}

std::optional<TestSocket> ConnectLoopback(const std::string& address, std::uint16_t port) {
    EnsureWinsock();
    sockaddr_storage storage{};
    int length = 0;
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
    const SOCKET s = ::socket(family, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return std::nullopt;
    auto handle = std::make_unique<TestSocket::Handle>(s);
    if (::connect(s, reinterpret_cast<sockaddr*>(&storage), length) != 0) return std::nullopt;
    return TestSocket(std::move(handle));
}

void Relay(TestSocket& a, TestSocket& b, int idle_ms) {
    char buffer[16384];
    while (a.handle_ && b.handle_) {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(a.handle_->s, &set);
        FD_SET(b.handle_->s, &set);
        timeval wait{idle_ms / 1000, (idle_ms % 1000) * 1000};
        if (::select(0, &set, nullptr, nullptr, &wait) <= 0) return;
        for (int i = 0; i < 2; ++i) {
            TestSocket& from = i == 0 ? a : b;
            TestSocket& to = i == 0 ? b : a;
            if (!FD_ISSET(from.handle_->s, &set)) continue;
            const int got = ::recv(from.handle_->s, buffer, sizeof buffer, 0);
            if (got <= 0) return;
            from.received_.append(buffer, static_cast<std::size_t>(got));
            if (!to.Write(std::string_view(buffer, static_cast<std::size_t>(got)))) return;
        }
    }
}

}  // namespace orbenix::test
