#include "engine/check_engine.h"

#include <vector>

#include "core/check_options.h"
#include "core/check_settings.h"
#include "core/error.h"
#include "core/numbered_steps.h"
#include "core/utf8.h"
#include "engine/debug_log.h"
#include "engine/give_tag.h"
#include "engine/temp_names.h"
#include "engine/usage_values.h"
#include "params/numeric_value.h"

namespace orbenix {
namespace {

using http::HttpComponent;

Flow Go(int line) { return Flow::Goto(line); }

template <typename Step>
std::function<Flow()> Then(Step step) {
    return [step]() {
        step();
        return Flow::Next();
    };
}

std::u16string Decimal(std::int64_t value) { return TextFromUtf8(std::to_string(value)); }

// Proxy type codes in the order they are compared, with the line each one
// goes to (that line sets the proxy kind).
struct ProxyTypeRow {
    const char16_t* code;
    int line;
};
constexpr ProxyTypeRow kProxyTypes[] = {
    {u"WST", 180}, {u"SOCKS4", 200}, {u"SOCKS4A", 220}, {u"SOCKS5", 240}, {u"RELAY", 260},
};
constexpr int kOtherProxyTypeLine = 280;

}  // namespace

std::u16string CheckErrorMessage(std::int32_t number, const std::u16string& description, int line) {
    return u"ERROR: " + NumberText(number) + u" (" + description + u")" + u" line: " +
           NumberText(line);
}

CheckEngine::CheckEngine(HttpComponentFactory factory) : factory_(std::move(factory)) {}
CheckEngine::~CheckEngine() = default;

HttpComponent& CheckEngine::Web() const {
    // A step after a passed-over failure at line 20 may find no object.
    if (!webapper_) throw Error(errors::ObjectNotSet);
    return *webapper_;
}

bool CheckEngine::DoCheck() {
    CheckSettings& settings = ThreadCheckSettings();
    bool verdict = false;
    std::u16string vmstat;

    auto proxy_kind_step = [this](std::int32_t kind) {
        return [this, kind] {
            Web().SetProxyKind(kind);
            return Go(300);
        };
    };

    // Every step runs at most once. `after_passed_over` is where a step that
    // failed with a passed-over error hands on: the step that follows it in
    // its own branch, the guarded branch for a failed test, or the return
    // that ends its branch.
    const std::vector<NumberedStep> steps = {
        // Error handling is on from here. A check never reports the reason
        // text an earlier check (perhaps of another object) left behind.
        {10, Then([&] {
             settings.LastMessage.clear();
             ThreadCheckOptions().usage_readings = {};
         })},
        {20, Then([&] {
             std::unique_ptr<HttpComponent> fresh = factory_(*this);
             const CheckOptions& options = ThreadCheckOptions();
             if (options.timeout_seconds) fresh->SetTimeoutSeconds(*options.timeout_seconds);
             if (!options.ca_file.empty()) fresh->SetCaFile(options.ca_file);
             if (options.resume_tls_sessions) fresh->SetTlsSessionResumption(true, options.verify_tls);
             webapper_ = std::move(fresh);  // releases the previous check's object
         })},
        {30, Then([&] { Web().SetLogin(u""); })},
        {40, Then([&] { Web().SetBlocking(true); })},
        {50, Then([&] { Web().SetFollowRedirects(true); })},
        {70, Then([&] { Web().AddHeader(u"Pragma", Variant(u"no-cache")); })},
        {80, Then([&] { Web().AddHeader(u"User-Agent", Variant(kUserAgent)); })},
        {90, Then([&] { Web().SetHttpVersion(u"HTTP/1.1"); })},
        {100, Then([&] { settings.ResponseTempFile = RandomTempFile(); })},
        {110, Then([&] { settings.RequestTempFile = RandomTempFile(); })},
        {120, Then([&] { DebugLog(u"[SOLUS CHECKER] Res Tempname: " + settings.ResponseTempFile); })},
        {130, Then([&] { DebugLog(u"[SOLUS CHECKER] Req Tempname: " + settings.RequestTempFile); })},
        {140, [&] { return settings.UseProxy ? Go(170) : Flow::Next(); }},
        {150, [&] {
             Web().SetProxyKind(http::ProxyNone);
             return Go(490);
         }, Go(490)},
        {170, [&] {
             for (const ProxyTypeRow& row : kProxyTypes) {
                 if (settings.ProxyType == row.code) return Go(row.line);
             }
             return Go(kOtherProxyTypeLine);
         }},
        {180, proxy_kind_step(http::ProxyWebStandard), Go(300)},
        {200, proxy_kind_step(http::ProxySocks4), Go(300)},
        {220, proxy_kind_step(http::ProxySocks4a), Go(300)},
        {240, proxy_kind_step(http::ProxySocks5), Go(300)},
        {260, proxy_kind_step(http::ProxyRelay), Go(300)},
        {280, proxy_kind_step(http::ProxyWebStandard)},
        {300, Then([&] { Web().SetProxyHost(settings.ProxyHost); })},
        {310, Then([&] { Web().SetProxyPort(settings.ProxyPort); })},
        {320, [&] { return settings.UseProxyAuthentication ? Go(350) : Flow::Next(); }},
        {330, [&] {
             Web().SetProxyAuthentication(0);
             return Go(490);
         }, Go(490)},
        {350, Then([&] { Web().SetProxyAuthentication(1); })},
        {360, Then([&] { Web().SetProxyUsername(settings.ProxyUsername); })},
        {370, Then([&] { Web().SetProxyPassword(settings.ProxyPassword); })},
        {490, Then([&] { Web().SetUrl(settings.SolusVMURL + kApiPath); })},
        {500, Then([&] { Web().ClearFormFields(); })},
        {510, Then([&] { Web().AddFormField(u"key", Variant(settings.APIKey)); })},
        {520, Then([&] { Web().AddFormField(u"hash", Variant(settings.APIHash)); })},
        {530, Then([&] { Web().AddFormField(u"action", Variant(u"info")); })},
        {540, Then([&] { Web().AddFormField(u"status", Variant(u"true")); })},
        // The usage values the caller asked for (none for the host's checks).
        {545, Then([&] {
             for (const UsageKind kind : kUsageKinds) {
                 if (!ThreadCheckOptions().usage_fields[UsageIndex(kind)]) continue;
                 Web().AddFormField(std::u16string(UsageTag(kind)), Variant(u"true"));
             }
         })},
        {550, Then([&] { Web().Send(); })},
        // Evaluation. A failed test goes on into the branch it guards.
        {560, [&] { return Web().StatusCode() != 200 ? Flow::Next() : Go(610); }},
        {570, Then([&] { verdict = false; })},
        {580, [&] {
             const std::u16string code = Decimal(Web().StatusCode());  // read first, as written
             settings.LastMessage = u"ERR: Returned code: " + code + u" (" + Web().StatusText() + u")";
             return Flow::Return();
         }, Flow::Return()},
        {610, [&] {
             return Web().Body().find(u"<status>error</status>") != std::u16string::npos
                        ? Flow::Next()
                        : Go(660);
         }},
        {620, Then([&] { verdict = false; })},
        {630, [&] {
             settings.LastMessage = GiveTag(Web().Body(), u"statusmsg");
             return Flow::Return();
         }, Flow::Return()},
        {660, [&] {
             return Web().Body().find(u"<status>success</status>") != std::u16string::npos
                        ? Flow::Next()
                        : Go(760);
         }},
        {670, Then([&] { vmstat = GiveTag(Web().Body(), u"vmstat"); })},
        {680, [&] { return vmstat == u"online" ? Flow::Next() : Go(700); }},
        {685, Then([&] {
             // The usage values asked for, read from the online server's answer.
             CheckOptions& options = ThreadCheckOptions();
             if (options.usage_fields == UsageFields{}) return;
             const std::u16string body = Web().Body();
             for (const UsageKind kind : kUsageKinds) {
                 const std::size_t i = UsageIndex(kind);
                 if (options.usage_fields[i]) options.usage_readings[i] = ReadUsage(body, kind);
             }
         })},
        {690, [&] {
             verdict = true;
             return Flow::Return();
         }},
        {700, [&] { return vmstat == u"offline" ? Flow::Next() : Go(730); }},
        {710, Then([&] { verdict = false; })},
        {720, [&] {
             settings.LastMessage = u"VPS offline";
             return Flow::Return();
         }, Flow::Return()},
        // Any other state (panels report suspended servers as "disabled") is
        // named rather than left without a reason.
        {730, [&] {
             settings.LastMessage = u"Unknown VPS state ( " + vmstat + u")";
             return Flow::Return();
         }, Flow::Return()},
        {760, Then([&] { verdict = false; })},
        {770, Then([&] { settings.LastMessage = u"Unknown ( " + Web().Body() + u")"; })},
        {780, Then([&] { webapper_.reset(); })},
        {790, Then([] {})},  // error handling off
        {800, [] { return Flow::Return(); }},
    };

    RunNumberedSteps(steps, [&](const Error& error, int line) {
        if (IsPassedOver(error.number())) return TrapDecision::PassOver;
        verdict = false;
        settings.LastMessage = CheckErrorMessage(error.number(), error.description(), line);
        DebugLog(u"[SOLUS CHECKER] " + settings.LastMessage);
        return TrapDecision::Return;
    });
    return verdict;
}

void CheckEngine::Done(std::int32_t, const std::u16string&) {}

void CheckEngine::Disconnected(std::int32_t, const std::u16string&) {}

void CheckEngine::HostCertificate(const http::Certificate&, std::int32_t, const std::u16string&,
                                  bool& Accept) {
    // The panel's certificate is accepted whatever it is, unless the caller
    // (orbenix-check on request) wants only certificates that verify; the
    // component starts `Accept` as the verification result.
    if (!ThreadCheckOptions().verify_tls) Accept = true;
}

void CheckEngine::Redirect(std::u16string& URL, bool&) {
    DebugLog(u"[webapp] - Redirect " + URL);
}

}  // namespace orbenix
