#pragma once
// What a granted SOCKS5 exchange is long (RFC 1928, RFC 1929): the method
// choice, the authentication status when user name and password were
// chosen, the reply's head, its bound address and port.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace orbenix::fuzz {

inline long GrantedSocks5Length(std::string_view b) {
    const auto at = [&](std::size_t i) { return i < b.size() ? static_cast<std::uint8_t>(b[i]) : 0; };
    std::size_t length = 2 + (at(1) == 2 ? 2 : 0) + 4;
    switch (at(length - 1)) {
    case 1: length += 4; break;
    case 4: length += 16; break;
    case 3: length += 1 + at(length); break;
    default: return -2;
    }
    return static_cast<long>(length + 2);
}

}  // namespace orbenix::fuzz
