#pragma once
// Whether a listen address is reachable from this machine only.
#include <string_view>

namespace orbenix::exporter {

// True for 127.0.0.0/8, ::1 (also as ::ffff:127.x.x.x) and "localhost";
// false for the wildcard addresses, every other address and host name.
bool IsLoopbackHost(std::string_view host);

}  // namespace orbenix::exporter
