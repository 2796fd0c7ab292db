// SOCKS4 and SOCKS4a CONNECT.
//
//   request:  +----+----+----+----+----+----+----+----+----+----+....+----+
//             | VN | CD | DSTPORT |      DSTIP        | USERID       |NULL|  [HOST NUL] (4a)
//             +----+----+----+----+----+----+----+----+----+----+....+----+
//                1    1      2              4           variable       1
//   reply:    +----+----+----+----+----+----+----+----+
//             | VN | CD | DSTPORT |      DSTIP        |   VN 0, CD 90 = granted
//             +----+----+----+----+----+----+----+----+
#include <string>

#include "engine/http/http_component.h"
#include "engine/http/http_errors.h"
#include "engine/http/proxy_address.h"
#include "engine/http/proxy_handshake.h"

namespace orbenix::http::proxy {
namespace {

constexpr std::size_t kMaxName = 255;

std::string Socks4Reason(std::uint8_t code) {
    switch (code) {
    case 91: return "request rejected or failed";
    case 92: return "request rejected because the proxy cannot reach the identd on the client";
    case 93: return "request rejected because identd reported a different user id";
    default: return "unknown reply code";
    }
}

}  // namespace

void CheckSocksTarget(const ProxySettings& proxy, const Target& target, const Handshake& handshake) {
    const bool literal = ParseIpv4(target.host) || ParseIpv6(target.host);
    if (proxy.kind == ProxySocks4 && ParseIpv6(target.host)) {
        handshake.Fail(error_numbers::ProxyConfig,
                       "cannot reach " + handshake.target + ": SOCKS4 carries IPv4 addresses only");
    }
    if (!literal && target.host.size() > kMaxName) {
        handshake.Fail(error_numbers::ProxyConfig, "cannot take the host name of " + handshake.target + ": it is " +
                                                       std::to_string(target.host.size()) +
                                                       " bytes long, more than 255");
    }
    for (unsigned char c : target.host) {
        if (c <= 0x20 || c == 0x7f) {
            handshake.Fail(error_numbers::ProxyConfig,
                           "cannot take the host name of " + handshake.target + ": it contains a control character");
        }
    }
}

void OpenSocks4(Stream& stream, const ProxySettings& proxy, const Target& target, const Deadline& deadline,
                const Handshake& handshake) {
    const bool remote_name = proxy.kind == ProxySocks4a;
    Ipv4 address{0, 0, 0, 1};  // SOCKS4a: "resolve the name that follows"
    bool send_name = false;
    if (const auto literal = ParseIpv4(target.host)) {
        address = *literal;
    } else if (remote_name) {
        send_name = true;
    } else {
        const Ipv4Lookup found = ResolveIpv4(target.host);
        if (!found.address) {
            handshake.Fail(error_numbers::ResolveFailed, "needs an IPv4 address for " + handshake.target +
                                                             ", and the name did not resolve to one: " +
                                                             found.failure);
        }
        address = *found.address;
    }
    if (deadline.Expired()) {
        handshake.Fail(error_numbers::TimedOut, "was not asked in time: the name lookup for " + handshake.target +
                                                    " used up the time");
    }

    std::string request{4, 1, static_cast<char>(target.port >> 8), static_cast<char>(target.port & 0xff)};
    request.append(address.begin(), address.end());
    if (proxy.authenticate) request += proxy.username;
    request += '\0';  // the password has no place in SOCKS4
    if (send_name) {
        request += target.host;
        request += '\0';
    }
    stream.Write(request.data(), request.size(), deadline);

    std::uint8_t reply[8];
    ReadExact(stream, reply, 2, deadline, handshake, "reply");
    if (reply[0] != 0) {
        handshake.Fail(error_numbers::ProxyFailed, "answered with reply version " + std::to_string(reply[0]) +
                                                       " instead of 0 (connecting to " + handshake.target + ")");
    }
    if (reply[1] != 90) {
        handshake.Fail(error_numbers::ProxyFailed, "could not reach " + handshake.target + ": " +
                                                       Socks4Reason(reply[1]) + " (reply " +
                                                       std::to_string(reply[1]) + ")");
    }
    ReadExact(stream, reply + 2, 6, deadline, handshake, "reply");
}

}  // namespace orbenix::http::proxy
