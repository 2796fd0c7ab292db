// The local IPv4 lookup of SOCKS4 on Windows.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>
#include <memory>
#include <string>

#include "core/utf8.h"
#include "engine/http/proxy_address.h"
#include "engine/http/winsock_use_win32.h"

namespace orbenix::http::proxy {

Ipv4Lookup ResolveIpv4(const std::string& host) {
    WinsockUse winsock;
    if (!winsock.started()) return {std::nullopt, "Winsock could not be started"};
    // The name is UTF-8: looked up in UTF-16 so that no code page mangles it.
    const std::u16string wide = TextFromUtf8(host);
    ADDRINFOW hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    ADDRINFOW* found = nullptr;
    const int rc = GetAddrInfoW(reinterpret_cast<const wchar_t*>(wide.c_str()), nullptr, &hints, &found);
    if (rc != 0) return {std::nullopt, "lookup failed (Windows Sockets error " + std::to_string(rc) + ")"};
    const std::unique_ptr<ADDRINFOW, decltype(&FreeAddrInfoW)> owner(found, &FreeAddrInfoW);
    for (const ADDRINFOW* a = found; a; a = a->ai_next) {
        if (a->ai_family != AF_INET) continue;
        const auto* in = reinterpret_cast<const sockaddr_in*>(a->ai_addr);
        Ipv4 address;
        std::memcpy(address.data(), &in->sin_addr, 4);
        return {address, {}};
    }
    return {std::nullopt, "no IPv4 address"};
}

}  // namespace orbenix::http::proxy
