#pragma once
// UTF-16 text of the core <-> UTF-8 at the edges (CLI arguments and output, JSON).
#include <string>
#include <string_view>

namespace orbenix {

// Unpaired surrogates become U+FFFD.
std::string Utf8FromText(std::u16string_view text);
// Invalid sequences become U+FFFD.
std::u16string TextFromUtf8(std::string_view utf8);
// True when the bytes are well-formed UTF-8.
bool IsValidUtf8(std::string_view bytes);

}  // namespace orbenix
