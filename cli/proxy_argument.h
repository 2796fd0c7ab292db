#pragma once
// The --proxy argument, TYPE://HOST:PORT, as the settings dialog's proxy
// fields. Errors never repeat the argument: a mistyped one may hold a password.
#include <string>
#include <string_view>
#include <variant>

#include "cli/arguments.h"

namespace orbenix::cli {

struct ProxyArgument {
    int type_index = 0;  // the dialog's list index: 0 web, 1 socks4, 2 socks4a, 3 socks5, 4 relay
    std::u16string host;  // an IPv6 address without its brackets
    int port = 0;
};

// TYPE is web, relay, socks4, socks4a or socks5 (any letter case); HOST a
// name, an IPv4 address or [IPv6]; PORT 1 to 65535. One trailing "/" is allowed.
std::variant<ProxyArgument, ArgumentError> ParseProxyArgument(std::u16string_view text);

}  // namespace orbenix::cli
