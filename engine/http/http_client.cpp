#include "engine/http/http_client.h"

#include "core/ansi_codepage.h"
#include "core/error.h"
#include "core/utf8.h"
#include "engine/http/deadline.h"
#include "engine/http/http_errors.h"
#include "engine/http/http_exchange.h"
#include "engine/http/limits.h"
#include "engine/http/url.h"
#include "params/base64.h"

namespace orbenix::http {
namespace {

// Received text: UTF-8 when it is valid UTF-8, else the ANSI code page.
std::u16string TextFromWire(const std::string& bytes) {
    return IsValidUtf8(bytes) ? TextFromUtf8(bytes) : TextFromAnsi(bytes);
}

bool IsRedirect(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// The form fields (API key and hash) and the login go only to the host the
// user configured, and never from https down to http.
bool MayCarrySecrets(const Url& configured, const Url& target) {
    return target.host == configured.host && (target.https || !configured.https);
}

}  // namespace

void HttpClient::AddHeader(const std::u16string& name, const Variant& value) {
    std::string name_bytes = Utf8FromText(name), value_bytes = Utf8FromText(value.ToText());
    ValidateHeader(name_bytes, value_bytes);
    headers_.emplace_back(std::move(name_bytes), std::move(value_bytes));
}

void HttpClient::AddFormField(const std::u16string& name, const Variant& value) {
    form_fields_.emplace_back(Utf8FromText(name), Utf8FromText(value.ToText()));
}

void HttpClient::SetHttpVersion(const std::u16string& version) {
    if (version != u"HTTP/1.1" && version != u"HTTP/1.0") {
        throw Error(error_numbers::BadOption, u"HTTP version \"" + version + u"\" is not supported (HTTP/1.1 or HTTP/1.0)");
    }
    version_ = Utf8FromText(version);
}

void HttpClient::SetProxyHost(const std::u16string& host) { proxy_.host = Utf8FromText(host); }
void HttpClient::SetProxyUsername(const std::u16string& user) { proxy_.username = Utf8FromText(user); }
void HttpClient::SetProxyPassword(const std::u16string& password) { proxy_.password = Utf8FromText(password); }

void HttpClient::SetTimeoutSeconds(std::int32_t seconds) {
    if (seconds < 1 || seconds > 86400) {
        throw Error(error_numbers::BadOption,
                    u"Timeout of " + TextFromUtf8(std::to_string(seconds)) + u" s is outside 1 to 86400 s");
    }
    timeout_seconds_ = seconds;
}

std::u16string HttpClient::StatusText() { return TextFromWire(response_.reason); }
std::u16string HttpClient::Body() { return TextFromWire(response_.body); }

void HttpClient::Send() {
    response_ = Response{};
    try {
        response_ = Run();
    } catch (const Error& e) {
        events_.Done(e.number(), e.description());
        throw;
    }
    events_.Done(0, u"");
}

Response HttpClient::Run() {
    if (!blocking_) throw Error(error_numbers::BadOption, u"Only blocking sends are supported");
    const Url configured = ParseUrl(url_);
    ValidateProxy(proxy_);
    const Deadline deadline{std::chrono::seconds(timeout_seconds_)};

    Exchange exchange{proxy_, TlsOptions{ca_file_, {}}, {}, {}, resume_tls_, verified_only_};
    exchange.accept_certificate = [this](const CertificateCheck& check) {
        bool accept = check.error_code == 0;
        events_.HostCertificate(check.certificate, check.error_code, check.error_text, accept);
        return accept;
    };
    exchange.connection_closed = [this](std::int32_t number, const std::u16string& text) {
        events_.Disconnected(number, text);
    };

    Request request{configured, form_fields_.empty() ? "GET" : "POST", version_, headers_, {}};
    for (int hop = 0;; ++hop) {
        const bool secrets = MayCarrySecrets(configured, request.url);
        request.headers = headers_;
        if (secrets && !login_.empty()) {
            request.headers.emplace_back("Authorization", "Basic " + Utf8FromText(Base64Encode(login_ + u":")));
        }
        request.body = request.method == "POST" && secrets ? EncodeFormFields(form_fields_) : std::string();

        Response response = Perform(exchange, request, deadline);
        const std::string* location = response.Header("Location");
        if (!follow_redirects_ || !IsRedirect(response.status) || location == nullptr) return response;
        if (hop == limits::RedirectHops) {
            throw Error(error_numbers::TooManyRedirects,
                        u"More than " + TextFromUtf8(std::to_string(limits::RedirectHops)) +
                            u" redirects; the last from " + TextFromUtf8(request.url.Text()) + u" to \"" +
                            TextFromWire(*location) + u"\"");
        }
        const Url next = ResolveLocation(request.url, *location);
        std::u16string target = TextFromUtf8(next.Text());
        const std::u16string offered = target;
        bool allow = true;
        events_.Redirect(target, allow);
        if (!allow) return response;
        request.url = target == offered ? next : ResolveLocation(request.url, Utf8FromText(target));
        // 303 always, and 301/302 after a POST, continue with a body-less GET
        // (what browsers do); 307 and 308 repeat the method and the body.
        if (response.status == 303 || ((response.status == 301 || response.status == 302) && request.method == "POST")) {
            request.method = "GET";
        }
    }
}

std::unique_ptr<HttpComponent> CreateHttpComponent(HttpEvents& events) {
    return std::make_unique<HttpClient>(events);
}

}  // namespace orbenix::http
