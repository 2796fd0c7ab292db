#include "params/single_line_text.h"

#include <string_view>

#include "core/ansi_codepage.h"
#include "core/utf8.h"

namespace orbenix {

std::optional<std::u16string> SingleLineText(const std::string& bytes) {
    std::string_view line = bytes;
    if (line.starts_with("\xEF\xBB\xBF")) line.remove_prefix(3);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    if (line.find_first_of("\r\n") != std::string_view::npos) return std::nullopt;
    return IsValidUtf8(line) ? TextFromUtf8(line) : TextFromAnsi(line);
}

}  // namespace orbenix
