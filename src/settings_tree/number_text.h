// The text form of "FLOAT" and "DOUBLE" values, the same in every storage that keeps a preset as
// text (a profile file entry, the "Value" of a settings node): written as "%g", read as the C
// runtime's atof of the module's original target reads it. One pair of functions, so that a
// number reads the same from a profile file and from a node, on every platform we build for.
#pragma once

#include <array>
#include <string_view>

namespace flanger {

// Room for any "%g" text of a double: at most 13 characters with sign and exponent.
using NumberText = std::array<char, 32>;

// Six significant digits ("%g"), NUL-terminated. The stored form of "DOUBLE" is the "%Lg" text
// of the value as long double; where presets were first written long double is the 64-bit
// double, and on x86 Linux it is the 80-bit type. Widening a double to any long double is exact
// and "%Lg" rounds that exact value to six digits, so "%g" of the double gives the same text on
// every target. The exponent has at least two digits here; readers accept the three that other
// runtimes write.
NumberText FormatNumberText(double value);

// The number at the start of `text`, read as that atof reads it: white space skipped (space,
// tab, line feed, vertical tab, form feed, carriage return), an optional sign, decimal digits
// with an optional '.', at least one digit, and an optional exponent: e, E, d or D, an optional
// sign and digits. The first character that does not fit ends the number; a text without a
// leading number gives 0. So "nan", "inf" and "infinity" give 0 and "0x10" gives 0 (the "0"),
// and the text ends at its first NUL byte. The whole number is converted, however long, and
// rounded correctly; '.' is the decimal point whatever the locale.
//
// No text gives NaN or infinity: a number beyond the range of double gives the largest finite
// double of its sign, where that atof gives infinity; one too small for the smallest subnormal
// gives 0 of its sign.
double ParseDoubleText(std::string_view text);

// ParseDoubleText narrowed to single precision, a number beyond the range of float giving the
// largest finite float of its sign.
float ParseFloatText(std::string_view text);

}  // namespace flanger
