#pragma once
// The error numbers of our HTTP component. They lie outside 50000-50050 (the
// band a check passes over), so every failure of a send ends the check with a
// message. Each error's description names what failed and where.
#include <cstdint>

namespace orbenix::http::error_numbers {

inline constexpr std::int32_t BadUrl = 30001;             // no/unknown scheme, empty host, bad port, spaces
inline constexpr std::int32_t BadHeader = 30002;          // CR, LF or NUL in a header name or value
inline constexpr std::int32_t BadOption = 30003;          // an option value the component cannot use
inline constexpr std::int32_t ResolveFailed = 30010;      // unknown host
inline constexpr std::int32_t ConnectionRefused = 30011;
inline constexpr std::int32_t ConnectFailed = 30012;      // unreachable, reset during connect, ...
inline constexpr std::int32_t TimedOut = 30020;           // the send's deadline passed (stage named)
inline constexpr std::int32_t TlsHandshakeFailed = 30030;
inline constexpr std::int32_t CertificateRejected = 30031;  // HostCertificate answered Accept = False
inline constexpr std::int32_t TlsFailed = 30032;          // TLS read/write failure after the handshake
inline constexpr std::int32_t ConnectionClosed = 30040;   // peer closed before the response was complete
inline constexpr std::int32_t SocketFailed = 30041;       // read/write error on the socket
inline constexpr std::int32_t BadResponse = 30050;        // malformed status line or header
inline constexpr std::int32_t HeaderTooLarge = 30051;     // header section > 64 KiB
inline constexpr std::int32_t TooManyHeaders = 30052;     // > 100 header lines
inline constexpr std::int32_t BodyTooLarge = 30053;       // body > 1 MiB
inline constexpr std::int32_t BadChunk = 30054;           // malformed chunked framing
inline constexpr std::int32_t BadContentLength = 30055;   // malformed or conflicting Content-Length
inline constexpr std::int32_t TooManyRedirects = 30060;   // more than 10 hops
inline constexpr std::int32_t BadRedirect = 30061;        // a Location the client cannot follow
inline constexpr std::int32_t ProxyNotSupported = 30070;
inline constexpr std::int32_t ProxyConfig = 30071;        // port 0, empty host, over-long credentials
inline constexpr std::int32_t ProxyFailed = 30072;        // the proxy refused or broke the handshake
inline constexpr std::int32_t ProxyAuthFailed = 30073;    // the proxy refused the credentials

}  // namespace orbenix::http::error_numbers
