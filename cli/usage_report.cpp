#include "cli/usage_report.h"

#include <charconv>

#include "core/utf8.h"

namespace orbenix::cli {
namespace {

int Severity(PluginState state) {
    switch (state) {
    case PluginState::Ok: return 0;
    case PluginState::Unknown: return 1;
    case PluginState::Warning: return 2;
    case PluginState::Critical: break;
    }
    return 3;
}

PluginState Worse(PluginState a, PluginState b) { return Severity(b) > Severity(a) ? b : a; }

std::string RangeText(const std::optional<ThresholdRange>& range) { return range ? range->text : ""; }

}  // namespace

std::string PercentText(double percent) {
    char buffer[64];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, percent, std::chars_format::fixed, 2).ptr;
    std::string text(buffer, end);
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
    return text;
}

UsageReport EvaluateUsage(PluginState status, const UsageRequest& request, const UsageReadings& readings) {
    UsageReport report{status, u"", ""};
    if (status != PluginState::Ok) return report;
    std::string text;
    for (const UsageKind kind : kUsageKinds) {
        const std::size_t i = UsageIndex(kind);
        if (!request.asked[i]) continue;
        const UsageThresholds& limits = request.thresholds[i];
        const std::string word(UsageWord(kind));
        const std::optional<UsageReading>& reading = readings[i];
        if (!reading || !reading->values) {
            const std::string why = reading ? reading->problem : "no value read";
            if (limits.warning || limits.critical) {
                report.state = Worse(report.state, PluginState::Unknown);
                text += ", " + word + " unknown: " + why;
            } else {
                text += ", " + word + " missing: " + why;
            }
            continue;
        }
        const UsageValues& v = *reading->values;
        const std::string tag = Utf8FromText(UsageTag(kind));
        report.perfdata += " " + tag + "_used=" + std::to_string(v.used) + "B;;;0;" + std::to_string(v.total) + " " +
                           tag + "_pct=" + PercentText(v.percent) + "%;" + RangeText(limits.warning) + ";" +
                           RangeText(limits.critical) + ";0;100";
        const char* level = nullptr;
        const ThresholdRange* crossed = nullptr;
        if (limits.critical && Alerts(*limits.critical, v.percent)) {
            level = "critical";
            crossed = &*limits.critical;
            report.state = Worse(report.state, PluginState::Critical);
        } else if (limits.warning && Alerts(*limits.warning, v.percent)) {
            level = "warning";
            crossed = &*limits.warning;
            report.state = Worse(report.state, PluginState::Warning);
        }
        if (crossed) {
            text += ", " + word + " " + PercentText(v.percent) + "% used (" + level + " " +
                    DescribeRange(*crossed) + ")";
        }
    }
    report.text = TextFromUtf8(text);
    return report;
}

std::string UsageJson(const UsageRequest& request, const UsageReadings& readings) {
    std::string json = ", \"usage\": {";
    bool first = true;
    for (const UsageKind kind : kUsageKinds) {
        const std::size_t i = UsageIndex(kind);
        if (!request.asked[i]) continue;
        json += (first ? "\"" : ", \"") + Utf8FromText(UsageTag(kind)) + "\": ";
        first = false;
        const std::optional<UsageReading>& reading = readings[i];
        if (!reading || !reading->values) {
            json += "null";
            continue;
        }
        const UsageValues& v = *reading->values;
        json += "{\"total\": " + std::to_string(v.total) + ", \"used\": " + std::to_string(v.used) +
                ", \"free\": " + std::to_string(v.free) + ", \"percent\": " + PercentText(v.percent) + "}";
    }
    return json + "}";
}

}  // namespace orbenix::cli
