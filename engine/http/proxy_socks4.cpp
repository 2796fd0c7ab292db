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
#include "engine/http/within_deadline.h"

namespace orbenix::http::proxy {
namespace {

std::string Socks4Reason(std::uint8_t code) {
    switch (code) {
    case 91: return "request rejected or failed";
    case 92: return "request rejected because the proxy cannot reach the identd on the client";
    case 93: return "request rejected because identd reported a different user id";
    default: return "unknown reply code";
    }
}


}  // namespace

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
        const std::optional<Ipv4Lookup> found =
            RunWithinDeadline([host = target.host] { return ResolveIpv4(host); }, deadline);
        if (!found) {
            handshake.Fail(error_numbers::TimedOut, "was not asked in time: looking up " + handshake.target +
                                                        " here took longer than the time left");
        }
        if (!found->address) {
            handshake.Fail(error_numbers::ResolveFailed, "needs an IPv4 address for " + handshake.target +
                                                             ", and the name did not resolve to one: " +
                                                             found->failure);
        }
        address = *found->address;
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
