#include "recording/float_ops.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "recording_fixture.h"

namespace ictalscope {
namespace {

TEST(TruncToInt64, TowardZeroWithinTheRange) {
  EXPECT_EQ(TruncToInt64(2.9L), 2);
  EXPECT_EQ(TruncToInt64(-2.9L), -2);
  EXPECT_EQ(TruncToInt64(-9223372036854775808.0L), INT64_MIN);
  EXPECT_EQ(TruncToInt64(9223372036854775807.0L), INT64_MAX);
  EXPECT_THROW_MSG(TruncToInt64(9223372036854775808.0L), "Invalid floating point operation");
  EXPECT_THROW_MSG(TruncToInt64(-9223372036854775809.0L), "Invalid floating point operation");
  EXPECT_THROW_MSG(TruncToInt64(std::numeric_limits<long double>::quiet_NaN()),
                   "Invalid floating point operation");
  EXPECT_THROW_MSG(TruncToInt64(std::numeric_limits<long double>::infinity()),
                   "Invalid floating point operation");
}

TEST(TruncToInt32, KeepsTheLowBits) {
  EXPECT_EQ(TruncToInt32(-5.5L), -5);
  EXPECT_EQ(TruncToInt32(4294967301.0L), 5);
  EXPECT_EQ(TruncToInt32(2147483648.0L), INT32_MIN);
}

TEST(Divide, ZeroDivisorMessages) {
  EXPECT_EQ(Divide(1, 4), 0.25L);
  EXPECT_THROW_MSG(Divide(1, 0), "Floating point division by zero");
  EXPECT_THROW_MSG(Divide(-1, -0.0L), "Floating point division by zero");
  EXPECT_THROW_MSG(Divide(0, 0), "Invalid floating point operation");
}

}  // namespace
}  // namespace ictalscope
