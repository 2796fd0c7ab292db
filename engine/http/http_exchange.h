#pragma once
// One request and its response over one connection: the way to the target
// (directly or through the proxy), TLS for https, the request, the response.
#include <functional>
#include <string>

#include "engine/http/deadline.h"
#include "engine/http/proxy.h"
#include "engine/http/request_writer.h"
#include "engine/http/response.h"
#include "engine/http/tls.h"
#include "engine/http/url.h"

namespace orbenix::http {

struct Exchange {
    const ProxySettings& proxy;
    TlsOptions tls;
    std::function<bool(const CertificateCheck&)> accept_certificate;
    // After an established connection ends: 0 and "" or the error that ended it.
    std::function<void(std::int32_t, const std::u16string&)> connection_closed;
    // TLS session resumption (TlsOptions::session_key, filled per target).
    bool resume_tls = false;
    bool verified_only = false;
};

struct Request {
    Url url;
    std::string method;   // "POST" or "GET"
    std::string version;  // "HTTP/1.1"
    HeaderList headers;   // validated already
    std::string body;
};

// Raises a numbered Error; a deadline that passes is reported with the stage.
Response Perform(const Exchange& exchange, const Request& request, const Deadline& deadline);

}  // namespace orbenix::http
