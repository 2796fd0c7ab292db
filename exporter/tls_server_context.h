#pragma once
// The OpenSSL context of the exporter's TLS listener, made from the web
// configuration: certificate and key, protocol versions, and the client
// certificate policy (with the allowed subject alternative names).
#include <memory>
#include <string>
#include <variant>

#include "exporter/web_config.h"

struct ssl_ctx_st;  // OpenSSL's SSL_CTX

namespace orbenix::exporter {

struct SslContextFree {
    void operator()(ssl_ctx_st* context) const;
};
using SslContextPtr = std::unique_ptr<ssl_ctx_st, SslContextFree>;

// A server context, or errors "FILE:LINE: what is wrong" that name the line
// of `web_config_file` whose file is bad (no certificate, a key that does not
// fit the certificate, a CA file with no certificate in it, ...).
std::variant<SslContextPtr, ConfigErrors> BuildTlsServerContext(const TlsServerConfig& config,
                                                                const std::string& web_config_file);

}  // namespace orbenix::exporter
