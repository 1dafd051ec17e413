#include "recording/rise_summary.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

namespace ictalscope {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr int32_t kBlock = RiseSummary::kBlockSamples;

// A noisy trace of `n` samples with a few fast rises, and the special values of `specials`
// placed at their indices.
std::vector<double> NoisyTrace(int32_t n, uint32_t seed,
                               const std::vector<std::pair<int32_t, double>>& specials = {}) {
  std::mt19937 random(seed);
  std::normal_distribution<double> noise(0.0, 0.05);
  std::vector<double> v(static_cast<size_t>(n));
  double level = -60;
  for (int32_t k = 0; k < n; ++k) {
    if (random() % 997 == 0) level += 30;  // an upstroke
    level += (-60 - level) * 0.05;
    v[static_cast<size_t>(k)] = level + noise(random);
  }
  for (const auto& [at, value] : specials) v[static_cast<size_t>(at)] = value;
  return v;
}

// The first k in [from, end) whose rise is not below the floor, read sample by sample.
int32_t FirstRise(const std::vector<double>& v, int32_t from, int32_t end, double floor) {
  for (int32_t k = from; k < end; ++k) {
    if (!(v[k] - v[k - 1] < floor)) return k;
  }
  return end;
}

// Every vector width this processor has gives the plain loop's maximum, over ranges that end on
// and off the widths' steps, with NaN and infinite samples anywhere in them.
TEST(MaxRise, EveryWidthGivesThePlainMaximum) {
  const std::vector<std::vector<std::pair<int32_t, double>>> specials = {
      {}, {{40, kNaN}}, {{3, kInf}}, {{57, -kInf}}, {{20, kInf}, {21, kInf}}, {{63, kNaN}}};
  for (size_t s = 0; s < specials.size(); ++s) {
    const std::vector<double> v = NoisyTrace(80, static_cast<uint32_t>(s), specials[s]);
    for (int32_t lo = 1; lo < 20; ++lo) {
      for (int32_t hi = lo; hi <= 80; ++hi) {
        const double plain = MaxRise(v.data(), lo, hi, RiseWidth::kPlain);
        for (RiseWidth width : {RiseWidth::kAvx2, RiseWidth::kAvx512}) {
          if (!HasRiseWidth(width)) continue;
          ASSERT_EQ(MaxRise(v.data(), lo, hi, width), plain)
              << "width " << static_cast<int>(width) << ", case " << s << ", [" << lo << ", " << hi
              << ")";
        }
      }
    }
  }
}

TEST(MaxRise, NaNRiseIsInfiniteAndEmptyRangeMinusInfinite) {
  const std::vector<double> v = {0, 1, kNaN, 3, 4, 5};
  for (RiseWidth width : {RiseWidth::kPlain, RiseWidth::kAvx2, RiseWidth::kAvx512}) {
    if (!HasRiseWidth(width)) continue;
    EXPECT_EQ(MaxRise(v.data(), 1, 2, width), 1.0);
    EXPECT_EQ(MaxRise(v.data(), 1, 4, width), kInf);
    EXPECT_EQ(MaxRise(v.data(), 3, 3, width), -kInf);
  }
}

// However a load cuts the record into chunks, the summary lets a search skip only blocks that
// hold no rise it looks for, and it skips every wholly covered block that holds none.
TEST(RiseSummary, SkipsExactlyTheBlocksWithoutARise) {
  constexpr int32_t kSamples = 5 * kBlock + 300;
  const std::vector<double> v =
      NoisyTrace(kSamples, 7, {{2 * kBlock + 5, kNaN}, {4 * kBlock - 1, kInf}});
  const std::vector<std::vector<int32_t>> chunkings = {
      {3, 16387}, {kSamples - 1}, {0, 1, 2, kBlock - 1, kBlock, 3000, kSamples - 1}};
  for (const std::vector<int32_t>& lasts : chunkings) {
    RiseSummary summary;
    int32_t first = 0;
    for (int32_t last : lasts) {
      last = std::min(last, kSamples - 1);
      summary.Extend(v.data(), first, last);
      first = last + 1;
    }
    const int32_t covered = first;
    ASSERT_EQ(summary.covered(), covered);
    for (double floor : {-kInf, 0.0, 0.1, 0.3, 5.0, 1e300}) {
      for (int32_t from : {1, 15, kBlock - 1, kBlock, 3 * kBlock + 17}) {
        for (int32_t end : {from, kBlock + 9, 4 * kBlock, kSamples - 1, kSamples}) {
          if (end < from) continue;
          const int32_t skipped_to = summary.SkipBlocksBelow(from, end, floor);
          const int32_t first_rise = FirstRise(v, from, end, floor);
          ASSERT_GE(skipped_to, from);
          ASSERT_LE(skipped_to, first_rise) << "floor " << floor << " [" << from << ", " << end;
          // Where it stopped short of the rise, the block there must hold a rise of its own
          // (perhaps outside [from, end)).
          if (skipped_to < first_rise) {
            const int32_t block_start = skipped_to / kBlock * kBlock;
            const int32_t block_end = std::min(block_start + kBlock, covered);
            ASSERT_EQ(skipped_to, std::max(from, block_start));
            ASSERT_LT(FirstRise(v, std::max(block_start, 1), block_end, floor), block_end)
                << "a block without a rise was read, floor " << floor << " at " << skipped_to;
          }
        }
      }
    }
  }
}

TEST(RiseSummary, ChunksThatDoNotFollowOnAreNotTakenIn) {
  const std::vector<double> v = NoisyTrace(3 * kBlock, 3);
  RiseSummary summary;
  summary.Extend(v.data(), 0, 99);
  summary.Extend(v.data(), 150, 2 * kBlock);  // samples 100..149 were never seen
  EXPECT_EQ(summary.covered(), 0);
  summary.Extend(v.data(), 2 * kBlock + 1, 3 * kBlock - 1);
  EXPECT_EQ(summary.covered(), 0);
  // Nothing covered: nothing is skipped.
  EXPECT_EQ(summary.SkipBlocksBelow(1, 3 * kBlock, 1e300), 1);
  summary.Extend(v.data(), 0, 3 * kBlock - 1);  // a new load from sample 0
  EXPECT_EQ(summary.covered(), 3 * kBlock);
  EXPECT_EQ(summary.SkipBlocksBelow(1, 3 * kBlock, 1e300), 3 * kBlock);
  summary.Clear();
  EXPECT_EQ(summary.SkipBlocksBelow(1, 3 * kBlock, 1e300), 1);
}

// A block only partly taken in is read, whatever its first part held.
TEST(RiseSummary, PartlyCoveredBlockIsNeverSkipped) {
  std::vector<double> v(2 * kBlock, -60.0);
  v[kBlock + 500] = 0;  // a rise of 60 mV beyond what is taken in
  RiseSummary summary;
  summary.Extend(v.data(), 0, kBlock + 10);
  EXPECT_EQ(summary.SkipBlocksBelow(1, 2 * kBlock, 1.0), kBlock);
  // A scan that ends within what is covered may skip the block's covered part.
  EXPECT_EQ(summary.SkipBlocksBelow(1, kBlock + 11, 1.0), kBlock + 11);
}

}  // namespace
}  // namespace ictalscope
