#pragma once
// The TLS side of the scripted HTTP server: a self-signed RSA-2048
// certificate for localhost and 127.0.0.1, made in memory, and TLS sessions
// over accepted loopback connections. OpenSSL on Linux
// (test_tls_server_openssl.cpp); not offered on Windows
// (test_tls_server_none.cpp), where HTTPS tests use nginx.
#include <cstddef>
#include <memory>
#include <string_view>

#include "tests/support/loopback_socket.h"

namespace orbenix::test {

class TestTlsSession {
public:
    virtual ~TestTlsSession() = default;
    // 0 when the peer closed, the wait ran out or TLS failed.
    virtual std::size_t Read(void* buffer, std::size_t size, int timeout_ms) = 0;
    virtual bool Write(std::string_view bytes) = 0;
    // Sends close_notify (a clean TLS end).
    virtual void Close() = 0;
};

class TestTlsContext {
public:
    virtual ~TestTlsContext() = default;
    // The handshake over `connection` (which must outlive the session); nullptr when it fails.
    virtual std::unique_ptr<TestTlsSession> Accept(LoopbackConnection& connection, int timeout_ms) = 0;
};

// nullptr where the platform offers no TLS server.
std::unique_ptr<TestTlsContext> MakeTestTlsContext();

}  // namespace orbenix::test
