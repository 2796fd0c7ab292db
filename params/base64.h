#pragma once
// Base64 of the stored passwords (standard alphabet, "=" padding), over the
// bytes of a text in the ANSI code page. The decoder is lenient the way
// stored strings need: missing padding, foreign characters read as "A",
// an "=" inside the text ends only its own group. A group that begins with
// "=" is an error.
#include <string>

namespace orbenix {

// The only entry points for the rest of the system.
std::u16string EncodeString(const std::u16string& text);
std::u16string DecodeString(const std::u16string& text);

std::u16string Base64Encode(const std::u16string& text);
// Raises Invalid procedure call or argument (5) for a group that begins with "=".
std::u16string Base64Decode(const std::u16string& text);

// To-character: the alphabet character of `value` (-1 gives "=").
// From-character: the value of `character`'s first character; "=" and
// characters outside the alphabet give 0.
void MapBase64Char(int& value, std::u16string& character, bool to_character);
int ShiftLeft(int value, int n);
int ShiftRight(int value, int n);

}  // namespace orbenix
