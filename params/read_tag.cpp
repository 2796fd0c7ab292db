#include "params/read_tag.h"

namespace orbenix {
namespace {

// Upper case for the tag search. Only ASCII letters change so that the copy
// keeps the positions of the original (tags are ASCII; values are never
// taken from the copy).
std::u16string UpperAscii(std::u16string text) {
    for (auto& c : text) {
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
    }
    return text;
}

}  // namespace

std::u16string TrimSpaces(const std::u16string& text) {
    const auto first = text.find_first_not_of(u' ');
    if (first == std::u16string::npos) return {};
    const auto last = text.find_last_not_of(u' ');
    return text.substr(first, last - first + 1);
}

bool IsTrueFlag(const std::u16string& value) { return value == u"T"; }

// A value that happens to begin with a double quote, read with the flag False
// (a hand-edited "#PRT="SOCKS5"#"), is returned as it stands, quotes included:
// the reader does not switch to the quoted reading behind the caller's back,
// so such a code is simply not one of the known proxy codes.
std::u16string ReadTag(const std::u16string& parameter, const std::u16string& tag, bool& quoted) {
    const std::u16string upper = UpperAscii(parameter);
    const std::u16string name = TrimSpaces(UpperAscii(tag));
    std::u16string needle = u"#" + name + u"=";
    if (quoted) needle += u'"';

    const auto p = upper.find(needle);
    if (p == std::u16string::npos) return {};

    const std::size_t start = p + name.size() + 2;  // the character after "="
    std::size_t end = std::u16string::npos;
    if (quoted) {
        end = upper.find(u"\"#", p + name.size() + 3);  // past the opening quote
    } else {
        end = upper.find(u'#', p + 1);
    }
    if (end == std::u16string::npos) end = parameter.size();

    std::u16string value = end > start ? parameter.substr(start, end - start) : std::u16string();
    if (quoted && !value.empty() && value.front() == u'"') value.erase(0, 1);
    return value;
}

}  // namespace orbenix
