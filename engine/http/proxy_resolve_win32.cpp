// The local IPv4 lookup of SOCKS4 on Windows.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>
#include <memory>

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
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int rc = getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (rc != 0) return {std::nullopt, "lookup failed (error " + std::to_string(rc) + ")"};
    const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> owner(found, &freeaddrinfo);
    for (const addrinfo* a = found; a; a = a->ai_next) {
        if (a->ai_family != AF_INET) continue;
        const auto* in = reinterpret_cast<const sockaddr_in*>(a->ai_addr);
        Ipv4 address;
        std::memcpy(address.data(), &in->sin_addr, 4);
        return {address, {}};
    }
    return {std::nullopt, "no IPv4 address"};
}

}  // namespace orbenix::http::proxy
