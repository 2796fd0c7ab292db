#include "exporter/probe.h"

#include <chrono>

#include "component/vexarel.h"
#include "core/check_options.h"
#include "core/error.h"
#include "core/utf8.h"

namespace orbenix::exporter {
namespace {

constexpr std::u16string_view kOffline = u"VPS offline";
constexpr std::u16string_view kOtherState = u"Unknown VPS state ( ";
constexpr std::u16string_view kEngineError = u"ERROR:";
constexpr std::u16string_view kHttpStatus = u"ERR: Returned code: ";
constexpr std::u16string_view kRuntimeError = u"ERR: ";
constexpr std::u16string_view kUnknownAnswer = u"Unknown ( ";

// The number at the start of `text` after blanks ("  30011 (..." gives "30011").
std::string LeadingNumber(std::u16string_view text) {
    while (!text.empty() && text.front() == u' ') text.remove_prefix(1);
    std::string digits;
    if (!text.empty() && text.front() == u'-') {
        digits += '-';
        text.remove_prefix(1);
    }
    while (!text.empty() && text.front() >= u'0' && text.front() <= u'9') {
        digits += static_cast<char>(text.front());
        text.remove_prefix(1);
    }
    return digits == "-" ? "" : digits;
}

// "ERR: " + description + "(" + line + ")": the number whose standard description it is.
std::string RuntimeErrorNumber(std::u16string_view rest) {
    const std::size_t open = rest.rfind(u'(');
    const std::u16string_view description = rest.substr(0, open == std::u16string_view::npos ? rest.size() : open);
    for (const std::int32_t number : {errors::InvalidProcedureCall, errors::Overflow, errors::OutOfMemory,
                                      errors::TypeMismatch, errors::InternalError, errors::ObjectNotSet,
                                      errors::InvalidUseOfNull, errors::CantCreateObject,
                                      errors::NotSupportedByObject}) {
        if (StandardDescription(number) == description) return std::to_string(number);
    }
    return "0";
}

}  // namespace

ProbeResult ClassifyCheck(bool verdict, std::u16string_view text) {
    ProbeResult result;
    result.text = std::u16string(text);
    if (verdict) {
        result.success = result.up = true;
        return result;
    }
    if (text == kOffline || (text.starts_with(kOtherState) && text.size() > kOtherState.size() + 1)) {
        result.success = true;
        return result;
    }
    ProbeFailure failure{"0", "panel"};
    if (text.starts_with(kEngineError)) {
        const std::string number = LeadingNumber(text.substr(kEngineError.size()));
        failure = {number.empty() ? "0" : number, "engine"};
    } else if (text.starts_with(kHttpStatus)) {
        const std::string number = LeadingNumber(text.substr(kHttpStatus.size()));
        failure = {number.empty() ? "0" : number, "http"};
    } else if (text.starts_with(kRuntimeError)) {
        failure = {RuntimeErrorNumber(text.substr(kRuntimeError.size())), "runtime"};
    } else if (text.starts_with(kUnknownAnswer)) {
        failure.kind = "answer";
    }
    result.failure = failure;
    return result;
}

ProbeResult RunProbe(const Target& target, int deadline_seconds, std::unique_ptr<CheckForm> form) {
    CheckOptions& options = ThreadCheckOptions();
    options = CheckOptions{};
    options.timeout_seconds = deadline_seconds;
    options.usage_fields = target.usage;
    options.verify_tls = target.verify_tls;
    options.ca_file = target.ca_file;
    options.resume_tls_sessions = true;  // many probes of the same panels in one process

    Vexarel object(std::move(form));
    object.qv_parameter = target.parameter;
    const auto start = std::chrono::steady_clock::now();
    const bool verdict = object.qv_docheck();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ProbeResult result = ClassifyCheck(verdict, object.qv_result.ToText());
    result.seconds = seconds;
    if (result.up) result.usage = ThreadCheckOptions().usage_readings;
    return result;
}

}  // namespace orbenix::exporter
