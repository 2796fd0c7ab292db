#pragma once
// How a system error text is put together, apart from where the messages
// come from (portable; system_error_win32.cpp supplies the lookup).
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace orbenix::http {

// The system's message for `code` in `language` (a LANGID; 0 lets the system
// choose), or empty when it has none in that language.
using MessageLookup = std::function<std::u16string(std::uint32_t code, std::uint16_t language)>;

constexpr std::uint16_t kLanguageEnglishUs = 0x0409;
constexpr std::uint16_t kLanguageAny = 0;

// The message in US English, else in whatever language the system has (a
// Windows without English resources refuses the English lookup), without
// the trailing period and line break, then the number: "Access is denied
// (5)", "... (0x8009030C)". `fallback` stands in when the system has no
// message; without either, "error 5".
std::u16string ComposeSystemErrorText(std::uint32_t code, const MessageLookup& lookup,
                                      std::u16string_view fallback);

}  // namespace orbenix::http
