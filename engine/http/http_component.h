#pragma once
// Our HTTP client component, as the check uses it: options, a request with
// headers and form fields, proxy settings, a blocking Send, and the response.
// Events arrive on the calling thread during Send. Every operation can fail
// with a numbered Error (engine/http/http_errors.h).
#include <cstdint>
#include <memory>
#include <string>

#include "core/variant.h"
#include "engine/http/certificate.h"

namespace orbenix::http {

// The component's events. Handlers run to completion before the exchange goes on.
class HttpEvents {
public:
    virtual ~HttpEvents() = default;
    virtual void Done(std::int32_t ErrorCode, const std::u16string& ErrorText) = 0;
    virtual void Disconnected(std::int32_t ErrorCode, const std::u16string& ErrorText) = 0;
    // `Accept` starts True when the certificate verified, False otherwise;
    // the value the handler leaves decides.
    virtual void HostCertificate(const Certificate& Cert, std::int32_t ErrorCode,
                                 const std::u16string& ErrorText, bool& Accept) = 0;
    // `Allow` starts True (redirects are followed by default).
    virtual void Redirect(std::u16string& URL, bool& Allow) = 0;
};

// Proxy kinds as the check sets them.
enum ProxyKind : std::int32_t {
    ProxyNone = 0,
    ProxySocks4 = 1,
    ProxySocks5 = 2,
    ProxyWebStandard = 3,  // HTTP CONNECT
    ProxyRelay = 4,        // absolute-form requests through an HTTP proxy
    ProxySocks4a = 5,
};

class HttpComponent {
public:
    virtual ~HttpComponent() = default;

    // The three leading options. Login: the user name for the panel's own
    // HTTP authentication ("" = none). Blocking: Send returns only when the
    // response is in (the only mode we offer; False is refused). FollowRedirects.
    virtual void SetLogin(const std::u16string& login) = 0;
    virtual void SetBlocking(bool blocking) = 0;
    virtual void SetFollowRedirects(bool follow) = 0;

    // Request.Headers.Add / Request.FormPost.Clear / Request.FormPost.Add.
    virtual void AddHeader(const std::u16string& name, const Variant& value) = 0;
    virtual void ClearFormFields() = 0;
    virtual void AddFormField(const std::u16string& name, const Variant& value) = 0;

    virtual void SetHttpVersion(const std::u16string& version) = 0;

    virtual void SetProxyKind(std::int32_t kind) = 0;
    virtual void SetProxyHost(const std::u16string& host) = 0;
    virtual void SetProxyPort(std::int32_t port) = 0;
    virtual void SetProxyAuthentication(std::int32_t mode) = 0;  // 0 off, 1 on
    virtual void SetProxyUsername(const std::u16string& user) = 0;
    virtual void SetProxyPassword(const std::u16string& password) = 0;

    virtual void SetUrl(const std::u16string& url) = 0;

    // The overall deadline of one Send, in seconds (default 60).
    virtual void SetTimeoutSeconds(std::int32_t seconds) = 0;
    // Extra trust anchors for verification (empty: the system's store).
    virtual void SetCaFile(const std::string& path) = 0;
    // Resume TLS sessions of earlier sends in this process (off by default:
    // every handshake a full one). `verified_only` tells that the certificate
    // handler refuses what does not verify, so a session whose certificate
    // was accepted unverified is never resumed for this send. Where the TLS
    // library keeps its own cache (Schannel) this changes nothing.
    virtual void SetTlsSessionResumption(bool resume, bool verified_only) = 0;

    // Transmits the request and returns when the response is in.
    virtual void Send() = 0;

    virtual std::int16_t StatusCode() = 0;
    virtual std::u16string StatusText() = 0;
    virtual std::u16string Body() = 0;
};

// A new component object whose events go to `events` (which must outlive it).
std::unique_ptr<HttpComponent> CreateHttpComponent(HttpEvents& events);

}  // namespace orbenix::http
