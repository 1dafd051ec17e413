#include "analysis/rise_search.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace ictalscope {
namespace {

constexpr double kFloor = 0.625;  // 10 mV/ms at 0.0625 ms per sample
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// A slowly falling trace of 64 samples with `rise` added to every sample from `at` on, so that
// V[at] - V[at - 1] is the only difference that can reach the floor.
std::vector<double> StepAt(int32_t at, double rise) {
  std::vector<double> v(64);
  for (int32_t k = 0; k < 64; ++k) v[k] = -60.0 - 0.01 * k + (k >= at ? rise : 0.0);
  return v;
}

// Every placement of one rise relative to every start and end, so that the rise falls on each
// position of the blocks that are compared together, on their edges, and outside [from, end).
TEST(FindPossibleRise, FindsTheOneRiseWhereverItLies) {
  for (int32_t at = 1; at < 64; ++at) {
    const std::vector<double> v = StepAt(at, 1.0);
    for (int32_t from = 1; from < 24; ++from) {
      for (int32_t end : {from, from + 1, from + 7, from + 8, from + 9, from + 17, 63, 64}) {
        if (end > 64) continue;
        const int32_t expected = (at >= from && at < end) ? at : end;
        ASSERT_EQ(FindPossibleRise(v.data(), from, end, kFloor), expected)
            << "rise at " << at << ", from " << from << " to " << end;
      }
    }
  }
}

struct RiseCase {
  const char* name;
  double before;    // V[at - 1]; the other samples are -60
  double at_value;  // V[at]
  double floor;
  int32_t found;  // the offset from `at` of the sample found, or kNone
};
constexpr int32_t kNone = 100;

// The test is "V[k] - V[k - 1] not below the floor", in double; a NaN difference is found.
TEST(FindPossibleRise, ComparesTheDifferenceInDouble) {
  const RiseCase cases[] = {
      {"exactly the floor", -60.0, -60.0 + kFloor, kFloor, 0},
      {"just below the floor", -60.0, std::nextafter(-60.0 + kFloor, -100.0), kFloor, kNone},
      {"NaN", -60.0, kNaN, kFloor, 0},
      {"NaN before (found where it enters)", kNaN, -60.0, kFloor, -1},
      {"infinite rise", -60.0, INFINITY, kFloor, 0},
      {"minus infinity (found where it leaves)", -60.0, -INFINITY, kFloor, 1},
      {"no floor: the first sample", -60.0, -61.0, -INFINITY, 0},
  };
  for (const RiseCase& c : cases) {
    for (int32_t at : {10, 16, 21}) {  // inside, at the end and past the first block from 9
      std::vector<double> v(40, -60.0);
      v[at - 1] = c.before;
      v[at] = c.at_value;
      const int32_t expected = c.found == kNone ? 40 : c.floor == -INFINITY ? 9 : at + c.found;
      EXPECT_EQ(FindPossibleRise(v.data(), 9, 40, c.floor), expected) << c.name << " at " << at;
    }
  }
}

// With the samples' rise summary the search finds what it finds without one, wherever it starts
// and ends, on a record with steep rises, NaN and infinite samples in blocks of their own.
TEST(FindPossibleRise, SummaryChangesNothingButTheSamplesRead) {
  constexpr int32_t kBlock = RiseSummary::kBlockSamples;
  constexpr int32_t kSamples = 6 * kBlock + 77;
  std::vector<double> v(kSamples);
  for (int32_t k = 0; k < kSamples; ++k) v[k] = -60.0 + 0.2 * std::sin(k * 0.05);
  for (int32_t at : {5 * kBlock / 2, 4 * kBlock + 3}) v[at] += 40.0;  // two upstrokes
  v[kBlock + 100] = kNaN;
  v[3 * kBlock + 1000] = INFINITY;
  v[6 * kBlock] = -INFINITY;
  RiseSummary rises;
  rises.Extend(v.data(), 0, 3);
  rises.Extend(v.data(), 4, kSamples - 1);
  for (double floor : {kFloor, 0.0, 0.009, 50.0, -kInf}) {
    for (int32_t from : {1, 15, kBlock, kBlock + 101, 5 * kBlock / 2 + 1, 6 * kBlock - 3}) {
      for (int32_t end : {from, 2 * kBlock, 4 * kBlock + 3, kSamples - 1}) {
        if (end < from) continue;
        ASSERT_EQ(FindPossibleRise(v.data(), from, end, floor, &rises),
                  FindPossibleRise(v.data(), from, end, floor))
            << "floor " << floor << " from " << from << " to " << end;
      }
    }
  }
}

}  // namespace
}  // namespace ictalscope
