#include "engine/http/system_error_text.h"

#include <cstdio>

namespace orbenix::http {

std::u16string ComposeSystemErrorText(std::uint32_t code, const MessageLookup& lookup,
                                      std::u16string_view fallback) {
    std::u16string text = lookup(code, kLanguageEnglishUs);
    if (text.empty()) text = lookup(code, kLanguageAny);
    while (!text.empty() && (text.back() == u'\r' || text.back() == u'\n' || text.back() == u' ' ||
                             text.back() == u'.')) {
        text.pop_back();
    }
    char number[16];
    std::snprintf(number, sizeof number, code < 0x10000 ? "%u" : "0x%08X",
                  static_cast<unsigned>(code));
    const std::u16string number_text(number, number + std::char_traits<char>::length(number));
    if (text.empty()) text = fallback;
    if (text.empty()) return u"error " + number_text;
    return text + u" (" + number_text + u")";
}

}  // namespace orbenix::http
