#pragma once
// The usage values a panel adds to its answer when the request asks for them
// (the form fields "bw", "hdd" and "mem" with the value "true"): one element
// each, holding "total,used,free,percent". Total, used and free are bytes;
// the percent may carry decimals. Panel input is untrusted: a value that is
// missing or garbled is read as a problem text, never as numbers.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orbenix {

enum class UsageKind { Bandwidth, Disk, Memory };

// In the order the request fields go out.
inline constexpr std::array kUsageKinds = {UsageKind::Bandwidth, UsageKind::Disk, UsageKind::Memory};

inline constexpr std::size_t UsageIndex(UsageKind kind) { return static_cast<std::size_t>(kind); }

// The form field and element name: "bw", "hdd", "mem".
std::u16string_view UsageTag(UsageKind kind);
// For texts: "bandwidth", "disk", "memory".
std::string_view UsageWord(UsageKind kind);

struct UsageValues {
    std::uint64_t total = 0;
    std::uint64_t used = 0;
    std::uint64_t free = 0;
    double panel_percent = 0;  // as the panel wrote it (it rounds)
    // used / total to two decimals; the panel's percent when total is 0.
    double percent = 0;
};

// Either the values or what was wrong with them ("<bw> holds 3 fields instead of 4").
struct UsageReading {
    std::optional<UsageValues> values;
    std::string problem;  // empty when `values` holds
};

// Which values a check asks for, and what it read for them.
using UsageFields = std::array<bool, kUsageKinds.size()>;
using UsageReadings = std::array<std::optional<UsageReading>, kUsageKinds.size()>;

// Reads the element of `kind` from the panel's answer. The element must
// appear exactly once, as <tag>...</tag>, holding exactly four fields
// separated by commas, with no blanks: three whole numbers of bytes (up to
// 2^64 - 1) and a percent (digits, optionally "." and more digits, at most
// 100), with used not above total.
UsageReading ReadUsage(std::u16string_view body, UsageKind kind);

}  // namespace orbenix
