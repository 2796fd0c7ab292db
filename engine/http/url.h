#pragma once
// Request URLs: http and https with a host (DNS name, IPv4 or [IPv6]), an
// optional port and a path with query. Relative redirect targets resolve
// against the URL they came from.
#include <cstdint>
#include <string>

namespace orbenix::http {

struct Url {
    bool https = false;
    std::string host;         // lower case; IPv6 literal without brackets
    std::uint16_t port = 0;   // the scheme's default when the URL names none
    std::string target;       // path and query, at least "/"

    bool IsIpv6() const { return host.find(':') != std::string::npos; }
    // "host" or "host:port" for the Host header (port only when not the default).
    std::string HostHeader() const;
    // "host:port" (IPv6 in brackets) for messages.
    std::string Authority() const;
    // The whole URL, e.g. "https://panel.example:5656/api".
    std::string Text() const;
};

// Raises BadUrl for no or an unknown scheme, an empty host, a bad port,
// credentials, spaces or control characters. `text` is UTF-16.
Url ParseUrl(const std::u16string& text);

// Resolves a Location value (absolute, scheme-relative, absolute path,
// relative path or query only) against `base`. Raises BadRedirect.
Url ResolveLocation(const Url& base, const std::string& location);

}  // namespace orbenix::http
