#include "base/format_fixed.h"

#include <cmath>
#include <cstdint>
#include <vector>

namespace ictalscope {

namespace {

using u128 = unsigned __int128;

// A non-negative decimal number: the integer `digits` divided by 10^`scale` (scale may be
// negative: digits times a power of ten).
struct DecimalForm {
  std::string digits;
  int scale;
};

constexpr int kDigitsBelowTen = 17;     // digits after the point kept below 10
constexpr int kSignificantDigits = 18;  // significant digits kept from 10 up

std::string ToDigits(uint64_t value) { return std::to_string(value); }

// value / 2^shift rounded to nearest, ties to even.
uint64_t ShiftRoundEven(u128 value, int shift) {
  if (shift <= 0) return static_cast<uint64_t>(value << -shift);
  if (shift >= 127) return 0;
  const u128 quotient = value >> shift;
  const u128 remainder = value - (quotient << shift);
  const u128 half = u128{1} << (shift - 1);
  const bool up = remainder > half || (remainder == half && (quotient & 1) != 0);
  return static_cast<uint64_t>(quotient + (up ? 1 : 0));
}

constexpr uint64_t Pow10(int n) {
  uint64_t p = 1;
  for (int i = 0; i < n; ++i) p *= 10;
  return p;
}

// The cut of the first rounding for a magnitude below 10^18, exactly, in 128-bit integers:
// m = mantissa * 2^exponent with a 64-bit mantissa.
DecimalForm CutSmall(long double m) {
  if (m == 0) return {"0", kDigitsBelowTen};
  int e = 0;
  const long double fraction = std::frexp(m, &e);
  const u128 mantissa = static_cast<uint64_t>(std::ldexp(fraction, 64));
  const int exponent = e - 64;
  int integer_digits_minus_one = 0;  // p with 10^p <= m < 10^(p+1), for m >= 10
  while (integer_digits_minus_one < 17 &&
         m >= static_cast<long double>(Pow10(integer_digits_minus_one + 1))) {
    ++integer_digits_minus_one;
  }
  const int scale = m < 10 ? kDigitsBelowTen : kSignificantDigits - 1 - integer_digits_minus_one;
  // m * 10^scale = mantissa * 5^scale * 2^(scale + exponent)
  u128 scaled = mantissa;
  for (int i = 0; i < scale; ++i) scaled *= 5;
  return {ToDigits(ShiftRoundEven(scaled, -(scale + exponent))), scale};
}

// Big natural numbers in base 10^9, for the exact expansion of magnitudes from 10^18 up.
class BigNatural {
 public:
  explicit BigNatural(uint64_t value) {
    while (value > 0) {
      limbs_.push_back(static_cast<uint32_t>(value % kBase));
      value /= kBase;
    }
  }
  void MultiplyBy(uint32_t factor) {
    uint64_t carry = 0;
    for (uint32_t& limb : limbs_) {
      const uint64_t product = uint64_t{limb} * factor + carry;
      limb = static_cast<uint32_t>(product % kBase);
      carry = product / kBase;
    }
    while (carry > 0) {
      limbs_.push_back(static_cast<uint32_t>(carry % kBase));
      carry /= kBase;
    }
  }
  std::string ToDigits() const {
    if (limbs_.empty()) return "0";
    std::string text = std::to_string(limbs_.back());
    for (size_t i = limbs_.size() - 1; i-- > 0;) {
      const std::string limb = std::to_string(limbs_[i]);
      text.append(9 - limb.size(), '0').append(limb);
    }
    return text;
  }

 private:
  static constexpr uint64_t kBase = 1'000'000'000;
  std::vector<uint32_t> limbs_;
};

// Rounds `form` to `decimals` digits after the point (decimals may be negative). Ties: to even
// when `half_even`, else away from zero; only the first dropped digit and, for ties to even,
// whether any later one is non-zero, decide.
void RoundForm(DecimalForm& form, int decimals, bool half_even) {
  const int drop = form.scale - decimals;
  if (drop <= 0) return;
  std::string& d = form.digits;
  if (static_cast<int>(d.size()) < drop) d.insert(0, drop - d.size(), '0');
  const size_t keep = d.size() - drop;
  const char first_dropped = d[keep];
  const bool rest_nonzero = d.find_first_not_of('0', keep + 1) != std::string::npos;
  bool up = first_dropped >= '5';
  if (half_even && first_dropped == '5' && !rest_nonzero) {
    up = keep > 0 && (d[keep - 1] - '0') % 2 == 1;
  }
  d.resize(keep);
  if (d.empty()) d.push_back('0');
  if (up) {
    int i = static_cast<int>(d.size()) - 1;
    while (i >= 0 && d[i] == '9') d[i--] = '0';
    if (i < 0) {
      d.insert(0, 1, '1');
    } else {
      ++d[i];
    }
  }
  form.scale = decimals;
}

// The exact decimal expansion of a magnitude from 10^18 up, cut to 18 significant digits.
DecimalForm CutLarge(long double m) {
  int e = 0;
  const long double fraction = std::frexp(m, &e);
  BigNatural value(static_cast<uint64_t>(std::ldexp(fraction, 64)));
  int exponent = e - 64;
  DecimalForm form{"", 0};
  if (exponent >= 0) {
    for (; exponent >= 28; exponent -= 28) value.MultiplyBy(1u << 28);
    value.MultiplyBy(1u << exponent);
  } else {
    // mantissa / 2^k = mantissa * 5^k / 10^k
    for (int k = 0; k < -exponent; ++k) value.MultiplyBy(5);
    form.scale = -exponent;
  }
  form.digits = value.ToDigits();
  const int integer_digits = static_cast<int>(form.digits.size()) - form.scale;
  RoundForm(form, kSignificantDigits - integer_digits, true);
  return form;
}

// `form` has exactly `decimals` digits after the point.
std::string WriteFixed(bool negative, const DecimalForm& form, int decimals) {
  std::string digits = form.digits;
  if (static_cast<int>(digits.size()) <= decimals) {
    digits.insert(0, decimals + 1 - digits.size(), '0');
  }
  const size_t point = digits.size() - decimals;
  size_t first = digits.find_first_not_of('0');
  if (first == std::string::npos || first >= point) first = point - 1;
  std::string text = negative ? "-" : "";
  text.append(digits, first, point - first);
  if (decimals > 0) text.append(".").append(digits, point, std::string::npos);
  return text;
}

std::string Pad(std::string text, int width) {
  if (width > 255) width = 255;
  if (static_cast<int>(text.size()) < width) text.insert(0, width - text.size(), ' ');
  return text;
}

}  // namespace

std::string FormatFixed(long double x, int width, int decimals) {
  if (std::isnan(x)) return Pad("NAN", width);
  if (std::isinf(x)) return Pad(x < 0 ? "-INF" : "INF", width);
  if (decimals < 0) decimals = 0;
  const long double m = std::fabs(x);
  DecimalForm form = m < 1e18L ? CutSmall(m) : CutLarge(m);
  if (form.scale > decimals) {
    RoundForm(form, decimals, false);
  } else {
    form.digits.append(decimals - form.scale, '0');
    form.scale = decimals;
  }
  return Pad(WriteFixed(x < 0, form, decimals), width);
}

}  // namespace ictalscope
