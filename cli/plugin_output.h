#pragma once
// What orbenix-check tells the monitoring system: the state (its exit code)
// decided from the verdict and the result text, and the one output line.
#include <string>
#include <string_view>

#include "cli/arguments.h"

namespace orbenix::cli {

// OK when the verdict is True. CRITICAL when the panel reports the server
// "VPS offline" or in another named state ("Unknown VPS state ( disabled)").
// The timeout state for the HTTP component's timeout ("ERROR:  30020 (...").
// UNKNOWN for everything else: "ERR:" and "ERROR:" texts, "Unknown ( ...)"
// answers, an empty state name, the panel's own message, an empty text.
PluginState Classify(bool verdict, std::u16string_view result, PluginState timeout_state);

const char* StateName(PluginState state);

// "SOLUSVM <STATE> - <text> | time=<seconds>s;;;0" and a line feed. The text
// is kept on one line: control characters become blanks, "|" (which would
// start the performance data) becomes U+00A6, and a text longer than 1000
// characters is cut and ends in "...". Numbers in the C locale.
// `more_perfdata` (" label=value...", already well-formed) follows the time.
std::string PluginLine(PluginState state, std::u16string_view text, double seconds,
                       std::string_view more_perfdata = {});

// {"verdict": true|false, "result": "<text>"} and a line feed; `more_keys`
// (", \"key\": value...") goes before the closing brace.
std::string JsonLine(bool verdict, std::u16string_view result, std::string_view more_keys = {});

// The seconds with three decimals and "." whatever the locale.
std::string SecondsText(double seconds);

}  // namespace orbenix::cli
