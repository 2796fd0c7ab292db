#include "engine/http/system_error_win32.h"

#include <windows.h>

#include <cstdio>

namespace orbenix::http {
namespace {

// The TLS failures a handshake meets most, for systems (Wine) whose message
// table lacks them.
std::u16string FallbackText(std::uint32_t code) {
    switch (static_cast<HRESULT>(code)) {
        case SEC_E_INTERNAL_ERROR: return u"The TLS provider reported an internal error";
        case SEC_E_ILLEGAL_MESSAGE: return u"The message received was unexpected or badly formatted";
        case SEC_E_ALGORITHM_MISMATCH: return u"The client and server have no common algorithm";
        case SEC_E_DECRYPT_FAILURE: return u"The data could not be decrypted";
        case SEC_E_MESSAGE_ALTERED: return u"The message was altered";
        case SEC_E_INVALID_TOKEN: return u"The token supplied is invalid";
        case SEC_E_UNSUPPORTED_FUNCTION: return u"The requested function is not supported";
        case SEC_E_CERT_UNKNOWN: return u"The certificate is unknown";
        case SEC_E_UNKNOWN_CREDENTIALS: return u"The credentials are not recognized";
        default: return {};
    }
}

}  // namespace

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
    if (text.empty()) text = FallbackText(code);
    if (text.empty()) return u"error " + number_text;
    return text + u" (" + number_text + u")";
}

}  // namespace orbenix::http
