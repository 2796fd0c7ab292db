// libFuzzer target: the panel's usage values and the plugin's threshold
// ranges. The first line is a range, the rest a panel answer (UTF-8). A
// reading holds either sound values (percent 0..100, or above 100 only for a
// server over its quota, as used / total gives it) or a problem that names
// its element; never both, never neither.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "cli/threshold_range.h"
#include "core/utf8.h"
#include "engine/usage_values.h"

namespace {

void CheckReading(const orbenix::UsageReading& reading, orbenix::UsageKind kind,
                  const orbenix::cli::ThresholdRange* range) {
    if (reading.values.has_value() == !reading.problem.empty()) std::abort();
    if (!reading.values) {
        const std::u16string_view tag = orbenix::UsageTag(kind);
        if (reading.problem.compare(1, tag.size(), std::string(tag.begin(), tag.end())) != 0) std::abort();
        return;
    }
    const orbenix::UsageValues& v = *reading.values;
    const auto in_percent = [](double p) { return p >= 0 && p <= 100; };
    if (v.used <= v.total) {
        if (!in_percent(v.percent) || !in_percent(v.panel_percent)) std::abort();
    } else {
        const bool panel_follows = in_percent(v.panel_percent) || std::abs(v.panel_percent - v.percent) < 1.01;
        if (v.total == 0 || v.percent < 100 || !panel_follows) std::abort();
    }
    if (range) (void)orbenix::cli::Alerts(*range, v.percent);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::size_t split = text.find('\n');
    const auto range = orbenix::cli::ParseRange(orbenix::TextFromUtf8(text.substr(0, split)));
    if (range) {
        if (range->start && range->end && *range->start > *range->end) std::abort();
        if (orbenix::cli::DescribeRange(*range).empty()) std::abort();
    }
    const std::u16string body = split == std::string::npos ? u"" : orbenix::TextFromUtf8(text.substr(split + 1));
    for (const orbenix::UsageKind kind : orbenix::kUsageKinds) {
        CheckReading(orbenix::ReadUsage(body, kind), kind, range ? &*range : nullptr);
    }
    return 0;
}
