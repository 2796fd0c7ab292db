// Address literals, parsed without the platform so that every kind treats
// them alike.
#include "engine/http/proxy_address.h"

#include <vector>

#include "core/hex_digit.h"

namespace orbenix::http::proxy {

std::optional<Ipv4> ParseIpv4(std::string_view text) {
    Ipv4 address{};
    std::size_t part = 0;
    std::size_t i = 0;
    while (part < 4) {
        std::size_t digits = 0;
        unsigned value = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 3) {
            value = value * 10 + static_cast<unsigned>(text[i] - '0');
            ++i;
            ++digits;
        }
        if (digits == 0 || value > 255) return std::nullopt;
        address[part++] = static_cast<std::uint8_t>(value);
        if (part < 4) {
            if (i >= text.size() || text[i] != '.') return std::nullopt;
            ++i;
        }
    }
    if (i != text.size()) return std::nullopt;
    return address;
}

namespace {

// The 16-bit groups of one side of "::" (an IPv4 tail counts as two).
bool ParseGroups(std::string_view text, bool may_end_in_ipv4, std::vector<std::uint16_t>& groups) {
    if (text.empty()) return true;
    std::size_t start = 0;
    while (true) {
        const std::size_t colon = text.find(':', start);
        const std::string_view piece =
            text.substr(start, colon == std::string_view::npos ? std::string_view::npos : colon - start);
        if (colon == std::string_view::npos && may_end_in_ipv4 && piece.find('.') != std::string_view::npos) {
            const auto v4 = ParseIpv4(piece);
            if (!v4) return false;
            groups.push_back(static_cast<std::uint16_t>((*v4)[0] << 8 | (*v4)[1]));
            groups.push_back(static_cast<std::uint16_t>((*v4)[2] << 8 | (*v4)[3]));
            return true;
        }
        if (piece.empty() || piece.size() > 4) return false;
        unsigned value = 0;
        for (char c : piece) {
            const int h = HexDigitValue(c);
            if (h < 0) return false;
            value = value * 16 + static_cast<unsigned>(h);
        }
        groups.push_back(static_cast<std::uint16_t>(value));
        if (colon == std::string_view::npos) return true;
        start = colon + 1;
    }
}

}  // namespace

std::optional<Ipv6> ParseIpv6(std::string_view text) {
    if (text.find(':') == std::string_view::npos) return std::nullopt;
    std::vector<std::uint16_t> head, tail;
    const std::size_t gap = text.find("::");
    if (gap != std::string_view::npos) {
        if (text.find("::", gap + 1) != std::string_view::npos) return std::nullopt;
        if (!ParseGroups(text.substr(0, gap), false, head)) return std::nullopt;
        if (!ParseGroups(text.substr(gap + 2), true, tail)) return std::nullopt;
        if (head.size() + tail.size() > 7) return std::nullopt;
    } else {
        if (!ParseGroups(text, true, head) || head.size() != 8) return std::nullopt;
    }
    Ipv6 address{};
    std::size_t at = 0;
    for (auto g : head) {
        address[at++] = static_cast<std::uint8_t>(g >> 8);
        address[at++] = static_cast<std::uint8_t>(g & 0xff);
    }
    at = 16 - tail.size() * 2;
    for (auto g : tail) {
        address[at++] = static_cast<std::uint8_t>(g >> 8);
        address[at++] = static_cast<std::uint8_t>(g & 0xff);
    }
    return address;
}

}  // namespace orbenix::http::proxy
