#pragma once
// Plain loopback TCP for the test servers: a listener on 127.0.0.1 and
// connected sockets with bounded waits. Per platform: socks_socket_posix.cpp
// and socks_socket_win32.cpp.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace orbenix::test {

class TestSocket {
public:
    class Handle;
    explicit TestSocket(std::unique_ptr<Handle> handle);
    TestSocket(TestSocket&&) noexcept;
    TestSocket& operator=(TestSocket&&) noexcept;
    ~TestSocket();

    // Up to `size` bytes; 0 when the peer closed, the wait ran out or the
    // socket failed.
    std::size_t ReadSome(void* buffer, std::size_t size, int timeout_ms);
    // Exactly `size` bytes within `timeout_ms`; false otherwise.
    bool ReadExact(std::string& into, std::size_t size, int timeout_ms);
    // Bytes up to and including `end` (at most `limit` bytes); "" on failure.
    std::string ReadUntil(std::string_view end, std::size_t limit, int timeout_ms);
    bool Write(std::string_view bytes);
    // True when the peer closes (or sends) within `timeout_ms`.
    bool WaitReadable(int timeout_ms);
    void Close();

    // Every byte read so far, in order.
    const std::string& received() const { return received_; }

private:
    friend void Relay(TestSocket& a, TestSocket& b, int idle_ms);
    std::unique_ptr<Handle> handle_;
    std::string received_;
};

class TestListener {
public:
    TestListener();  // 127.0.0.1, a free port
    ~TestListener();
    TestListener(const TestListener&) = delete;
    TestListener& operator=(const TestListener&) = delete;
    std::uint16_t port() const { return port_; }
    std::optional<TestSocket> Accept(int timeout_ms);

private:
    std::unique_ptr<TestSocket::Handle> handle_;
    std::uint16_t port_ = 0;
};

// A connection to 127.0.0.1:port (IPv4) or [::1]:port; nullopt when refused.
std::optional<TestSocket> ConnectLoopback(const std::string& address, std::uint16_t port);

// Copies bytes both ways until either side closes or nothing moves for `idle_ms`.
void Relay(TestSocket& a, TestSocket& b, int idle_ms);

}  // namespace orbenix::test
