#include "engine/http/system_error_win32.h"

#include "engine/http/schannel_handles.h"
#include "engine/http/system_error_text.h"

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
    const MessageLookup lookup = [](std::uint32_t number, std::uint16_t language) {
        wchar_t* raw = nullptr;
        const DWORD length = FormatMessageW(
            FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                FORMAT_MESSAGE_IGNORE_INSERTS,
            nullptr, number, language, reinterpret_cast<wchar_t*>(&raw), 0, nullptr);
        const LocalMemory<wchar_t> owned(raw);
        std::u16string text;
        if (length > 0 && raw != nullptr) text.assign(reinterpret_cast<const char16_t*>(raw), length);
        return text;
    };
    return ComposeSystemErrorText(code, lookup, FallbackText(code));
}

}  // namespace orbenix::http
