#pragma once
// TLS over a connected stream. Backends: tls_openssl.cpp (Linux),
// tls_schannel.cpp (Windows). TLS 1.2 at least; SNI only for DNS names.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "engine/http/certificate.h"
#include "engine/http/stream.h"
#include "engine/http/tls_session_cache.h"

namespace orbenix::http {

// What the verification of the server's certificate found. error_code is 0
// when the certificate verified against the system's trust store (or the
// private CA file) for `host`.
struct CertificateCheck {
    Certificate certificate;
    std::int32_t error_code = 0;
    std::u16string error_text;
};

struct TlsOptions {
    std::string ca_file;  // empty: the system's trust store
    // Resume an earlier session made under this key, and keep this one's for
    // the next send (ProcessTlsSessions()); the backend fills in `sni`. None: every handshake is a full
    // one. The OpenSSL backend only; Schannel keeps its own cache.
    std::optional<TlsSessionKey> session_key;
};

// Performs the handshake and hands the verification result to `accept`;
// a False answer aborts with a numbered Error. Returns the encrypted stream.
// A resumed handshake offers the certificate and result the session was made
// with. A session is kept only when `accept` said True and, for a key with
// `verify`, the certificate verified.
std::unique_ptr<Stream> StartTls(std::unique_ptr<Stream> inner, const std::string& host,
                                 const TlsOptions& options, const Deadline& deadline,
                                 const std::function<bool(const CertificateCheck&)>& accept);

}  // namespace orbenix::http
