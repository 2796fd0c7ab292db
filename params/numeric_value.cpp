#include "params/numeric_value.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/error.h"
#include "core/variant_rules.h"

namespace orbenix {
namespace {

bool IsIgnored(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n'; }

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

int DigitValue(char16_t c, int radix) {
    int d = -1;
    if (IsDigit(c)) d = c - u'0';
    else if (c >= u'a' && c <= u'f') d = c - u'a' + 10;
    else if (c >= u'A' && c <= u'F') d = c - u'A' + 10;
    return d < radix ? d : -1;
}

}  // namespace

double NumericValue(const std::u16string& text) {
    std::u16string s;
    for (char16_t c : text) {
        if (!IsIgnored(c)) s += c;
    }

    if (s.size() >= 2 && s[0] == u'&' && (s[1] == u'H' || s[1] == u'h' || s[1] == u'O' || s[1] == u'o')) {
        const int radix = (s[1] == u'H' || s[1] == u'h') ? 16 : 8;
        double value = 0;
        for (std::size_t i = 2; i < s.size(); ++i) {
            const int d = DigitValue(s[i], radix);
            if (d < 0) break;
            value = value * radix + d;
        }
        return value;
    }

    std::string ascii;
    std::size_t i = 0;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) ascii += static_cast<char>(s[i++]);
    std::size_t digits = 0;
    while (i < s.size() && IsDigit(s[i])) { ascii += static_cast<char>(s[i++]); ++digits; }
    if (i < s.size() && s[i] == u'.') {
        ascii += '.';
        ++i;
        while (i < s.size() && IsDigit(s[i])) { ascii += static_cast<char>(s[i++]); ++digits; }
    }
    if (digits == 0) return 0;
    // An exponent counts only when digits follow it ("80E" is 80).
    if (i < s.size() && (s[i] == u'E' || s[i] == u'e' || s[i] == u'D' || s[i] == u'd')) {
        std::size_t j = i + 1;
        std::string exponent = "E";
        if (j < s.size() && (s[j] == u'+' || s[j] == u'-')) exponent += static_cast<char>(s[j++]);
        const std::size_t first = j;
        while (j < s.size() && IsDigit(s[j])) exponent += static_cast<char>(s[j++]);
        if (j > first) ascii += exponent;
    }
    return std::strtod(ascii.c_str(), nullptr);
}

std::int32_t PortValue(const std::u16string& text) { return RoundToInt32(NumericValue(text)); }

std::u16string DecimalText(double value) {
    if (value == 0) return u"0";  // also for -0
    // Beyond every double, so it reads back as infinity ("INF" would read as 0).
    if (std::isinf(value)) return value > 0 ? u"1E+999" : u"-1E+999";
    std::string s;
    if (std::isfinite(value) && value == std::trunc(value) && std::fabs(value) < 1e15) {
        s = std::to_string(static_cast<long long>(value));
    } else {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%.17G", value);
        s = buffer;
        // Shortest form that reads back to the same number.
        for (int precision = 1; precision <= 17; ++precision) {
            std::snprintf(buffer, sizeof buffer, "%.*G", precision, value);
            if (std::strtod(buffer, nullptr) == value) { s = buffer; break; }
        }
    }
    return std::u16string(s.begin(), s.end());
}

std::u16string NumberText(std::int64_t value) {
    const std::string digits = std::to_string(value);
    std::u16string out(digits.begin(), digits.end());
    return value < 0 ? out : u" " + out;
}

}  // namespace orbenix
