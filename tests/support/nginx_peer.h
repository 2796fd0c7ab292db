#pragma once
// The nginx that the ctest fixture "http_nginx" runs on 127.0.0.1
// (tests/support/nginx_fixture.sh): its ports and the private CA file.
// Tests that need it carry FIXTURES_REQUIRED http_nginx and skip when it is
// not running.
#include <cstdint>
#include <optional>
#include <string>

namespace orbenix::test {

struct NginxPeer {
    std::uint16_t http = 0;        // plain HTTP
    std::uint16_t good = 0;        // certificate for localhost/127.0.0.1 from the private CA
    std::uint16_t selfsigned = 0;  // self-signed certificate
    std::uint16_t expired = 0;     // CA-signed, expired
    std::uint16_t wrongname = 0;   // CA-signed, for wrong.invalid
    std::uint16_t tls12 = 0;       // "good", TLS 1.2 only, session IDs (no tickets)
    std::uint16_t tls13 = 0;       // "good", TLS 1.3 only, tickets
    std::string ca_file;           // the private CA, as a path this platform opens
    std::string tls_log;           // "port protocol r-or-. uri" per TLS request
};

// nullopt when the fixture has not started nginx.
std::optional<NginxPeer> FindNginxPeer();

// A path of the Linux side as the test program opens it ("Z:" prefix on Windows).
std::string NativePath(const std::string& linux_path);

}  // namespace orbenix::test
