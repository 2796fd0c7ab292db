#include "exporter/listen_address.h"

#include <arpa/inet.h>

#include <cstring>
#include <string>

namespace orbenix::exporter {

bool IsLoopbackHost(std::string_view host) {
    if (host == "localhost") return true;
    const std::string text(host);
    in_addr v4{};
    if (inet_pton(AF_INET, text.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6{};
    if (inet_pton(AF_INET6, text.c_str(), &v6) != 1) return false;
    if (IN6_IS_ADDR_LOOPBACK(&v6)) return true;
    return IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127;
}

}  // namespace orbenix::exporter
