#include "engine/give_tag.h"

#include <cstdint>

#include "core/error.h"

namespace orbenix {
namespace {

// 1-based position of `what` in `text` searching from 1-based `start`; 0 when absent.
std::int64_t InStr(std::int64_t start, const std::u16string& text, const std::u16string& what) {
    if (text.empty() || start > static_cast<std::int64_t>(text.size())) return 0;
    const std::size_t found = text.find(what, static_cast<std::size_t>(start - 1));
    return found == std::u16string::npos ? 0 : static_cast<std::int64_t>(found) + 1;
}

}  // namespace

std::u16string GiveTag(const std::u16string& strSource, const std::u16string& strTag) {
    const auto length = static_cast<std::int64_t>(strTag.size());
    const std::int64_t a = InStr(1, strSource, strTag);
    const std::int64_t b = InStr(a + 1, strSource, u"/" + strTag);
    const std::int64_t l = b - a - length - 2;
    if (l < 0) throw Error(errors::InvalidProcedureCall);
    const std::int64_t start = a + length + 1;  // 1-based, at least 1
    if (start > static_cast<std::int64_t>(strSource.size())) return u"";
    return strSource.substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(l));
}

}  // namespace orbenix
