#include "base/format_fixed.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>

namespace ictalscope {
namespace {

struct FormatCase {
  long double x;
  int width;
  int decimals;
  const char* text;
};

TEST(FormatFixed, WritesTheTable) {
  const FormatCase cases[] = {
      // the panel's default texts
      {10, 2, 2, "10.00"},
      {4, 2, 10, "4.0000000000"},
      {0.0625, 2, 5, "0.06250"},
      {12, 2, 0, "12"},
      {1, 2, 0, " 1"},
      {5, 2, 0, " 5"},
      {-65, 2, 0, "-65"},
      {0.2, 2, 1, "0.2"},
      {1000, 2, 0, "1000"},
      // tables and dumps
      {-65.437, 0, 2, "-65.44"},
      {0.000625, 0, 6, "0.000625"},
      {0.0000625, 2, 5, "0.00006"},
      {1000.0 / 3, 2, 1, "333.3"},
      {0, 0, 3, "0.000"},
      {0, 0, 0, "0"},
      // exact halves round away from zero
      {0.125, 0, 2, "0.13"},
      {2.5, 0, 0, "3"},
      {-2.5, 0, 0, "-3"},
      {0.5, 0, 0, "1"},
      // a double just below a half stays below
      {0.285, 0, 2, "0.28"},
      {1.005, 0, 2, "1.00"},
      // a negative number keeps its sign when it rounds to zero
      {-0.001, 0, 2, "-0.00"},
      // more decimals than the cut holds: zeros stand beyond it
      {0.1, 0, 20, "0.10000000000000001000"},  // 0.1000000000000000055511...
      {123.25, 0, 20, "123.25000000000000000000"},
      // carries through every digit
      {9.996, 0, 2, "10.00"},
      {-999.9996, 0, 3, "-1000.000"},
      // large magnitudes: 18 significant digits, then zeros
      {1e20, 0, 2, "100000000000000000000.00"},
      {123456789012345678901.0L, 0, 0, "123456789012345679000"},
      {1e18L, 0, 1, "1000000000000000000.0"},
      // negative decimals count as 0
      {7.6, 0, -2, "8"},
  };
  for (const FormatCase& c : cases) {
    EXPECT_EQ(FormatFixed(c.x, c.width, c.decimals), c.text)
        << static_cast<double>(c.x) << " w=" << c.width << " d=" << c.decimals;
  }
}

TEST(FormatFixed, RoundsTheCutFormNotTheExactValue) {
  // Just below 0.125 by 2^-66: the 17-digit cut reads 0.12500000000000000, which then rounds up.
  EXPECT_EQ(FormatFixed(0.125L - std::ldexp(1.0L, -66), 0, 2), "0.13");
  // Just below 10 by 2^-60: the cut carries into 10.
  EXPECT_EQ(FormatFixed(10.0L - std::ldexp(1.0L, -60), 0, 2), "10.00");
  // From 10 up the cut keeps 18 significant digits: 12.3449999999999999999 reads 12.3450000...
  EXPECT_EQ(FormatFixed(12.345L - std::ldexp(1.0L, -62), 0, 2), "12.35");
}

TEST(FormatFixed, PadsToTheWidthButNeverCuts) {
  EXPECT_EQ(FormatFixed(-1.5, 7, 2), "  -1.50");
  EXPECT_EQ(FormatFixed(123456.5, 3, 1), "123456.5");
  EXPECT_EQ(FormatFixed(1, 300, 0).size(), 255u);
}

TEST(FormatFixed, WritesSpecialValuesReadably) {
  EXPECT_EQ(FormatFixed(INFINITY, 0, 2), "INF");
  EXPECT_EQ(FormatFixed(-INFINITY, 0, 2), "-INF");
  EXPECT_EQ(FormatFixed(NAN, 0, 2), "NAN");
}

// The cut by the C library's exact conversion (ties to even), then the half-up rounding on the
// decimal text: an independent way to the same result.
std::string ReferenceFormat(long double x, int decimals) {
  const long double m = std::fabs(x);
  char buffer[128];
  std::string digits;
  int scale;
  if (m < 10) {
    std::snprintf(buffer, sizeof buffer, "%.17Lf", m);
    digits = buffer;
    digits.erase(digits.find('.'), 1);
    scale = 17;
  } else {
    std::snprintf(buffer, sizeof buffer, "%.17Le", m);
    const std::string text = buffer;
    digits = text.substr(0, 1) + text.substr(2, 17);
    const int exponent = std::stoi(text.substr(text.find('e') + 1));
    scale = 17 - exponent;
  }
  while (scale < decimals) {
    digits += '0';
    ++scale;
  }
  if (scale > decimals) {
    const int drop = scale - decimals;
    while (static_cast<int>(digits.size()) <= drop) digits.insert(0, "0");
    const bool up = digits[digits.size() - drop] >= '5';
    digits.resize(digits.size() - drop);
    if (up) {
      int i = static_cast<int>(digits.size()) - 1;
      while (i >= 0 && digits[i] == '9') digits[i--] = '0';
      if (i < 0) {
        digits.insert(0, "1");
      } else {
        ++digits[i];
      }
    }
  }
  while (static_cast<int>(digits.size()) <= decimals) digits.insert(0, "0");
  std::string integer = digits.substr(0, digits.size() - decimals);
  integer.erase(0, std::min(integer.find_first_not_of('0'), integer.size() - 1));
  std::string text = (x < 0 ? "-" : "") + integer;
  if (decimals > 0) text += "." + digits.substr(digits.size() - decimals);
  return text;
}

TEST(FormatFixed, AgreesWithAnIndependentConversionOnRandomValues) {
  std::mt19937_64 random(20261208);
  std::uniform_real_distribution<double> exponent(-8, 17);
  std::uniform_int_distribution<int> decimals(0, 12);
  for (int i = 0; i < 20000; ++i) {
    long double x = std::pow(10.0L, exponent(random));
    if (i % 3 == 0) x = static_cast<double>(x);  // the doubles that the tables mostly hold
    if (i % 2 == 0) x = -x;
    const int d = decimals(random);
    ASSERT_EQ(FormatFixed(x, 0, d), ReferenceFormat(x, d)) << static_cast<double>(x) << " " << d;
  }
}

}  // namespace
}  // namespace ictalscope
