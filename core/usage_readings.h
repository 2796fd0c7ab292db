#pragma once
// The usage values a check can ask the panel for (bandwidth, disk, memory),
// and what it read for each: the check's options carry both, so they sit
// beside the other per-thread records.
#include <array>
#include <cstddef>
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

}  // namespace orbenix
