#include "tests/support/nginx_peer.h"

#include <fstream>
#include <map>

#ifndef ORBENIX_NGINX_STATE
#error "ORBENIX_NGINX_STATE must name the fixture's state directory"
#endif

namespace orbenix::test {

std::string NativePath(const std::string& linux_path) {
#ifdef _WIN32
    std::string path = "Z:" + linux_path;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
#else
    return linux_path;
#endif
}

std::optional<NginxPeer> FindNginxPeer() {
    std::ifstream file(NativePath(ORBENIX_NGINX_STATE "/nginx.env"));
    if (!file) return std::nullopt;
    std::map<std::string, std::string> values;
    for (std::string line; std::getline(file, line);) {
        if (const auto eq = line.find('='); eq != std::string::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
    }
    NginxPeer peer;
    try {
        peer.http = static_cast<std::uint16_t>(std::stoi(values.at("http")));
        peer.good = static_cast<std::uint16_t>(std::stoi(values.at("good")));
        peer.selfsigned = static_cast<std::uint16_t>(std::stoi(values.at("selfsigned")));
        peer.expired = static_cast<std::uint16_t>(std::stoi(values.at("expired")));
        peer.wrongname = static_cast<std::uint16_t>(std::stoi(values.at("wrongname")));
        peer.tls12 = static_cast<std::uint16_t>(std::stoi(values.at("tls12")));
        peer.tls13 = static_cast<std::uint16_t>(std::stoi(values.at("tls13")));
        peer.ca_file = NativePath(values.at("ca_file"));
        peer.tls_log = NativePath(values.at("tls_log"));
    } catch (const std::exception&) {
        return std::nullopt;
    }
    return peer;
}

}  // namespace orbenix::test
