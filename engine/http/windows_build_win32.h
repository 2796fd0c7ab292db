#pragma once
// The running system's build number. Windows-only.
#include <cstdint>

namespace orbenix::http {

// From RtlGetVersion, which reports the real build also to a program
// without a compatibility manifest (GetVersionEx stops at Windows 8's 9200).
// 0 when it cannot be read.
std::uint32_t WindowsBuildNumber();

}  // namespace orbenix::http
