#pragma once
// A stand-in for the HTTP component: it records every operation the check
// makes, in order, answers with a scripted response, raises chosen errors at
// chosen operations, and offers scripted events during Send.
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/utf8.h"
#include "engine/check_engine.h"

namespace orbenix::testing {

struct StandInScript {
    std::int16_t status = 200;
    std::u16string status_text = u"OK";
    std::u16string body;
    // Operation name -> error raised; `on_call` 0 = every call, n = only the n-th.
    struct Failure {
        Error error;
        int on_call = 0;
    };
    std::multimap<std::string, Failure> failures;
    // Events offered during Send.
    std::vector<std::u16string> redirects;
    std::optional<bool> certificate_verified;  // offer a certificate
    std::function<void()> on_send;              // runs when Send starts
};

// What happened while the stand-in was in use (shared by all its objects).
struct StandInJournal {
    std::vector<std::string> operations;  // "SetLogin()", "AddHeader(Pragma, no-cache)", ...
    int created = 0;
    int destroyed = 0;
    std::optional<bool> certificate_accepted;
    std::vector<std::u16string> redirect_urls_after;  // URL as the handler left it
    std::vector<bool> redirect_allowed_after;
};

class StandInComponent final : public http::HttpComponent {
public:
    StandInComponent(const StandInScript& script, StandInJournal& journal, http::HttpEvents& events)
        : script_(script), journal_(journal), events_(events) {
        ++journal_.created;
    }
    ~StandInComponent() override { ++journal_.destroyed; }

    void SetLogin(const std::u16string& v) override { Op("SetLogin(" + U8(v) + ")"); }
    void SetBlocking(bool v) override { Op(std::string("SetBlocking(") + B(v) + ")"); }
    void SetFollowRedirects(bool v) override { Op(std::string("SetFollowRedirects(") + B(v) + ")"); }
    void AddHeader(const std::u16string& n, const Variant& v) override {
        Op("AddHeader(" + U8(n) + ", " + U8(v.ToText()) + ")");
    }
    void ClearFormFields() override { Op("ClearFormFields()"); }
    void AddFormField(const std::u16string& n, const Variant& v) override {
        Op("AddFormField(" + U8(n) + ", " + U8(v.ToText()) + ")");
    }
    void SetHttpVersion(const std::u16string& v) override { Op("SetHttpVersion(" + U8(v) + ")"); }
    void SetProxyKind(std::int32_t v) override { Op("SetProxyKind(" + std::to_string(v) + ")"); }
    void SetProxyHost(const std::u16string& v) override { Op("SetProxyHost(" + U8(v) + ")"); }
    void SetProxyPort(std::int32_t v) override { Op("SetProxyPort(" + std::to_string(v) + ")"); }
    void SetProxyAuthentication(std::int32_t v) override {
        Op("SetProxyAuthentication(" + std::to_string(v) + ")");
    }
    void SetProxyUsername(const std::u16string& v) override { Op("SetProxyUsername(" + U8(v) + ")"); }
    void SetProxyPassword(const std::u16string& v) override { Op("SetProxyPassword(" + U8(v) + ")"); }
    void SetUrl(const std::u16string& v) override { Op("SetUrl(" + U8(v) + ")"); }
    void SetTimeoutSeconds(std::int32_t v) override { Op("SetTimeoutSeconds(" + std::to_string(v) + ")"); }
    void SetCaFile(const std::string& v) override { Op("SetCaFile(" + v + ")"); }
    void SetTlsSessionResumption(bool resume, bool verified_only) override {
        Op(std::string("SetTlsSessionResumption(") + B(resume) + ", " + B(verified_only) + ")");
    }

    void Send() override {
        Op("Send()");
        if (script_.on_send) script_.on_send();
        if (script_.certificate_verified) {
            bool accept = *script_.certificate_verified;
            events_.HostCertificate(http::Certificate{}, accept ? 0 : 18,
                                    accept ? u"" : u"self-signed certificate", accept);
            journal_.certificate_accepted = accept;
        }
        for (std::u16string url : script_.redirects) {
            bool allow = true;
            events_.Redirect(url, allow);
            journal_.redirect_urls_after.push_back(url);
            journal_.redirect_allowed_after.push_back(allow);
        }
        events_.Done(0, u"");
    }
    std::int16_t StatusCode() override {
        Op("StatusCode()");
        return script_.status;
    }
    std::u16string StatusText() override {
        Op("StatusText()");
        return script_.status_text;
    }
    std::u16string Body() override {
        Op("Body()");
        return script_.body;
    }

private:
    static std::string U8(const std::u16string& t) { return Utf8FromText(t); }
    static const char* B(bool v) { return v ? "true" : "false"; }

    void Op(std::string text) {
        const std::string name = text.substr(0, text.find('('));
        journal_.operations.push_back(std::move(text));
        const int call = ++calls_[name];
        auto [first, last] = script_.failures.equal_range(name);
        for (auto it = first; it != last; ++it) {
            if (it->second.on_call == 0 || it->second.on_call == call) throw it->second.error;
        }
    }

    const StandInScript& script_;
    StandInJournal& journal_;
    http::HttpEvents& events_;
    std::map<std::string, int> calls_;
};

// A factory making stand-ins that follow `script` and write to `journal`
// (both must outlive the engine).
inline HttpComponentFactory StandInFactory(const StandInScript& script, StandInJournal& journal) {
    return [&script, &journal](http::HttpEvents& events) -> std::unique_ptr<http::HttpComponent> {
        return std::make_unique<StandInComponent>(script, journal, events);
    };
}

// A factory that cannot create the component.
inline HttpComponentFactory FailingFactory(Error error) {
    return [error](http::HttpEvents&) -> std::unique_ptr<http::HttpComponent> { throw error; };
}

}  // namespace orbenix::testing
