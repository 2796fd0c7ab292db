// What the proxy handshakes share: names for error texts, exact reads and
// the Basic credentials.
#include "engine/http/proxy_handshake.h"

#include "core/error.h"
#include "core/utf8.h"
#include "engine/http/http_component.h"
#include "engine/http/http_errors.h"
#include "engine/http/proxy_address.h"

namespace orbenix::http::proxy {

constexpr std::size_t kMaxSocksName = 255;  // SOCKS5's length byte; SOCKS4a takes the same bound

std::string HostPort(std::string_view host, std::uint16_t port) {
    // Very long names are shortened in texts; the handshake itself never shortens.
    constexpr std::size_t shown = 80;
    std::string name(host.substr(0, shown));
    if (host.size() > shown) name += "...";
    if (name.find(':') != std::string::npos) name = "[" + name + "]";
    return name + ":" + std::to_string(port);
}

std::string BareHost(const std::string& host) {
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') return host.substr(1, host.size() - 2);
    return host;
}

std::string KindLabel(std::int32_t kind) {
    switch (kind) {
    case ProxySocks4: return "SOCKS4 proxy";
    case ProxySocks4a: return "SOCKS4a proxy";
    case ProxySocks5: return "SOCKS5 proxy";
    default: return "Proxy";
    }
}

void Handshake::Fail(std::int32_t number, const std::string& text) const {
    throw Error(number, TextFromUtf8(proxy + " " + text));
}

Handshake DescribeHandshake(const ProxySettings& proxy, const Target& target) {
    const auto port = static_cast<std::uint16_t>(proxy.port);
    return {KindLabel(proxy.kind) + " " + HostPort(BareHost(proxy.host), port),
            HostPort(target.host, target.port)};
}

void CheckTarget(const ProxySettings& proxy, const Target& target, const Handshake& handshake) {
    for (unsigned char c : target.host) {
        if (c <= 0x20 || c == 0x7f) {
            handshake.Fail(error_numbers::ProxyConfig,
                           "cannot take the host name of " + handshake.target + ": it contains a control character");
        }
    }
    if (proxy.kind == ProxyWebStandard || proxy.kind == ProxyRelay) return;
    const bool literal = ParseIpv4(target.host) || ParseIpv6(target.host);
    if (proxy.kind == ProxySocks4 && ParseIpv6(target.host)) {
        handshake.Fail(error_numbers::ProxyConfig,
                       "cannot reach " + handshake.target + ": SOCKS4 carries IPv4 addresses only");
    }
    if (!literal && target.host.size() > kMaxSocksName) {
        handshake.Fail(error_numbers::ProxyConfig, "cannot take the host name of " + handshake.target + ": it is " +
                                                       std::to_string(target.host.size()) +
                                                       " bytes long, more than 255");
    }
}

void ReadExact(Stream& stream, std::uint8_t* buffer, std::size_t size, const Deadline& deadline,
               const Handshake& handshake, const char* what) {
    std::size_t have = 0;
    while (have < size) {
        const std::size_t got = stream.Read(buffer + have, size - have, deadline);
        if (got == 0) {
            handshake.Fail(error_numbers::ProxyFailed,
                           "closed the connection after " + std::to_string(have) + " of " +
                               std::to_string(size) + " bytes of its " + what + " (connecting to " +
                               handshake.target + ")");
        }
        have += got;
    }
}

namespace {

std::string Base64(std::string_view bytes) {
    static constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = bytes.size() - i < 3 ? bytes.size() - i : 3;
        std::uint32_t group = static_cast<std::uint8_t>(bytes[i]) << 16;
        if (n > 1) group |= static_cast<std::uint8_t>(bytes[i + 1]) << 8;
        if (n > 2) group |= static_cast<std::uint8_t>(bytes[i + 2]);
        out += alphabet[group >> 18 & 63];
        out += alphabet[group >> 12 & 63];
        out += n > 1 ? alphabet[group >> 6 & 63] : '=';
        out += n > 2 ? alphabet[group & 63] : '=';
    }
    return out;
}

}  // namespace

std::string BasicCredentials(const ProxySettings& proxy) {
    return "Basic " + Base64(proxy.username + ":" + proxy.password);
}

}  // namespace orbenix::http::proxy
