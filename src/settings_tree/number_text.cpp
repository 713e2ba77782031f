// Reading and writing the text of "FLOAT" and "DOUBLE" values; see number_text.h.
//
// The number is matched here and only its digits, point and exponent go to std::from_chars, so
// nothing else that from_chars would take ("inf", "nan") can come in. from_chars rounds
// correctly and depends on no locale.
#include "settings_tree/number_text.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <system_error>

namespace flanger {
namespace {

static_assert(std::numeric_limits<float>::is_iec559 && std::numeric_limits<double>::is_iec559);

constexpr bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

constexpr bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// An exponent far beyond any double's, so that adding the mantissa's digit count to it cannot
// overflow; exponents above it mean the same.
constexpr std::int64_t kExponentLimit = 1'000'000'000;

// The leading number of a text, matched without being converted.
struct MatchedNumber {
    bool negative = false;
    std::string digits;          // mantissa digits and '.', as written
    std::int64_t exponent = 0;   // the written exponent, clamped to ±kExponentLimit
    std::int64_t magnitude = 0;  // decimal position of the first non-zero digit, see below
    bool zero = true;            // every mantissa digit is 0
};

// False when the text does not start with a number.
bool MatchNumber(std::string_view text, MatchedNumber& number) {
    std::size_t i = 0;
    while (i < text.size() && IsSpace(text[i])) ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        number.negative = text[i] == '-';
        ++i;
    }
    std::size_t mantissaDigits = 0;
    std::int64_t integerDigits = 0;  // after leading zeros
    std::int64_t leadingZeros = 0;   // of the fraction, while no non-zero digit came
    bool inFraction = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '.' && !inFraction) {
            inFraction = true;
        } else if (IsDigit(c)) {
            ++mantissaDigits;
            if (c != '0') number.zero = false;
            if (!inFraction && !number.zero) ++integerDigits;
            if (inFraction && number.zero) ++leadingZeros;
        } else {
            break;
        }
        number.digits.push_back(c);
    }
    if (mantissaDigits == 0) return false;
    // The exponent counts only with at least one digit: "1e" and "1e+" are the number 1.
    if (i + 1 < text.size() &&
        (text[i] == 'e' || text[i] == 'E' || text[i] == 'd' || text[i] == 'D')) {
        std::size_t j = i + 1;
        bool negativeExponent = false;
        if (text[j] == '+' || text[j] == '-') {
            negativeExponent = text[j] == '-';
            ++j;
        }
        if (j < text.size() && IsDigit(text[j])) {
            for (; j < text.size() && IsDigit(text[j]); ++j) {
                if (number.exponent < kExponentLimit) {
                    number.exponent = number.exponent * 10 + (text[j] - '0');
                }
            }
            if (number.exponent > kExponentLimit) number.exponent = kExponentLimit;
            if (negativeExponent) number.exponent = -number.exponent;
        }
    }
    // The number lies in [10^(magnitude-1), 10^magnitude): positive for one of 1 or more.
    number.magnitude = (integerDigits > 0 ? integerDigits : -leadingZeros) + number.exponent;
    return true;
}

}  // namespace

NumberText FormatNumberText(double value) {
    NumberText text{};
    std::snprintf(text.data(), text.size(), "%g", value);
    return text;
}

double ParseDoubleText(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    MatchedNumber number;
    if (!MatchNumber(text, number)) return 0.0;
    double value = 0.0;
    if (!number.zero) {
        const std::string plain = number.digits + "e" + std::to_string(number.exponent);
        const std::from_chars_result result =
            std::from_chars(plain.data(), plain.data() + plain.size(), value);
        if (result.ec == std::errc::result_out_of_range) {
            // Out of range only far beyond 1 (above the largest double) or far below it (below
            // half the smallest subnormal): the magnitude tells which.
            value = number.magnitude > 0 ? std::numeric_limits<double>::max() : 0.0;
        }
    }
    return number.negative ? -value : value;
}

float ParseFloatText(std::string_view text) {
    // Clamped before narrowing: a double beyond the largest float would narrow to infinity,
    // and one just above it rounds down to it anyway.
    constexpr double kLargest = std::numeric_limits<float>::max();
    return static_cast<float>(std::clamp(ParseDoubleText(text), -kLargest, kLargest));
}

}  // namespace flanger
