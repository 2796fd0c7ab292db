#pragma once
// A connected byte stream: a TCP socket, or TLS over one. Every stage of the
// client (proxy handshakes, TLS, HTTP) reads and writes through it.
#include <cstddef>
#include <memory>
#include <string>

#include "engine/http/deadline.h"

namespace orbenix::http {

class Stream {
public:
    virtual ~Stream() = default;
    // Reads up to `size` bytes; returns 0 when the peer has closed. Raises a
    // numbered Error on failure or when the deadline passes.
    virtual std::size_t Read(void* buffer, std::size_t size, const Deadline& deadline) = 0;
    // Writes all bytes or raises a numbered Error.
    virtual void Write(const void* data, std::size_t size, const Deadline& deadline) = 0;
    // "host:port" of the peer as the user named it, for error texts.
    virtual const std::string& PeerName() const = 0;
};

// Opens a TCP connection (IPv4 or IPv6, names resolved here). `host` may be a
// DNS name or an address literal (IPv6 without brackets).
// Implemented per platform: transport_posix.cpp / transport_win32.cpp.
std::unique_ptr<Stream> ConnectTcp(const std::string& host, std::uint16_t port,
                                   const Deadline& deadline);

}  // namespace orbenix::http
