#pragma once
// The way to the target: directly, or through one of the five proxy kinds.
//   web standard (3): CONNECT host:port for http and https targets; any 2xx
//     opens the tunnel; 407 and 401 are refused credentials; Basic
//     credentials on the CONNECT only.
//   relay (4): absolute-form requests with Proxy-Authorization on each for
//     http targets; a CONNECT tunnel for https.
//   SOCKS4 (1): IPv4 only, names looked up here; the user name as USERID,
//     never the password. SOCKS4a (5): the name goes to the proxy.
//   SOCKS5 (2): no authentication or user name/password; names as names;
//     names over 255 bytes refused.
// Errors: ProxyConfig (settings or a target the protocol cannot carry,
// raised before anything is sent), ProxyFailed (the proxy refused or broke
// the handshake), ProxyAuthFailed (credentials refused or missing),
// TimedOut (the handshake ran past the send's deadline), and the transport's
// connect errors retold with proxy and target. Descriptions name the proxy,
// the target and the reason; never a user name or password.
#include <cstdint>
#include <memory>
#include <string>

#include "engine/http/deadline.h"
#include "engine/http/stream.h"

namespace orbenix::http {

struct ProxySettings {
    std::int32_t kind = 0;     // ProxyKind (http_component.h)
    std::string host;          // UTF-8
    std::int32_t port = 0;
    bool authenticate = false;  // authentication mode 1
    std::string username;       // UTF-8; never logged, never in a message
    std::string password;
};

struct Target {
    std::string host;  // UTF-8; IPv6 literal without brackets
    std::uint16_t port = 0;
    bool https = false;
};

// Checks the settings before anything is sent (port 0, empty host, over-long
// credentials, unknown kind); raises a numbered Error naming the proxy.
void ValidateProxy(const ProxySettings& proxy);

// Opens the stream on which TLS (for https) and HTTP to the target are spoken:
// a direct TCP connection, a CONNECT tunnel or a SOCKS connection. For a relay
// proxy and an http target it is the connection to the proxy itself.
std::unique_ptr<Stream> ConnectThrough(const ProxySettings& proxy, const Target& target,
                                       const Deadline& deadline);

// True when requests go to the proxy in absolute form ("POST http://host:port/path").
bool UsesAbsoluteForm(const ProxySettings& proxy, const Target& target);

// The "Proxy-Authorization" value for absolute-form requests ("" when none).
std::string ProxyAuthorization(const ProxySettings& proxy);

// For absolute-form requests: raises ProxyAuthFailed / ProxyFailed when the
// answer is the relay proxy's own refusal rather than the target's answer
// (407; or 401 and 5xx that carry no "Via", which every forwarded answer has).
void CheckRelayAnswer(const ProxySettings& proxy, const Target& target, int status, const std::string& reason,
                      bool has_via);

}  // namespace orbenix::http
