// The local IPv4 lookup of SOCKS4 on POSIX.
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>
#include <memory>

#include "engine/http/proxy_address.h"

namespace orbenix::http::proxy {

Ipv4Lookup ResolveIpv4(const std::string& host) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int rc = getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (rc != 0) return {std::nullopt, gai_strerror(rc)};
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
