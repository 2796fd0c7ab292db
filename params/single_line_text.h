#pragma once
// The one line a parameter file or a secret file holds.
#include <optional>
#include <string>

namespace orbenix {

// One line of text from file bytes: a UTF-8 byte-order mark and trailing line
// ends removed; UTF-8 when valid, else the ANSI code page. Nothing when a
// line break remains inside.
std::optional<std::u16string> SingleLineText(const std::string& bytes);

}  // namespace orbenix
