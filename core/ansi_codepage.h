#pragma once
// The system's single-byte ANSI code page: on Windows the system's own
// (CP_ACP), elsewhere Windows-1252. A character the code page cannot
// represent becomes "?".
#include <string>
#include <string_view>

namespace orbenix {

std::string AnsiFromText(std::u16string_view text);
std::u16string TextFromAnsi(std::string_view bytes);

}  // namespace orbenix
