#pragma once
// The user name and password of an Authorization header of the Basic scheme.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace orbenix::exporter {

// Longer headers are refused before any decoding: no client needs more.
inline constexpr std::size_t kMaxAuthorizationBytes = 1024;

struct BasicCredentials {
    std::string user;
    std::string password;
};

// "Basic" (any case), spaces, then base64 of "user:password" with its
// padding. Nullopt for any other scheme, bad base64, no colon, a zero byte
// (bcrypt reads the password as a C string) or a header above the bound.
std::optional<BasicCredentials> ParseBasicCredentials(std::string_view authorization);

}  // namespace orbenix::exporter
