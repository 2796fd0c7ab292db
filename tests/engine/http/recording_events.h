#pragma once
// HttpEvents that record every event and answer as the test sets.
#include <optional>
#include <string>
#include <vector>

#include "engine/http/http_component.h"

namespace orbenix::http::testing {

class RecordingEvents : public HttpEvents {
public:
    struct Outcome {
        std::int32_t code;
        std::u16string text;
    };
    struct CertificateSeen {
        Certificate cert;
        std::int32_t code;
        std::u16string text;
        bool accept_offered;
    };

    void Done(std::int32_t code, const std::u16string& text) override { done.push_back({code, text}); }
    void Disconnected(std::int32_t code, const std::u16string& text) override {
        disconnected.push_back({code, text});
    }
    void HostCertificate(const Certificate& cert, std::int32_t code, const std::u16string& text, bool& accept) override {
        certificates.push_back({cert, code, text, accept});
        if (accept_certificates) accept = *accept_certificates;
    }
    void Redirect(std::u16string& url, bool& allow) override {
        redirects.push_back(url);
        if (allow_redirects_after && static_cast<int>(redirects.size()) > *allow_redirects_after) allow = false;
        if (rewrite_redirect) url = *rewrite_redirect;
    }

    // The check's own handler accepts every certificate.
    std::optional<bool> accept_certificates = true;
    // Allow only this many redirects; later ones get Allow = False.
    std::optional<int> allow_redirects_after;
    std::optional<std::u16string> rewrite_redirect;

    std::vector<Outcome> done, disconnected;
    std::vector<CertificateSeen> certificates;
    std::vector<std::u16string> redirects;
};

}  // namespace orbenix::http::testing
