#pragma once
// The usage values a panel adds to its answer when the request asks for them
// (the form fields "bw", "hdd" and "mem" with the value "true"): one element
// each, holding "total,used,free,percent". Total, used and free are bytes;
// the percent may carry decimals. Panel input is untrusted: a value that is
// missing or garbled is read as a problem text, never as numbers.
#include <string_view>

#include "core/usage_readings.h"

namespace orbenix {

// Reads the element of `kind` from the panel's answer. The element must
// appear exactly once, as <tag>...</tag>, holding exactly four fields
// separated by commas, with no blanks: three whole numbers of bytes (up to
// 2^64 - 1) and a percent (digits, optionally "." and more digits). Used may
// be above total (a server over its quota) unless total is 0; the percent
// may be above 100 only then, and only as used / total gives it.
UsageReading ReadUsage(std::u16string_view body, UsageKind kind);

}  // namespace orbenix
