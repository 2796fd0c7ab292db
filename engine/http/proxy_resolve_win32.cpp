// The local IPv4 lookup of SOCKS4 on Windows.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>
#include <memory>
#include <string>

#include "engine/http/proxy_address.h"

namespace orbenix::http::proxy {
namespace {

// Winsock stays usable for the lookup whatever the transport did before.
class WinsockUse {
public:
    WinsockUse() { ok_ = WSAStartup(MAKEWORD(2, 2), &data_) == 0; }
    ~WinsockUse() {
        if (ok_) WSACleanup();
    }
    WinsockUse(const WinsockUse&) = delete;
    WinsockUse& operator=(const WinsockUse&) = delete;
    bool ok() const { return ok_; }

private:
    WSADATA data_{};
    bool ok_ = false;
};

}  // namespace

Ipv4Lookup ResolveIpv4(const std::string& host) {
    WinsockUse winsock;
    if (!winsock.ok()) return {std::nullopt, "Winsock could not be started"};
    // The name is UTF-8: looked up in UTF-16 so that no code page mangles it.
    const int length = MultiByteToWideChar(CP_UTF8, 0, host.data(), static_cast<int>(host.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) {
        MultiByteToWideChar(CP_UTF8, 0, host.data(), static_cast<int>(host.size()), wide.data(), length);
    }
    ADDRINFOW hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    ADDRINFOW* found = nullptr;
    const int rc = GetAddrInfoW(wide.c_str(), nullptr, &hints, &found);
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
