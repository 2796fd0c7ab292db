#pragma once
// HttpClient: our HTTP component (http_component.h). Options and the request
// are stored as they are set; Send validates them, then runs the exchange
// and its redirects under one deadline.
#include <string>

#include "engine/http/http_component.h"
#include "engine/http/limits.h"
#include "engine/http/proxy.h"
#include "engine/http/request_writer.h"
#include "engine/http/response.h"

namespace orbenix::http {

class HttpClient final : public HttpComponent {
public:
    explicit HttpClient(HttpEvents& events) : events_(events) {}

    void SetLogin(const std::u16string& login) override { login_ = login; }
    void SetBlocking(bool blocking) override { blocking_ = blocking; }
    void SetFollowRedirects(bool follow) override { follow_redirects_ = follow; }

    void AddHeader(const std::u16string& name, const Variant& value) override;
    void ClearFormFields() override { form_fields_.clear(); }
    void AddFormField(const std::u16string& name, const Variant& value) override;

    void SetHttpVersion(const std::u16string& version) override;

    void SetProxyKind(std::int32_t kind) override { proxy_.kind = kind; }
    void SetProxyHost(const std::u16string& host) override;
    void SetProxyPort(std::int32_t port) override { proxy_.port = port; }
    void SetProxyAuthentication(std::int32_t mode) override { proxy_.authenticate = mode != 0; }
    void SetProxyUsername(const std::u16string& user) override;
    void SetProxyPassword(const std::u16string& password) override;

    void SetUrl(const std::u16string& url) override { url_ = url; }
    void SetTimeoutSeconds(std::int32_t seconds) override;
    void SetCaFile(const std::string& path) override { ca_file_ = path; }
    void SetTlsSessionResumption(bool resume, bool verified_only) override {
        resume_tls_ = resume;
        verified_only_ = verified_only;
    }

    void Send() override;

    std::int16_t StatusCode() override { return static_cast<std::int16_t>(response_.status); }
    std::u16string StatusText() override;
    std::u16string Body() override;

private:
    Response Run();

    HttpEvents& events_;
    std::u16string login_;
    bool blocking_ = true;
    bool follow_redirects_ = true;
    HeaderList headers_;
    HeaderList form_fields_;
    std::string version_ = "HTTP/1.1";
    ProxySettings proxy_;
    std::u16string url_;
    std::int32_t timeout_seconds_ = limits::DefaultTimeoutSeconds;
    std::string ca_file_;
    bool resume_tls_ = false;
    bool verified_only_ = false;
    Response response_;
};

}  // namespace orbenix::http
