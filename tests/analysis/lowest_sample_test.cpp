#include "analysis/lowest_sample.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

namespace ictalscope {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

double LoopLowest(const std::vector<double>& v, int32_t first, int32_t end, double start) {
  double low = start;
  for (int32_t k = first; k < end; ++k) {
    if (v[k] < low) low = v[k];
  }
  return low;
}

// The same value as the loop, bit for bit (NaN as NaN, each zero with its sign), for windows
// of every length around the vector steps, with NaN samples, both zeros, infinities and a NaN
// start.
TEST(LowestSample, IsWhatTheLoopLeaves) {
  struct Case {
    const char* name;
    std::vector<std::pair<int32_t, double>> placed;  // samples set over the noise
    double start;
  };
  const Case cases[] = {
      {"noise", {}, -60},
      {"NaN samples", {{3, kNaN}, {17, kNaN}, {30, kNaN}}, -60},
      {"a NaN start", {{5, -90}}, kNaN},
      {"plus zero before minus zero", {{6, 0.0}, {13, -0.0}, {21, -0.0}}, 1},
      {"minus zero before plus zero", {{2, -0.0}, {9, 0.0}, {10, 0.0}}, 1},
      {"a zero start", {{8, 0.0}, {9, -0.0}}, -0.0},
      {"minus infinity", {{25, -INFINITY}}, -60},
      {"the start lowest", {}, -1e9},
  };
  for (const Case& c : cases) {
    std::mt19937 random(11);
    std::uniform_real_distribution<double> noise(0.5, 20.0);
    std::vector<double> v(40);
    for (double& x : v) x = noise(random);
    for (const auto& [at, value] : c.placed) v[at] = value;
    for (int32_t first = 0; first < 12; ++first) {
      for (int32_t end = first; end <= 40; ++end) {
        const double expected = LoopLowest(v, first, end, c.start);
        const double got = LowestSample(v.data(), first, end, c.start);
        ASSERT_EQ(std::isnan(got), std::isnan(expected)) << c.name << " [" << first << ", " << end;
        if (std::isnan(expected)) continue;
        ASSERT_EQ(got, expected) << c.name << " [" << first << ", " << end << ")";
        ASSERT_EQ(std::signbit(got), std::signbit(expected))
            << c.name << " [" << first << ", " << end << ")";
      }
    }
  }
}

}  // namespace
}  // namespace ictalscope
