// SOCKS5 CONNECT (RFC 1928) with user name and password (RFC 1929).
//
//   greeting:  | VER 5 | NMETHODS | METHODS... |     choice: | VER 5 | METHOD |
//   auth:      | 1 | ULEN | UNAME | PLEN | PASSWD |  status: | VER 1 | STATUS 0=ok |
//   request:   | VER 5 | CMD 1 | RSV 0 | ATYP | DST.ADDR | DST.PORT |
//   reply:     | VER 5 | REP | RSV | ATYP | BND.ADDR | BND.PORT |
//              ATYP 1: 4 bytes, 3: 1 length byte + name, 4: 16 bytes
#include <string>

#include "engine/http/http_errors.h"
#include "engine/http/proxy_address.h"
#include "engine/http/proxy_handshake.h"

namespace orbenix::http::proxy {
namespace {

constexpr char kNoAuth = 0x00;
constexpr char kUserPassword = 0x02;
constexpr std::uint8_t kNoAcceptable = 0xff;

std::string Socks5Reason(std::uint8_t code) {
    switch (code) {
    case 1: return "general SOCKS server failure";
    case 2: return "connection not allowed by ruleset";
    case 3: return "network unreachable";
    case 4: return "host unreachable";
    case 5: return "connection refused";
    case 6: return "TTL expired";
    case 7: return "command not supported";
    case 8: return "address type not supported";
    default: return "unassigned reply code";
    }
}

void Authenticate(Stream& stream, const ProxySettings& proxy, const Deadline& deadline,
                  const Handshake& handshake) {
    std::string request{1, static_cast<char>(proxy.username.size())};
    request += proxy.username;
    request += static_cast<char>(proxy.password.size());
    request += proxy.password;
    stream.Write(request.data(), request.size(), deadline);

    std::uint8_t status[2];
    ReadExact(stream, status, 2, deadline, handshake, "authentication status");
    if (status[0] != 1 && status[0] != 5) {
        handshake.Fail(error_numbers::ProxyFailed, "answered the authentication with version " +
                                                       std::to_string(status[0]) + " instead of 1 (connecting to " +
                                                       handshake.target + ")");
    }
    if (status[1] != 0) {
        handshake.Fail(error_numbers::ProxyAuthFailed,
                       "refused the credentials (status " + std::to_string(status[1]) + ")");
    }
}

void ChooseMethod(Stream& stream, const ProxySettings& proxy, const Deadline& deadline,
                  const Handshake& handshake) {
    const std::string greeting = proxy.authenticate ? std::string{5, 2, kNoAuth, kUserPassword}
                                                    : std::string{5, 1, kNoAuth};
    stream.Write(greeting.data(), greeting.size(), deadline);

    std::uint8_t choice[2];
    ReadExact(stream, choice, 2, deadline, handshake, "method choice");
    if (choice[0] != 5) {
        handshake.Fail(error_numbers::ProxyFailed, "answered with version " + std::to_string(choice[0]) +
                                                       " instead of 5 (connecting to " + handshake.target + ")");
    }
    if (choice[1] == kNoAuth) return;
    if (choice[1] == kUserPassword && proxy.authenticate) {
        Authenticate(stream, proxy, deadline, handshake);
        return;
    }
    if (choice[1] == kNoAcceptable) {
        handshake.Fail(error_numbers::ProxyAuthFailed,
                       proxy.authenticate ? "accepted neither no authentication nor user name and password"
                                          : "requires authentication, and none is set");
    }
    handshake.Fail(error_numbers::ProxyFailed, "chose authentication method " + std::to_string(choice[1]) +
                                                   ", which was not offered (connecting to " + handshake.target +
                                                   ")");
}

std::string ConnectRequest(const Target& target) {
    std::string request{5, 1, 0};
    if (const auto v4 = ParseIpv4(target.host)) {
        request += '\x01';
        request.append(v4->begin(), v4->end());
    } else if (const auto v6 = ParseIpv6(target.host)) {
        request += '\x04';
        request.append(v6->begin(), v6->end());
    } else {
        request += '\x03';  // the proxy resolves the name (length checked beforehand)
        request += static_cast<char>(target.host.size());
        request += target.host;
    }
    request += static_cast<char>(target.port >> 8);
    request += static_cast<char>(target.port & 0xff);
    return request;
}

}  // namespace

void OpenSocks5(Stream& stream, const ProxySettings& proxy, const Target& target, const Deadline& deadline,
                const Handshake& handshake) {
    ChooseMethod(stream, proxy, deadline, handshake);

    const std::string request = ConnectRequest(target);
    stream.Write(request.data(), request.size(), deadline);

    std::uint8_t reply[4];
    ReadExact(stream, reply, 2, deadline, handshake, "reply");
    if (reply[0] != 5) {
        handshake.Fail(error_numbers::ProxyFailed, "answered with version " + std::to_string(reply[0]) +
                                                       " instead of 5 (connecting to " + handshake.target + ")");
    }
    if (reply[1] != 0) {
        handshake.Fail(error_numbers::ProxyFailed, "could not reach " + handshake.target + ": " +
                                                       Socks5Reason(reply[1]) + " (reply " +
                                                       std::to_string(reply[1]) + ")");
    }
    ReadExact(stream, reply + 2, 2, deadline, handshake, "reply");
    std::size_t rest = 0;  // the bound address and port, read exactly so the tunnel starts clean
    switch (reply[3]) {
    case 1: rest = 4 + 2; break;
    case 4: rest = 16 + 2; break;
    case 3: {
        std::uint8_t length = 0;
        ReadExact(stream, &length, 1, deadline, handshake, "reply");
        rest = length + 2u;
        break;
    }
    default:
        handshake.Fail(error_numbers::ProxyFailed, "answered with unknown address type " +
                                                       std::to_string(reply[3]) + " (connecting to " +
                                                       handshake.target + ")");
    }
    std::uint8_t bound[257];
    ReadExact(stream, bound, rest, deadline, handshake, "reply");
}

}  // namespace orbenix::http::proxy
