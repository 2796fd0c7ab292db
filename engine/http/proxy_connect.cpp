// The way to the target: checks the proxy settings, connects to the proxy
// (or the target) and runs the handshake of the proxy kind.
#include "core/error.h"
#include "core/utf8.h"
#include "engine/http/http_component.h"
#include "engine/http/http_errors.h"
#include "engine/http/proxy.h"
#include "engine/http/proxy_handshake.h"

namespace orbenix::http {
namespace {

constexpr std::size_t kMaxCredential = 255;  // SOCKS5 limit, applied to every kind

bool UsesHttpProxy(std::int32_t kind) { return kind == ProxyWebStandard || kind == ProxyRelay; }

[[noreturn]] void ConfigError(const ProxySettings& proxy, const std::string& text) {
    std::string where = proxy::KindLabel(proxy.kind);
    const std::string host = proxy::BareHost(proxy.host);
    if (!host.empty() && proxy.port > 0 && proxy.port <= 65535) {
        where += " " + proxy::HostPort(host, static_cast<std::uint16_t>(proxy.port));
    } else if (!host.empty()) {
        where += " " + host;
    }
    throw Error(error_numbers::ProxyConfig, TextFromUtf8(where + ": " + text));
}

// The transport's errors, told as what they mean for the handshake.
[[noreturn]] void RethrowInHandshake(const Error& e, const proxy::Handshake& handshake) {
    const std::string cause = Utf8FromText(e.description());
    if (e.number() == error_numbers::TimedOut) {
        throw Error(error_numbers::TimedOut, TextFromUtf8("Timed out in the handshake with " + handshake.proxy +
                                                          " for " + handshake.target));
    }
    if (e.number() == error_numbers::SocketFailed || e.number() == error_numbers::ConnectionClosed) {
        handshake.Fail(error_numbers::ProxyFailed, "broke the handshake for " + handshake.target + ": " + cause);
    }
    throw e;
}

std::string LowerFirst(std::string text) {
    if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z' && text.starts_with("Proxy")) text[0] = 'p';
    return text;
}

}  // namespace

void ValidateProxy(const ProxySettings& proxy) {
    if (proxy.kind == ProxyNone) return;
    if (proxy.kind < ProxySocks4 || proxy.kind > ProxySocks4a) {
        throw Error(error_numbers::ProxyNotSupported,
                    u"Proxy kind " + TextFromUtf8(std::to_string(proxy.kind)) + u" is not supported");
    }
    if (proxy::BareHost(proxy.host).empty()) ConfigError(proxy, "no proxy host is set");
    if (proxy.port <= 0 || proxy.port > 65535) {
        ConfigError(proxy, "the proxy port " + std::to_string(proxy.port) + " is not between 1 and 65535");
    }
    if (!proxy.authenticate) return;
    if (proxy.username.size() > kMaxCredential) ConfigError(proxy, "the proxy user name is longer than 255 bytes");
    if (proxy.password.size() > kMaxCredential) ConfigError(proxy, "the proxy password is longer than 255 bytes");
    if (UsesHttpProxy(proxy.kind) && proxy.username.find(':') != std::string::npos) {
        ConfigError(proxy, "the proxy user name contains \":\", which Basic authentication cannot carry");
    }
    if ((proxy.kind == ProxySocks4 || proxy.kind == ProxySocks4a) &&
        proxy.username.find('\0') != std::string::npos) {
        ConfigError(proxy, "the proxy user name contains a NUL character");
    }
    if (proxy.kind == ProxySocks5 && proxy.username.empty()) {
        ConfigError(proxy, "SOCKS5 authentication needs a user name");
    }
}

std::unique_ptr<Stream> ConnectThrough(const ProxySettings& proxy, const Target& target,
                                       const Deadline& deadline) {
    ValidateProxy(proxy);
    if (proxy.kind == ProxyNone) return ConnectTcp(target.host, target.port, deadline);

    const proxy::Handshake handshake = proxy::DescribeHandshake(proxy, target);
    proxy::CheckTarget(proxy, target, handshake);

    std::unique_ptr<Stream> stream;
    try {
        stream = ConnectTcp(proxy::BareHost(proxy.host), static_cast<std::uint16_t>(proxy.port), deadline);
    } catch (const Error& e) {
        throw Error(e.number(), TextFromUtf8("Could not connect to " + LowerFirst(handshake.proxy) + " (for " +
                                             handshake.target + "): " + Utf8FromText(e.description())));
    }
    try {
        switch (proxy.kind) {
        case ProxySocks4:
        case ProxySocks4a: proxy::OpenSocks4(*stream, proxy, target, deadline, handshake); break;
        case ProxySocks5: proxy::OpenSocks5(*stream, proxy, target, deadline, handshake); break;
        case ProxyWebStandard: proxy::OpenHttpTunnel(*stream, proxy, target, deadline, handshake); break;
        case ProxyRelay:
            if (!target.https) return proxy::RelayConnection(std::move(stream), proxy, target, handshake);
            proxy::OpenHttpTunnel(*stream, proxy, target, deadline, handshake);
            break;
        }
    } catch (const Error& e) {
        if (e.number() == error_numbers::ProxyFailed || e.number() == error_numbers::ProxyAuthFailed ||
            e.number() == error_numbers::ProxyConfig || e.number() == error_numbers::ResolveFailed) {
            throw;
        }
        RethrowInHandshake(e, handshake);
    }
    return stream;
}

bool UsesAbsoluteForm(const ProxySettings& proxy, const Target& target) {
    return proxy.kind == ProxyRelay && !target.https;
}

std::string ProxyAuthorization(const ProxySettings& proxy) {
    if (proxy.kind != ProxyRelay || !proxy.authenticate) return {};
    return proxy::BasicCredentials(proxy);
}

}  // namespace orbenix::http
