#pragma once
// Loopback TCP for the scripted HTTP server: a listener on 127.0.0.1 and
// accepted connections with bounded waits. Per platform:
// loopback_socket_posix.cpp and loopback_socket_win32.cpp.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

namespace orbenix::test {

class LoopbackConnection {
public:
    struct Handle;
    explicit LoopbackConnection(std::unique_ptr<Handle> handle);
    LoopbackConnection(LoopbackConnection&&) noexcept;
    ~LoopbackConnection();

    // Up to `size` bytes; 0 when the peer closed, the wait ran out or the
    // socket failed.
    std::size_t Read(void* buffer, std::size_t size, int timeout_ms);
    bool Write(std::string_view bytes);
    // Sends a TCP reset instead of an orderly close.
    void Reset();

private:
    std::unique_ptr<Handle> handle_;
};

class LoopbackListener {
public:
    LoopbackListener();  // 127.0.0.1, a free port
    ~LoopbackListener();
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;
    std::uint16_t port() const { return port_; }
    std::optional<LoopbackConnection> Accept(int timeout_ms);

private:
    std::unique_ptr<LoopbackConnection::Handle> handle_;
    std::uint16_t port_ = 0;
};

// A port on 127.0.0.1 that nothing listens on (bound, then released).
std::uint16_t UnusedLoopbackPort();

}  // namespace orbenix::test
