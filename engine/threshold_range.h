#pragma once
// Thresholds in the monitoring plugins' range syntax, on one number:
//   80      alert above 80 or below 0     10:     alert below 10
//   ~:90    alert above 90                10:20   alert outside 10..20
//   @10:20  alert inside 10..20 (bounds included)
// Bounds are decimal numbers ("-5", "37.5"); a bound itself never alerts
// unless the range starts with "@".
#include <optional>
#include <string>
#include <string_view>

namespace orbenix {

struct ThresholdRange {
    std::optional<double> start;  // none: "~", minus infinity
    std::optional<double> end;    // none: plus infinity
    bool inside = false;          // "@": alert inside the range
    std::string start_text, end_text;  // the bounds as given
    std::string text;                  // the whole range as given
};

// The range, or nothing when `text` is not one (blanks included).
std::optional<ThresholdRange> ParseRange(std::u16string_view text);

// True when `value` is to be alerted about.
bool Alerts(const ThresholdRange& range, double value);

// What alerts, for a value between 0 and 100: "above 90", "below 10",
// "outside 10..20", "inside 10..20", "at or above 95".
std::string DescribeRange(const ThresholdRange& range);

}  // namespace orbenix
