#pragma once
// The numeric value of a text, as the port fields are read and written.
#include <cstdint>
#include <string>

namespace orbenix {

// Blanks, tabs and line feeds anywhere are ignored; then an optional sign,
// digits, an optional "." part and an optional exponent are read, or after
// "&H"/"&O" hexadecimal or octal digits; reading stops at the first character
// that does not fit. A text without a leading number is 0. "." whatever the locale.
double NumericValue(const std::u16string& text);

// The port rule: the numeric value rounded half to even to a signed 32-bit
// integer; Overflow (6) outside that range.
std::int32_t PortValue(const std::u16string& text);

// A number as the writer stores it: plain decimal digits for whole numbers,
// "-" for negatives, "." as separator, and an exponent form the reader reads
// back to the same number for the rest.
std::u16string DecimalText(double value);

// A 32-bit number with one leading blank for its sign when not negative
// (" 443", " 0", "-1"), as messages and the port box show it.
std::u16string NumberText(std::int64_t value);

}  // namespace orbenix
