#include "engine/http/transport_errors.h"

#include "core/utf8.h"
#include "engine/http/http_errors.h"

namespace orbenix::http {

std::string PeerText(const std::string& host, std::uint16_t port) {
    const bool ipv6 = host.find(':') != std::string::npos;
    return (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

Error TimedOutError(const Deadline& deadline, const std::string& what, const std::string& peer) {
    const auto seconds = std::to_string((deadline.budget().count() + 999) / 1000);
    return Error(error_numbers::TimedOut, TextFromUtf8("Timed out after " + seconds + " s " + what + " " + peer));
}

Error ResolveError(const std::string& host, const std::string& reason) {
    return Error(error_numbers::ResolveFailed, TextFromUtf8("Cannot resolve host name " + host + ": " + reason));
}

Error ConnectRefusedError(const std::string& peer) {
    return Error(error_numbers::ConnectionRefused, TextFromUtf8("Connection refused by " + peer));
}

Error ConnectError(const std::string& peer, const std::string& reason) {
    return Error(error_numbers::ConnectFailed, TextFromUtf8("Cannot connect to " + peer + ": " + reason));
}

Error SocketError(const std::string& what, const std::string& peer, const std::string& reason) {
    return Error(error_numbers::SocketFailed, TextFromUtf8(what + " " + peer + " failed: " + reason));
}

}  // namespace orbenix::http
