#pragma once
// Reads one element of the panel's XML-like answer the way the check always
// has: by plain substring positions, case-sensitive, no XML parsing.
#include <string>

namespace orbenix {

// The content of the first element named `strTag` in `strSource`: the text
// between the character after the name and the "<" before the first later
// "/" + name. Fails with error 5 when that length comes out negative (no
// closing tag after the name, or no name at all).
std::u16string GiveTag(const std::u16string& strSource, const std::u16string& strTag);

}  // namespace orbenix
