#include "engine/threshold_range.h"

#include <charconv>
#include <cmath>

namespace orbenix {
namespace {

// An optional "-", digits, optionally "." and more digits.
std::optional<double> Bound(std::string_view text) {
    std::string_view digits = text.starts_with('-') ? text.substr(1) : text;
    const std::size_t dot = digits.find('.');
    if (digits.empty() || dot == 0 || dot + 1 == digits.size()) return std::nullopt;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if ((digits[i] < '0' || digits[i] > '9') && i != dot) return std::nullopt;
    }
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

}  // namespace

std::optional<ThresholdRange> ParseRange(std::u16string_view text) {
    ThresholdRange range;
    for (const char16_t c : text) {
        if (c <= 0x20 || c >= 0x7F) return std::nullopt;
        range.text += static_cast<char>(c);
    }
    std::string_view rest = range.text;
    if (rest.starts_with('@')) {
        range.inside = true;
        rest.remove_prefix(1);
    }
    const std::size_t colon = rest.find(':');
    if (colon == std::string_view::npos) {
        range.start = 0;  // "80" is "0:80"
        range.start_text.assign(1, '0');  // not = "0": a false -Wrestrict in g++ 12 at -O3
        range.end_text = rest;
        if (!(range.end = Bound(rest))) return std::nullopt;
    } else {
        range.start_text = rest.substr(0, colon);
        range.end_text = rest.substr(colon + 1);
        if (range.start_text.empty() && range.end_text.empty()) return std::nullopt;  // ":" bounds nothing
        if (range.start_text.empty()) {
            range.start = 0;  // ":20" is "0:20"
            range.start_text.assign(1, '0');
        } else if (range.start_text != "~" && !(range.start = Bound(range.start_text))) {
            return std::nullopt;
        }
        if (!range.end_text.empty() && !(range.end = Bound(range.end_text))) return std::nullopt;
    }
    if (range.start && range.end && *range.start > *range.end) return std::nullopt;
    return range;
}

bool Alerts(const ThresholdRange& range, double value) {
    const bool within = (!range.start || value >= *range.start) && (!range.end || value <= *range.end);
    return range.inside ? within : !within;
}

std::string DescribeRange(const ThresholdRange& range) {
    const std::string& s = range.start_text;
    const std::string& e = range.end_text;
    if (range.inside) {
        if (!range.start && !range.end) return "at any value";
        if (!range.start) return "at or below " + e;
        if (!range.end) return "at or above " + s;
        return "inside " + s + ".." + e;
    }
    if (!range.end) return range.start ? "below " + s : "never";
    // Below 0 is no percent: "0:90" alerts above 90 only.
    if (!range.start || *range.start <= 0) return "above " + e;
    return "outside " + s + ".." + e;
}

}  // namespace orbenix
