#include "base/number_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace ictalscope {
namespace {

TEST(ReadFieldValue, ReadsNumbersAndFallsBackToMinValue) {
  const double kMin = -7;  // a MinValue that no text below reads as by accident
  const struct {
    const char* text;
    double value;
  } cases[] = {
      {" 1", 1},           {"1 ", 1},     {"  -2.5  ", -2.5}, {"+.5", 0.5},    {".", 0},
      {"5.", 5},           {"1e3", 1000}, {"1E-2", 0.01},     {"1e", 1},       {"2e+", 2},
      {"0.06250", 0.0625}, {"-65", -65},  {"1e-400", 0},      {"", kMin},      {" ", kMin},
      {"  ", kMin},        {"-", kMin},   {"1,5", kMin},      {"1.5.2", kMin}, {"e3", kMin},
      {"\t1", kMin},       {"1\t", kMin}, {"0x10", kMin},     {"inf", kMin},   {"nan", kMin},
      {"1e400", kMin},     {"1 2", kMin}, {"--1", kMin},      {"1e3.5", kMin}, {"abc", kMin},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReadFieldValue(c.text, kMin), c.value) << "'" << c.text << "'";
  }
}

TEST(ReadFieldValue, GivesTheNearestDouble) {
  EXPECT_EQ(ReadFieldValue("0.05", 0), 0.05);
  EXPECT_EQ(ReadFieldValue("333.3", 0), 333.3);
  EXPECT_EQ(ReadFieldValue("0.00006", 0), 0.00006);
  EXPECT_EQ(ReadFieldValue("1.7976931348623157e308", 0), std::numeric_limits<double>::max());
  EXPECT_EQ(ReadFieldValue("000000000000000000000000000012.5000000000000000000000", 0), 12.5);
  EXPECT_TRUE(std::signbit(ReadFieldValue("-0", 0)));
}

TEST(ParseDecimal, BlanksOnlyWhenAllowed) {
  EXPECT_EQ(ParseDecimal(" 6.25E-5 ", true), 6.25e-5);
  EXPECT_FALSE(ParseDecimal(" 6.25E-5", false));
  EXPECT_FALSE(ParseDecimal("", true));
  EXPECT_FALSE(ParseDecimal(std::string_view("1\0", 2), true));
}

TEST(ParseInteger, TakesASignAndDigitsOnly) {
  EXPECT_EQ(ParseInteger("12"), 12);
  EXPECT_EQ(ParseInteger("+3"), 3);
  EXPECT_EQ(ParseInteger("-3"), -3);
  EXPECT_EQ(ParseInteger("2147483647"), 2147483647);
  EXPECT_EQ(ParseInteger("-2147483648"), std::numeric_limits<int32_t>::min());
  for (const char* bad : {"", "-", " 3", "3 ", "1.0", "2147483648", "-2147483649", "1e3", "0x1"}) {
    EXPECT_FALSE(ParseInteger(bad)) << "'" << bad << "'";
  }
}

}  // namespace
}  // namespace ictalscope
