// Fuzz target: numbers as text. Input: byte 0 picks the decimals (-5 .. 44), byte 1 the width
// (0 .. 510), byte 2 a panel field; the rest is the text.
//
// Properties, besides surviving:
//   - ParseDecimal without blanks accepts only what it accepts with blanks, with the same value;
//     a field's text reads as ParseDecimal with blanks, or as MinValue when that fails or the
//     text is empty or one blank; an integer text reads as the same number both ways and
//     formats back to its decimal digits.
//   - FormatFixed of the parsed value, of the first 8 bytes as a double and of a long double
//     built from them has the fixed-point shape (padding, sign, digits, exactly `decimals`
//     digits after the point) and, within the double range, parses back to within half a unit
//     of its last decimal (plus the 17/18-digit cut and the parse's own rounding).
//   - A value written into a panel field reads back the same way.

#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "base/format_fixed.h"
#include "base/number_text.h"
#include "fuzz_support.h"
#include "panel/field.h"
#include "panel/memory_panel.h"

namespace ictalscope::fuzz {
namespace {

bool SameDouble(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

bool AllDigits(std::string_view text) {
  return text.find_first_not_of("0123456789") == std::string_view::npos;
}

void CheckParsing(std::string_view text) {
  const std::optional<double> with_blanks = ParseDecimal(text, true);
  const std::optional<double> strict = ParseDecimal(text, false);
  if (strict) {
    Expect(with_blanks && SameDouble(*strict, *with_blanks), "blanks allowed: same value");
  }
  constexpr double kMin = -7.25;
  const double read = ReadFieldValue(text, kMin);
  const bool empty = text.empty() || text == " ";
  Expect(SameDouble(read, !empty && with_blanks ? *with_blanks : kMin), "field reads as parsed");
  if (const std::optional<int32_t> integer = ParseInteger(text)) {
    Expect(strict && *strict == *integer, "integer text parses as a decimal");
    Expect(FormatFixed(*integer, 0, 0) == std::to_string(*integer), "integer formats back");
  }
}

// The largest error of FormatFixed(x, 0, decimals) parsed back as a double.
long double Tolerance(long double x, int decimals) {
  const long double m = std::fabs(x);
  const long double rounding = 0.5L * std::pow(10.0L, -static_cast<long double>(decimals));
  const long double cut = 1e-17L * std::fmax(1.0L, m);
  const double d = static_cast<double>(m);
  const long double ulp = std::nextafter(d, HUGE_VAL) - d;
  return rounding * (1 + 1e-15L) + cut + 2 * ulp;
}

void CheckFormat(long double x, int width, int decimals) {
  const std::string text = FormatFixed(x, width, decimals);
  const size_t padded = static_cast<size_t>(std::min(width, 255));
  const size_t start = text.find_first_not_of(' ');
  Expect(start != std::string::npos, "not only blanks");
  const std::string_view core = std::string_view(text).substr(start);
  Expect(start == 0 || text.size() == padded, "padded to the width, no further");
  if (std::isnan(x) || std::isinf(x)) {
    Expect(core == "NAN" || core == "INF" || core == "-INF", "special values named");
    return;
  }
  const int kept = std::max(decimals, 0);
  const bool negative = !core.empty() && core[0] == '-';
  Expect(negative == (x < 0), "sign of a negative number only");
  const std::string_view magnitude = core.substr(negative ? 1 : 0);
  const size_t point = magnitude.find('.');
  const std::string_view integer = magnitude.substr(0, point);
  Expect(!integer.empty() && AllDigits(integer) && (integer.size() == 1 || integer[0] != '0'),
         "integer digits without leading zeros");
  if (kept == 0) {
    Expect(point == std::string_view::npos, "no point without decimals");
  } else {
    Expect(point != std::string_view::npos && magnitude.size() - point - 1 == size_t(kept) &&
               AllDigits(magnitude.substr(point + 1)),
           "exactly `decimals` digits after the point");
  }
  if (std::fabs(x) > DBL_MAX / 2) return;
  const std::optional<double> back = ParseDecimal(core, false);
  Expect(back.has_value(), "formatted text parses back");
  Expect(std::fabs(*back - x) <= Tolerance(x, kept), "formatted text parses back near x");
}

void CheckField(Field field, double x) {
  static MemoryPanel* panel = new MemoryPanel;
  WriteFieldValue(*panel, field, x);
  const double read = FieldValue(*panel, field);
  if (std::isnan(x) || std::isinf(x) || std::fabs(x) > DBL_MAX / 2) return;
  Expect(std::fabs(read - x) <= Tolerance(x, InfoOf(field).decimals), "field reads back near x");
}

}  // namespace
}  // namespace ictalscope::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace ictalscope;
  using namespace ictalscope::fuzz;
  if (size < 3) return -1;
  const int decimals = data[0] % 50 - 5;
  const int width = data[1] * 2;
  const Field field = static_cast<Field>(data[2] % kFieldCount);
  const std::string_view text(reinterpret_cast<const char*>(data + 3), size - 3);
  CheckParsing(text);
  if (const std::optional<double> value = ParseDecimal(text, true)) {
    CheckFormat(*value, width, decimals);
    CheckField(field, *value);
  }
  if (text.size() >= 10) {
    double raw = 0;
    std::memcpy(&raw, text.data(), sizeof raw);
    CheckFormat(raw, width, decimals);
    CheckField(field, raw);
    int16_t exponent = 0;
    std::memcpy(&exponent, text.data() + 8, sizeof exponent);
    uint64_t mantissa = 0;
    std::memcpy(&mantissa, text.data(), sizeof mantissa);
    CheckFormat(std::ldexp(static_cast<long double>(mantissa), exponent % 16400), width, decimals);
  }
  return 0;
}
