#pragma once
// What a server's answer may take, at most. A violated limit is a numbered
// error, never a hang.
#include <cstddef>

namespace orbenix::http::limits {

inline constexpr std::size_t HeaderSectionBytes = 65536;  // status line and headers, interim answers included
inline constexpr std::size_t HeaderLines = 100;           // per header or trailer section
inline constexpr std::size_t BodyBytes = 1048576;         // after chunked decoding
inline constexpr std::size_t ChunkSizeLineBytes = 4096;   // size and extensions
inline constexpr int RedirectHops = 10;
inline constexpr int DefaultTimeoutSeconds = 60;

}  // namespace orbenix::http::limits
