#pragma once
// Pieces the proxy handshakes share: who talks to whom (for error texts),
// exact reads, and the protocol entry points. Internal to engine/http.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "engine/http/deadline.h"
#include "engine/http/proxy.h"
#include "engine/http/stream.h"

namespace orbenix::http::proxy {

// "host:port", IPv6 literals in brackets.
std::string HostPort(std::string_view host, std::uint16_t port);

// The proxy host without the brackets a user may have typed around an IPv6 literal.
std::string BareHost(const std::string& host);

// "SOCKS5 proxy", "SOCKS4a proxy", "Proxy" (web standard and relay).
std::string KindLabel(std::int32_t kind);

// The parties of one handshake, named in every error it raises.
struct Handshake {
    std::string proxy;   // "SOCKS5 proxy 127.0.0.1:1080"
    std::string target;  // "panel.example:5656"
    // Raises Error(number, proxy + " " + text).
    [[noreturn]] void Fail(std::int32_t number, const std::string& text) const;
};

Handshake DescribeHandshake(const ProxySettings& proxy, const Target& target);

// Reads exactly `size` bytes of the proxy's reply (`what` names it for the
// error when the proxy closes early).
void ReadExact(Stream& stream, std::uint8_t* buffer, std::size_t size, const Deadline& deadline,
               const Handshake& handshake, const char* what);

// The status and raw reason of an "HTTP/1.x SSS reason" line at the start of `head`.
bool ParseStatusLine(std::string_view head, int& status, std::string& reason);

// Printable ASCII of a reason phrase, at most 80 characters.
std::string CleanReason(std::string_view reason);

// "Basic " + Base64 of "user:password" in UTF-8.
std::string BasicCredentials(const ProxySettings& proxy);

// The handshakes, each on an open connection to the proxy. They raise
// ProxyFailed / ProxyAuthFailed / ProxyConfig with texts naming proxy and target.
void OpenHttpTunnel(Stream& stream, const ProxySettings& proxy, const Target& target,
                    const Deadline& deadline, const Handshake& handshake);
void OpenSocks4(Stream& stream, const ProxySettings& proxy, const Target& target,
                const Deadline& deadline, const Handshake& handshake);
void OpenSocks5(Stream& stream, const ProxySettings& proxy, const Target& target,
                const Deadline& deadline, const Handshake& handshake);

// The connection to a relay proxy for an http target: failures on it name
// the proxy and the target (proxy_relay.cpp).
std::unique_ptr<Stream> RelayConnection(std::unique_ptr<Stream> stream, const ProxySettings& proxy,
                                        const Target& target, const Handshake& handshake);

// Target checks that need no network (name lengths, address families);
// they run before the proxy is contacted.
void CheckTarget(const ProxySettings& proxy, const Target& target, const Handshake& handshake);

}  // namespace orbenix::http::proxy
