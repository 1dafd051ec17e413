#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <vector>

namespace ictalscope {

// The least and the greatest of some values; empty (min > max) before the first one.
struct MinMax {
  double min = std::numeric_limits<double>::infinity();
  double max = -std::numeric_limits<double>::infinity();

  bool empty() const { return min > max; }
  void Add(double value) {
    min = std::min(min, value);
    max = std::max(max, value);
  }
  void Add(const MinMax& other) {
    min = std::min(min, other.min);
    max = std::max(max, other.max);
  }
  bool operator==(const MinMax&) const = default;
};

// The least and the greatest sample of any range of samples of one or two arrays of the same
// length, both arrays counted. Level 0 of the pyramid holds the extremes of each whole block of
// kBlockSamples samples, each level above those of kFanOut whole nodes of the level below. A
// range takes the nodes that lie inside it, the highest that fit, and reads the samples at its
// edges that fill no whole block: the answer is exact.
class MinMaxPyramid {
 public:
  static constexpr int64_t kBlockSamples = 32;
  static constexpr int64_t kFanOut = 8;

  // Covers samples 0 .. count - 1 of `sources` (the second may be null). More samples of the
  // arrays already covered only add the blocks they complete; other arrays, or fewer samples,
  // build the pyramid afresh.
  void Cover(std::array<const double*, 2> sources, int64_t count);
  int64_t count() const { return count_; }
  // How many times the pyramid was built afresh.
  int builds() const { return builds_; }

  // Samples [begin, end) of both sources, clamped to the covered ones.
  MinMax Of(int64_t begin, int64_t end) const;

 private:
  MinMax Scan(int64_t begin, int64_t end) const;
  void Extend();

  std::array<const double*, 2> sources_{};
  int64_t count_ = 0;
  int builds_ = 0;
  std::vector<std::vector<MinMax>> levels_;
};

}  // namespace ictalscope
