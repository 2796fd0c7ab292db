#pragma once
// The server certificate as the HostCertificate event offers it.
#include <string>

namespace orbenix::http {

struct Certificate {
    std::u16string subject;
    std::u16string issuer;
    std::u16string not_before;  // as the TLS library prints it
    std::u16string not_after;
    std::string der;            // the encoded certificate
};

}  // namespace orbenix::http
