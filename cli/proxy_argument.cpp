#include "cli/proxy_argument.h"

#include <array>

namespace orbenix::cli {
namespace {

struct ProxyType {
    std::u16string_view scheme;
    int type_index;
};

constexpr std::array kTypes = {
    ProxyType{u"web", 0}, ProxyType{u"socks4", 1}, ProxyType{u"socks4a", 2},
    ProxyType{u"socks5", 3}, ProxyType{u"relay", 4},
};

std::u16string Lower(std::u16string_view text) {
    std::u16string out(text);
    for (char16_t& c : out) {
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    }
    return out;
}

ArgumentError Bad(const std::string& why) {
    return ArgumentError{"--proxy needs TYPE://HOST:PORT (" + why + ")"};
}

}  // namespace

std::variant<ProxyArgument, ArgumentError> ParseProxyArgument(std::u16string_view text) {
    const auto separator = text.find(u"://");
    if (separator == std::u16string_view::npos) return Bad("no TYPE://");
    const std::u16string scheme = Lower(text.substr(0, separator));
    ProxyArgument proxy;
    bool known = false;
    for (const auto& type : kTypes) {
        if (scheme == type.scheme) {
            proxy.type_index = type.type_index;
            known = true;
        }
    }
    if (!known) return Bad("TYPE is web, relay, socks4, socks4a or socks5");

    std::u16string_view rest = text.substr(separator + 3);
    if (rest.ends_with(u'/')) rest.remove_suffix(1);
    if (rest.find(u'@') != std::u16string_view::npos) {
        return ArgumentError{"--proxy takes no user or password: use --proxy-user and --proxy-password-file"};
    }
    std::u16string_view port_text;
    if (rest.starts_with(u'[')) {
        const auto close = rest.find(u']');
        if (close == std::u16string_view::npos || close == 1) return Bad("unclosed [IPv6 address]");
        proxy.host = std::u16string(rest.substr(1, close - 1));
        rest = rest.substr(close + 1);
        if (!rest.starts_with(u':')) return Bad("no :PORT");
        port_text = rest.substr(1);
    } else {
        const auto colon = rest.rfind(u':');
        if (colon == std::u16string_view::npos) return Bad("no :PORT");
        proxy.host = std::u16string(rest.substr(0, colon));
        port_text = rest.substr(colon + 1);
        if (proxy.host.find(u':') != std::u16string::npos) return Bad("write an IPv6 address in brackets");
    }
    if (proxy.host.empty()) return Bad("no HOST");
    for (const char16_t c : proxy.host) {
        if (c == u'#' || c == u'/' || c <= u' ') return Bad("HOST holds a character a host name cannot hold");
    }
    if (port_text.empty() || port_text.size() > 5) return Bad("PORT is 1 to 65535");
    for (const char16_t c : port_text) {
        if (c < u'0' || c > u'9') return Bad("PORT is 1 to 65535");
        proxy.port = proxy.port * 10 + (c - u'0');
    }
    if (proxy.port < 1 || proxy.port > 65535) return Bad("PORT is 1 to 65535");
    return proxy;
}

}  // namespace orbenix::cli
