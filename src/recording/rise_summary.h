#pragma once

#include <cstdint>
#include <vector>

namespace ictalscope {

// The largest of V[k] - V[k - 1] for k in [lo, hi) (v[lo - 1] is read), each rounded to
// double: +inf when any of them is NaN, -inf for an empty range. Computed by the widest vector
// instructions of this processor; each width gives the same result (a width the processor
// lacks is not offered).
enum class RiseWidth { kPlain, kAvx2, kAvx512 };
bool HasRiseWidth(RiseWidth width);
RiseWidth WidestRiseWidth();
double MaxRise(const double* v, int32_t lo, int32_t hi, RiseWidth width = WidestRiseWidth());

// The largest rise V[k] - V[k - 1] (rounded to double, as a scan computes it) within each
// block of kBlockSamples consecutive k, built chunk by chunk while a load stores the samples
// and they are still in the cache. A scan for a rise of at least some floor then skips every
// block whose largest rise is below it without reading its samples. A block holding a NaN
// rise (or an infinite one) is never skipped.
class RiseSummary {
 public:
  static constexpr int kBlockShift = 10;
  static constexpr int32_t kBlockSamples = int32_t{1} << kBlockShift;

  // Forgets every block (keeps the memory).
  void Clear() { covered_ = 0; }

  // Takes in the rises of samples first..last of v, which follow the samples already taken in
  // (first is the number taken in so far; v[first - 1] is read when first > 0).
  void Extend(const double* v, int32_t first, int32_t last);

  // The number of samples taken in: the rises of k in [1, covered()) are summarised.
  int32_t covered() const { return covered_; }

  // The first k in [from, end) that lies in a block which may hold a rise not below `floor`,
  // or `end` when every block to `end` is known to hold none. Blocks not wholly covered are
  // never skipped.
  int32_t SkipBlocksBelow(int32_t from, int32_t end, double floor) const;

 private:
  std::vector<double> block_max_;
  int32_t covered_ = 0;
};

}  // namespace ictalscope
