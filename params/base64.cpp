#include "params/base64.h"

#include <array>

#include "core/ansi_codepage.h"
#include "core/error.h"

namespace orbenix {
namespace {

// The pad first, then the 64 digits: digit v stands at index v + 1.
constexpr std::u16string_view kAlphabet =
    u"=ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

char16_t CharOfDigit(int digit) {
    std::u16string character;
    MapBase64Char(digit, character, true);
    return character[0];
}

int DigitOfChar(char16_t c) {
    int value = 0;
    std::u16string character(1, c);
    MapBase64Char(value, character, false);
    return value;
}

}  // namespace

void MapBase64Char(int& value, std::u16string& character, bool to_character) {
    if (to_character) {
        character.assign(1, kAlphabet[static_cast<std::size_t>(value + 1)]);
        return;
    }
    if (character.empty()) {
        value = 0;
        return;
    }
    const auto index = kAlphabet.find(character[0]);
    const int position = index == std::u16string_view::npos ? 0 : static_cast<int>(index) + 1;
    value = position - 2 < 0 ? 0 : position - 2;
}

int ShiftLeft(int value, int n) { return value * (1 << n); }
int ShiftRight(int value, int n) { return value / (1 << n); }

std::u16string Base64Encode(const std::u16string& text) {
    const std::string bytes = AnsiFromText(text);
    std::u16string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const bool has2 = i + 1 < bytes.size();
        const bool has3 = i + 2 < bytes.size();
        const int b1 = static_cast<unsigned char>(bytes[i]);
        const int b2 = has2 ? static_cast<unsigned char>(bytes[i + 1]) : 0;
        const int b3 = has3 ? static_cast<unsigned char>(bytes[i + 2]) : 0;
        const int d1 = ShiftRight(b1, 2);
        const int d2 = (ShiftLeft(b1, 4) & 48) | ShiftRight(b2, 4);
        const int d3 = has2 ? ((ShiftLeft(b2, 2) & 60) | ShiftRight(b3, 6)) : -1;
        const int d4 = has3 ? (b3 & 63) : -1;
        out += CharOfDigit(d1);
        out += CharOfDigit(d2);
        out += CharOfDigit(d3);
        out += CharOfDigit(d4);
    }
    return out;
}

std::u16string Base64Decode(const std::u16string& text) {
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); i += 4) {
        std::array<int, 4> c{};
        int count = 3;
        for (int j = 3; j >= 0; --j) {
            const std::size_t at = i + static_cast<std::size_t>(j);
            const char16_t ch = at < text.size() ? text[at] : u'=';
            if (ch == u'=') count = j - 1;
            c[static_cast<std::size_t>(j)] = DigitOfChar(ch);
        }
        if (count < 0) throw Error(errors::InvalidProcedureCall);
        const char group[3] = {
            static_cast<char>((ShiftLeft(c[0], 2) | ShiftRight(c[1], 4)) & 255),
            static_cast<char>((ShiftLeft(c[1], 4) | ShiftRight(c[2], 2)) & 255),
            static_cast<char>((ShiftLeft(c[2], 6) | c[3]) & 255),
        };
        bytes.append(group, static_cast<std::size_t>(count));
    }
    return TextFromAnsi(bytes);
}

std::u16string EncodeString(const std::u16string& text) { return Base64Encode(text); }
std::u16string DecodeString(const std::u16string& text) { return Base64Decode(text); }

}  // namespace orbenix
