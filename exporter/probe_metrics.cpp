#include "exporter/probe_metrics.h"

#include "exporter/exposition.h"

namespace orbenix::exporter {
namespace {

void UsageMetrics(Exposition& out, const ProbeResult& result) {
    for (const UsageKind kind : kUsageKinds) {
        const auto& reading = result.usage[UsageIndex(kind)];
        if (!reading || !reading->values) continue;
        const UsageValues& values = *reading->values;
        const std::string stem = "solusvm_" + std::string(UsageWord(kind));
        const std::string word(UsageWord(kind));
        out.Family(stem + "_used_bytes", "gauge", "The " + word + " the server has used, as the panel tells it.");
        out.Sample(stem + "_used_bytes", values.used);
        out.Family(stem + "_total_bytes", "gauge", "The " + word + " the server may use, as the panel tells it.");
        out.Sample(stem + "_total_bytes", values.total);
        out.Family(stem + "_used_ratio", "gauge", "The share of its " + word + " the server has used (0 to 1).");
        out.Sample(stem + "_used_ratio", values.percent / 100.0);
    }
}

// 1 for each configured range the value's percent lies in alerting.
void RangeMetrics(Exposition& out, const Target& target, const ProbeResult& result) {
    bool started = false;
    for (const UsageKind kind : kUsageKinds) {
        const UsageRanges& ranges = target.ranges[UsageIndex(kind)];
        const auto& reading = result.usage[UsageIndex(kind)];
        if (!reading || !reading->values) continue;
        for (const auto& [range, level] : {std::pair{&ranges.warning, "warning"}, std::pair{&ranges.critical, "critical"}}) {
            if (!*range) continue;
            if (!started) {
                out.Family("solusvm_usage_out_of_range", "gauge",
                           "1 when a usage value's percent alerts against the target's configured range.");
                started = true;
            }
            out.Sample("solusvm_usage_out_of_range", Alerts(**range, reading->values->percent) ? 1.0 : 0.0,
                       {{"usage", std::string(UsageWord(kind))}, {"level", level}, {"range", (*range)->text}});
        }
    }
}

}  // namespace

std::string ProbeMetrics(const Target& target, const ProbeResult& result) {
    Exposition out;
    out.Family("solusvm_probe_success", "gauge", "1 when the panel told the server's state, 0 when the check failed.");
    out.Sample("solusvm_probe_success", result.success ? 1.0 : 0.0);
    if (result.success) {
        out.Family("solusvm_up", "gauge", "1 when the panel reports the server online, 0 when it is not.");
        out.Sample("solusvm_up", result.up ? 1.0 : 0.0);
    }
    out.Family("solusvm_probe_duration_seconds", "gauge", "How long the check took.");
    out.Sample("solusvm_probe_duration_seconds", result.seconds);
    if (result.up) {
        UsageMetrics(out, result);
        RangeMetrics(out, target, result);
    }
    if (result.failure) {
        out.Family("solusvm_probe_error_info", "gauge", "Why the check failed: the error's number and its kind.");
        out.Sample("solusvm_probe_error_info", 1.0, {{"number", result.failure->number}, {"kind", result.failure->kind}});
    }
    return out.text();
}

}  // namespace orbenix::exporter
