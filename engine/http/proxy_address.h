#pragma once
// Address literals and the local IPv4 lookup SOCKS4 needs.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orbenix::http::proxy {

using Ipv4 = std::array<std::uint8_t, 4>;
using Ipv6 = std::array<std::uint8_t, 16>;

// Dotted decimal, exactly four parts of 0-255.
std::optional<Ipv4> ParseIpv4(std::string_view text);
// RFC 4291 text forms, "::" and a trailing dotted IPv4 included; no zone.
std::optional<Ipv6> ParseIpv6(std::string_view text);

struct Ipv4Lookup {
    std::optional<Ipv4> address;
    std::string failure;  // why there is none, for the error text
};

// The first IPv4 address of `host` from the system resolver.
// Implemented per platform: proxy_resolve_posix.cpp / proxy_resolve_win32.cpp.
Ipv4Lookup ResolveIpv4(const std::string& host);

}  // namespace orbenix::http::proxy
