#pragma once
// Verification of the server's certificate for the Schannel backend: the
// chain to a trusted root (the system's, or the CA file's certificates), the
// SSL policy with the host name, and the fields the HostCertificate event
// shows. Windows-only.
#include <string>

#include "engine/http/deadline.h"
#include "engine/http/schannel_handles.h"
#include "engine/http/tls.h"

namespace orbenix::http {

// A memory store with the certificates of a PEM file. Raises a numbered
// Error naming the file when it cannot be read or holds none.
CertStore LoadCaFile(const std::string& path);

// True when `host` is an IPv4 or IPv6 address literal.
bool IsAddressLiteral(const std::string& host);

// Checks `server` (with the intermediates the server sent in its store) for
// `host`. `ca_store` null: the system's roots; else only its certificates
// are trusted as anchors. Fetches the chain engine makes (missing issuers,
// root updates) wait no longer than the deadline leaves.
CertificateCheck VerifyServerCertificate(const CERT_CONTEXT& server, const std::string& host,
                                         HCERTSTORE ca_store, const Deadline& deadline);

}  // namespace orbenix::http
