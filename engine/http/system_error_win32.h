#pragma once
// Texts for Windows error numbers (Winsock, SSPI, CryptoAPI), for the
// descriptions of our errors. Windows-only.
#include <cstdint>
#include <string>

namespace orbenix::http {

// The system's message for `code` without the trailing period and line
// break, followed by its number in hex ("... (0x8009030C)"); when the system
// has no message, the number alone.
std::u16string SystemErrorText(std::uint32_t code);

}  // namespace orbenix::http
