#include "core/variant_rules.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/error.h"

namespace orbenix {
namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

std::optional<double> RadixNumber(std::u16string_view digits, int radix) {
    if (digits.empty() || digits.size() > 16) return std::nullopt;
    std::uint64_t value = 0;
    for (char16_t c : digits) {
        int d = -1;
        if (c >= u'0' && c <= u'9') d = c - u'0';
        else if (c >= u'a' && c <= u'f') d = c - u'a' + 10;
        else if (c >= u'A' && c <= u'F') d = c - u'A' + 10;
        if (d < 0 || d >= radix) return std::nullopt;
        value = value * static_cast<std::uint64_t>(radix) + static_cast<std::uint64_t>(d);
    }
    return static_cast<double>(value);
}

}  // namespace

std::optional<double> NumberFromVariantText(std::u16string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    if (text.size() >= 2 && text[0] == u'&') {
        const char16_t p = text[1];
        if (p == u'H' || p == u'h') return RadixNumber(text.substr(2), 16);
        if (p == u'O' || p == u'o') return RadixNumber(text.substr(2), 8);
        return std::nullopt;
    }
    std::string ascii;
    std::size_t i = 0;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) ascii += static_cast<char>(text[i++]);
    std::size_t digits = 0;
    while (i < text.size() && text[i] >= u'0' && text[i] <= u'9') { ascii += static_cast<char>(text[i++]); ++digits; }
    if (i < text.size() && text[i] == u'.') {
        ascii += '.';
        ++i;
        while (i < text.size() && text[i] >= u'0' && text[i] <= u'9') { ascii += static_cast<char>(text[i++]); ++digits; }
    }
    if (digits == 0) return std::nullopt;
    if (i < text.size() && (text[i] == u'E' || text[i] == u'e')) {
        ascii += 'E';
        ++i;
        if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) ascii += static_cast<char>(text[i++]);
        std::size_t exp_digits = 0;
        while (i < text.size() && text[i] >= u'0' && text[i] <= u'9') { ascii += static_cast<char>(text[i++]); ++exp_digits; }
        if (exp_digits == 0) return std::nullopt;
    }
    if (i != text.size()) return std::nullopt;
    const double value = std::strtod(ascii.c_str(), nullptr);
    if (!std::isfinite(value)) throw Error(errors::Overflow);
    return value;
}

std::int32_t RoundToInt32(double value) {
    if (std::isnan(value)) throw Error(errors::Overflow);
    const double rounded = std::nearbyint(value);  // default rounding mode: half to even
    if (rounded < -2147483648.0 || rounded > 2147483647.0) throw Error(errors::Overflow);
    return static_cast<std::int32_t>(rounded);
}

std::u16string TextFromDouble(double value) {
    if (value == 0) return u"0";
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.15G", value);
    std::string s(buffer);
    // Drop trailing zeros of the fraction ("1.50000" -> "1.5") but keep the exponent.
    const auto e = s.find('E');
    std::string mantissa = s.substr(0, e);
    const std::string exponent = e == std::string::npos ? "" : s.substr(e);
    if (mantissa.find('.') != std::string::npos) {
        while (!mantissa.empty() && mantissa.back() == '0') mantissa.pop_back();
        if (!mantissa.empty() && mantissa.back() == '.') mantissa.pop_back();
    }
    s = mantissa + exponent;
    return std::u16string(s.begin(), s.end());
}

}  // namespace orbenix
