#include "recording/rise_summary.h"

#include <algorithm>
#include <cmath>
#include <limits>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace ictalscope {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// The largest of V[k] - V[k - 1] for k in [lo, hi), each rounded to double; +inf when any of
// them is NaN; -inf for an empty range.
double PlainMaxRise(const double* v, int32_t lo, int32_t hi) {
  double max = -kInf;
  bool nan = false;
  for (int32_t k = lo; k < hi; ++k) {
    const double rise = v[k] - v[k - 1];
    nan |= rise != rise;
    max = rise > max ? rise : max;
  }
  return nan ? kInf : max;
}

#if defined(__x86_64__)
// Eight rises at a time. A maximum drops a NaN rise, so an unordered comparison keeps them.
__attribute__((target("avx2"))) double WideMaxRise(const double* v, int32_t lo, int32_t hi) {
  __m256d max0 = _mm256_set1_pd(-kInf), max1 = max0;
  __m256d nan0 = _mm256_setzero_pd(), nan1 = nan0;
  int32_t k = lo;
  for (; k + 8 <= hi; k += 8) {
    const __m256d rise0 = _mm256_sub_pd(_mm256_loadu_pd(v + k), _mm256_loadu_pd(v + k - 1));
    const __m256d rise1 = _mm256_sub_pd(_mm256_loadu_pd(v + k + 4), _mm256_loadu_pd(v + k + 3));
    max0 = _mm256_max_pd(rise0, max0);
    max1 = _mm256_max_pd(rise1, max1);
    nan0 = _mm256_or_pd(nan0, _mm256_cmp_pd(rise0, rise0, _CMP_UNORD_Q));
    nan1 = _mm256_or_pd(nan1, _mm256_cmp_pd(rise1, rise1, _CMP_UNORD_Q));
  }
  if (_mm256_movemask_pd(_mm256_or_pd(nan0, nan1)) != 0) return kInf;
  alignas(32) double maxima[4];
  _mm256_store_pd(maxima, _mm256_max_pd(max0, max1));
  double max = PlainMaxRise(v, k, hi);
  for (const double lane : maxima) max = std::max(max, lane);
  return max;
}

// GCC 12's AVX-512 intrinsics start their results from an undefined vector, which it then
// reports as maybe uninitialized.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif
// Sixteen rises at a time; a comparison mask keeps the NaN rises.
__attribute__((target("avx512f"))) double WidestMaxRise(const double* v, int32_t lo, int32_t hi) {
  __m512d max0 = _mm512_set1_pd(-kInf), max1 = max0;
  __mmask8 nan0 = 0, nan1 = 0;
  int32_t k = lo;
  for (; k + 16 <= hi; k += 16) {
    const __m512d rise0 = _mm512_sub_pd(_mm512_loadu_pd(v + k), _mm512_loadu_pd(v + k - 1));
    const __m512d rise1 = _mm512_sub_pd(_mm512_loadu_pd(v + k + 8), _mm512_loadu_pd(v + k + 7));
    max0 = _mm512_max_pd(rise0, max0);
    max1 = _mm512_max_pd(rise1, max1);
    nan0 |= _mm512_cmp_pd_mask(rise0, rise0, _CMP_UNORD_Q);
    nan1 |= _mm512_cmp_pd_mask(rise1, rise1, _CMP_UNORD_Q);
  }
  if ((nan0 | nan1) != 0) return kInf;
  alignas(64) double maxima[8];
  _mm512_store_pd(maxima, _mm512_max_pd(max0, max1));
  double max = PlainMaxRise(v, k, hi);
  for (const double lane : maxima) max = std::max(max, lane);
  return max;
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

#endif

}  // namespace

bool HasRiseWidth(RiseWidth width) {
#if defined(__x86_64__)
  switch (width) {
    case RiseWidth::kAvx512:
      return __builtin_cpu_supports("avx512f");
    case RiseWidth::kAvx2:
      return __builtin_cpu_supports("avx2");
    case RiseWidth::kPlain:
      return true;
  }
#endif
  return width == RiseWidth::kPlain;
}

RiseWidth WidestRiseWidth() {
  static const RiseWidth widest = HasRiseWidth(RiseWidth::kAvx512) ? RiseWidth::kAvx512
                                  : HasRiseWidth(RiseWidth::kAvx2) ? RiseWidth::kAvx2
                                                                   : RiseWidth::kPlain;
  return widest;
}

double MaxRise(const double* v, int32_t lo, int32_t hi, RiseWidth width) {
#if defined(__x86_64__)
  if (width == RiseWidth::kAvx512) return WidestMaxRise(v, lo, hi);
  if (width == RiseWidth::kAvx2) return WideMaxRise(v, lo, hi);
#endif
  (void)width;
  return PlainMaxRise(v, lo, hi);
}

void RiseSummary::Extend(const double* v, int32_t first, int32_t last) {
  if (first != covered_) {
    // Not the continuation of what was taken in: start again, or take in nothing more.
    covered_ = 0;
    if (first != 0) return;
  }
  if (last < first) return;
  const size_t blocks = (static_cast<size_t>(last) >> kBlockShift) + 1;
  if (block_max_.size() < blocks) block_max_.resize(blocks);
  for (int32_t k = std::max(first, 1); k <= last;) {
    const int32_t block = k >> kBlockShift;
    const int32_t block_end = static_cast<int32_t>(
        std::min<int64_t>(int64_t{block + 1} * kBlockSamples, last + int64_t{1}));
    const double max = MaxRise(v, k, block_end);
    const bool block_starts = k == block * kBlockSamples || k == 1;
    double& summary = block_max_[static_cast<size_t>(block)];
    summary = block_starts ? max : std::max(summary, max);
    k = block_end;
  }
  covered_ = last + 1;
}

int32_t RiseSummary::SkipBlocksBelow(int32_t from, int32_t end, double floor) const {
  int32_t k = from;
  while (k < end) {
    const int32_t block = k >> kBlockShift;
    const int64_t block_end = int64_t{block + 1} * kBlockSamples;
    // Only blocks wholly taken in (as far as the scan goes) tell anything.
    if (std::min<int64_t>(block_end, end) > covered_) return k;
    if (!(block_max_[static_cast<size_t>(block)] < floor)) return k;
    if (block_end >= end) return end;
    k = static_cast<int32_t>(block_end);
  }
  return end;
}

}  // namespace ictalscope
