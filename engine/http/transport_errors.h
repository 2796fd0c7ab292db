#pragma once
// Texts of transport failures, shared by the POSIX and Winsock transports so
// that both platforms report alike.
#include <cstdint>
#include <string>

#include "core/error.h"
#include "engine/http/deadline.h"

namespace orbenix::http {

// "host:port", IPv6 literals in brackets.
std::string PeerText(const std::string& host, std::uint16_t port);

// "Timed out after 60 s connecting to host:port" and the like; `what` is
// the stage with its preposition ("connecting to").
Error TimedOutError(const Deadline& deadline, const std::string& what, const std::string& peer);
Error ResolveError(const std::string& host, const std::string& reason);
Error ConnectRefusedError(const std::string& peer);
Error ConnectError(const std::string& peer, const std::string& reason);
// Read or write failures after the connection was made.
Error SocketError(const std::string& what, const std::string& peer, const std::string& reason);

}  // namespace orbenix::http
