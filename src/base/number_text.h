#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace ictalscope {

// Converts a decimal number written as: optional blanks (when `blanks` is true; the space
// character only), an optional sign, digits with an optional "." and further digits, an optional
// exponent ("E" or "e", optional sign, digits; no digits mean exponent 0), optional blanks, and
// nothing else. At least one digit or the "." must be present. "." is the decimal point whatever
// the locale. The result is the double nearest to the decimal value; a value too large for a
// double fails, a value too small becomes 0.
std::optional<double> ParseDecimal(std::string_view text, bool blanks);

// The same grammar; the result is the double nearest to the decimal value times
// 10^`power_of_ten`, scaled exactly before it is rounded ("6.25E-5" with 3 gives 0.0625).
std::optional<double> ParseScaledDecimal(std::string_view text, bool blanks, int power_of_ten);

// An optional sign and decimal digits, nothing else, within the range of a 32-bit integer.
std::optional<int32_t> ParseInteger(std::string_view text);

// The value of a field's text: an empty text, a text of one blank, or a text that is no number
// reads as `min_value`. The result is not bounded.
double ReadFieldValue(std::string_view text, double min_value);

}  // namespace ictalscope
