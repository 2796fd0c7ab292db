#pragma once
// The plugin's view of the usage values: which ones to ask for with which
// thresholds, and what they add to the state, the text, the performance data
// and the --json object.
#include <array>
#include <optional>
#include <string>

#include "cli/arguments.h"
#include "engine/threshold_range.h"
#include "core/usage_readings.h"

namespace orbenix::cli {

struct UsageThresholds {
    std::optional<ThresholdRange> warning;
    std::optional<ThresholdRange> critical;
};

struct UsageRequest {
    UsageFields asked{};  // --usage asks for all three
    std::array<UsageThresholds, kUsageKinds.size()> thresholds{};

    bool Any() const { return asked != UsageFields{}; }
};

struct UsageReport {
    PluginState state = PluginState::Ok;
    std::u16string text;    // appended to the check's text: ", bandwidth 91.2% used (critical above 90)"
    std::string perfdata;   // appended to "time=...": " bw_used=...B;;;0;... bw_pct=...%;...;...;0;100"
};

// Nothing is added unless the status check passed (`status` OK): then each
// asked-for value is judged against its thresholds. A crossed threshold is
// WARNING or CRITICAL; a value the panel left out or garbled is UNKNOWN when
// a threshold needs it, else named as missing. The worst state wins, in the
// order OK < UNKNOWN < WARNING < CRITICAL.
UsageReport EvaluateUsage(PluginState status, const UsageRequest& request, const UsageReadings& readings);

// ", \"usage\": {\"bw\": {\"total\": ..., \"used\": ..., \"free\": ..., \"percent\": ...}, \"hdd\": null}"
// for the asked-for values (null: not read, missing or garbled).
std::string UsageJson(const UsageRequest& request, const UsageReadings& readings);

// "91.2", "37.5", "50": two decimals at most, "." whatever the locale.
std::string PercentText(double percent);

}  // namespace orbenix::cli
