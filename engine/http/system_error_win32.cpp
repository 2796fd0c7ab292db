#include "engine/http/system_error_win32.h"

#include <windows.h>

#include <cstdio>

namespace orbenix::http {

std::u16string SystemErrorText(std::uint32_t code) {
    wchar_t* raw = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
        reinterpret_cast<wchar_t*>(&raw), 0, nullptr);
    std::u16string text;
    if (length > 0 && raw != nullptr) {
        text.assign(reinterpret_cast<const char16_t*>(raw), length);
    }
    if (raw != nullptr) LocalFree(raw);
    while (!text.empty() && (text.back() == u'\r' || text.back() == u'\n' || text.back() == u' ' ||
                             text.back() == u'.')) {
        text.pop_back();
    }
    char number[16];
    std::snprintf(number, sizeof number, code < 0x10000 ? "%u" : "0x%08X",
                  static_cast<unsigned>(code));
    std::u16string number_text(number, number + std::char_traits<char>::length(number));
    if (text.empty()) return u"error " + number_text;
    return text + u" (" + number_text + u")";
}

}  // namespace orbenix::http
