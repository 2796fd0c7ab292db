#pragma once
// Reading one entry of the stored parameter string "#TAG=value#TAG=value#".
#include <string>

namespace orbenix {

// The value of the first entry named `tag` (any letter case), or "" when there
// is none. With `quoted` True the value is read as written between double
// quotes ("#TAG="value"#"). Never fails.
std::u16string ReadTag(const std::u16string& parameter, const std::u16string& tag, bool& quoted);

// A stored Boolean is True only when its value is exactly "T".
bool IsTrueFlag(const std::u16string& value);

// Removes leading and trailing U+0020 only; tabs and other blanks stay.
std::u16string TrimSpaces(const std::u16string& text);

}  // namespace orbenix
