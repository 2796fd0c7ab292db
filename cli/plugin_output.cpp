#include "cli/plugin_output.h"

#include <charconv>

#include "core/json_string.h"
#include "core/utf8.h"
#include "engine/http/http_errors.h"
#include "params/numeric_value.h"

namespace orbenix::cli {
namespace {

constexpr std::u16string_view kOffline = u"VPS offline";
constexpr std::u16string_view kOtherState = u"Unknown VPS state ( ";
constexpr std::size_t kMaxTextUnits = 1000;

// The engine's text for an error of the HTTP component: "ERROR: " + number text + " (".
std::u16string TimedOutPrefix() {
    return u"ERROR: " + NumberText(http::error_numbers::TimedOut) + u" (";
}

std::u16string OneLine(std::u16string_view text) {
    std::u16string out;
    const bool cut = text.size() > kMaxTextUnits;
    if (cut) {
        text = text.substr(0, kMaxTextUnits);
        if (!text.empty() && text.back() >= 0xD800 && text.back() <= 0xDBFF) text.remove_suffix(1);
    }
    for (const char16_t c : text) {
        if (c < 0x20 || c == 0x7F) {
            out += u' ';
        } else if (c == u'|') {
            out += u'\u00A6';
        } else {
            out += c;
        }
    }
    if (cut) out += u"...";
    if (out.empty()) out = u"(no text)";
    return out;
}

}  // namespace

PluginState Classify(bool verdict, std::u16string_view result, PluginState timeout_state) {
    if (verdict) return PluginState::Ok;
    if (result == kOffline) return PluginState::Critical;
    // A named state; an empty name tells nothing about the server.
    if (result.starts_with(kOtherState) && result.size() > kOtherState.size() + 1) return PluginState::Critical;
    if (result.starts_with(TimedOutPrefix())) return timeout_state;
    return PluginState::Unknown;
}

const char* StateName(PluginState state) {
    switch (state) {
    case PluginState::Ok: return "OK";
    case PluginState::Warning: return "WARNING";
    case PluginState::Critical: return "CRITICAL";
    case PluginState::Unknown: break;
    }
    return "UNKNOWN";
}

std::string SecondsText(double seconds) {
    char buffer[64];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, seconds < 0 ? 0.0 : seconds,
                                   std::chars_format::fixed, 3);
    return std::string(buffer, end.ptr);
}

std::string PluginLine(PluginState state, std::u16string_view text, double seconds,
                       std::string_view more_perfdata) {
    return std::string("SOLUSVM ") + StateName(state) + " - " + Utf8FromText(OneLine(text)) +
           " | time=" + SecondsText(seconds) + "s;;;0" + std::string(more_perfdata) + "\n";
}

std::string JsonLine(bool verdict, std::u16string_view result, std::string_view more_keys) {
    return std::string("{\"verdict\": ") + (verdict ? "true" : "false") +
           ", \"result\": " + JsonString(Utf8FromText(result)) + std::string(more_keys) + "}\n";
}

}  // namespace orbenix::cli
