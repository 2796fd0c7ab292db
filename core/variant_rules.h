#pragma once
// Conversion rules shared by the Variant implementations where the platform
// offers none of its own.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orbenix {

// The number a whole text stands for by the Variant rules: blanks around it,
// an optional sign, digits with an optional "." part and exponent, or "&H"/"&O"
// followed by hexadecimal or octal digits. Nothing else may follow.
std::optional<double> NumberFromVariantText(std::u16string_view text);

// Rounds half to even into a signed 32-bit integer; raises Overflow (6).
std::int32_t RoundToInt32(double value);

// A double as the host's language writes it: up to 15 significant digits,
// "E+nn" for large and small magnitudes, "." as separator.
std::u16string TextFromDouble(double value);

}  // namespace orbenix
