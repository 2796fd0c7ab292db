#pragma once
// The subject alternative names of a client certificate, as client_allowed_sans
// compares them: DNS names, e-mail addresses and URIs as written, IP addresses
// in their usual text (192.0.2.1, 2001:db8::1).
#include <string>
#include <vector>

struct x509_st;  // OpenSSL's X509

namespace orbenix::exporter {

std::vector<std::string> SubjectAltNames(const x509_st* certificate);

// True when one of the certificate's names is exactly one of `allowed`.
bool HasAllowedName(const x509_st* certificate, const std::vector<std::string>& allowed);

}  // namespace orbenix::exporter
