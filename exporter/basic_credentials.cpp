#include "exporter/basic_credentials.h"

#include <cctype>

namespace orbenix::exporter {
namespace {

int Sextet(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

// Standard base64 (RFC 4648 section 4) with padding, as clients send it:
//   +--------+--------+--------+
//   |aaaaaabb|bbbbcccc|ccdddddd|   three bytes, four characters a b c d;
//   +--------+--------+--------+   "=" stands for each missing c or d.
std::optional<std::string> DecodeBase64(std::string_view text) {
    if (text.empty() || text.size() % 4 != 0) return std::nullopt;
    std::string bytes;
    bytes.reserve(text.size() / 4 * 3);
    for (std::size_t at = 0; at < text.size(); at += 4) {
        const bool last = at + 4 == text.size();
        const std::size_t padding = !last ? 0 : text[at + 3] != '=' ? 0 : text[at + 2] != '=' ? 1 : 2;
        int sextets[4] = {0, 0, 0, 0};
        for (std::size_t i = 0; i < 4 - padding; ++i) {
            sextets[i] = Sextet(text[at + i]);
            if (sextets[i] < 0) return std::nullopt;
        }
        bytes.push_back(static_cast<char>((sextets[0] << 2) | (sextets[1] >> 4)));
        if (padding < 2) bytes.push_back(static_cast<char>(((sextets[1] & 0x0f) << 4) | (sextets[2] >> 2)));
        if (padding < 1) bytes.push_back(static_cast<char>(((sextets[2] & 0x03) << 6) | sextets[3]));
    }
    return bytes;
}

}  // namespace

std::optional<BasicCredentials> ParseBasicCredentials(std::string_view authorization) {
    if (authorization.size() > kMaxAuthorizationBytes) return std::nullopt;
    constexpr std::string_view kScheme = "basic";
    if (authorization.size() <= kScheme.size()) return std::nullopt;
    for (std::size_t i = 0; i < kScheme.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(authorization[i])) != kScheme[i]) return std::nullopt;
    }
    std::string_view rest = authorization.substr(kScheme.size());
    if (rest.front() != ' ') return std::nullopt;
    while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
    while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\t')) rest.remove_suffix(1);
    auto decoded = DecodeBase64(rest);
    if (!decoded) return std::nullopt;
    const std::size_t colon = decoded->find(':');
    if (colon == std::string::npos || decoded->find('\0') != std::string::npos) return std::nullopt;
    return BasicCredentials{decoded->substr(0, colon), decoded->substr(colon + 1)};
}

}  // namespace orbenix::exporter
