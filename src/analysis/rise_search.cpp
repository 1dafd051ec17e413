#include "analysis/rise_search.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#include <xmmintrin.h>
#endif

namespace ictalscope {
namespace {

inline bool MayRise(const double* v, int32_t k, double floor) { return !(v[k] - v[k - 1] < floor); }

#if defined(__SSE2__)
// True when any of the eight differences V[k] - V[k - 1], k = from .. from + 7, is not below
// the floor. The subtraction and the unordered comparison round and treat NaN exactly as the
// one-sample test does.
inline bool AnyOfEightMayRise(const double* v, int32_t from, __m128d floor) {
  const double* p = v + from;
  // The hardware prefetcher alone leaves the scan waiting on memory; 2 KiB ahead keeps it fed.
  _mm_prefetch(reinterpret_cast<const char*>(p + 256), _MM_HINT_T0);
  __m128d found = _mm_setzero_pd();
  for (int pair = 0; pair < 8; pair += 2) {
    const __m128d rise = _mm_sub_pd(_mm_loadu_pd(p + pair), _mm_loadu_pd(p + pair - 1));
    found = _mm_or_pd(found, _mm_cmpnlt_pd(rise, floor));
  }
  return _mm_movemask_pd(found) != 0;
}
#endif

int32_t ScanForRise(const double* v, int32_t from, int32_t end, double floor) {
  int32_t k = from;
#if defined(__SSE2__)
  const __m128d floor2 = _mm_set1_pd(floor);
  while (k <= end - 8 && !AnyOfEightMayRise(v, k, floor2)) k += 8;
#endif
  while (k < end && !MayRise(v, k, floor)) ++k;
  return k;
}

}  // namespace

int32_t FindPossibleRise(const double* v, int32_t from, int32_t end, double floor,
                         const RiseSummary* rises) {
  if (from >= end || rises == nullptr || rises->covered() == 0) {
    return ScanForRise(v, from, end, floor);
  }
  constexpr int64_t kBlock = RiseSummary::kBlockSamples;
  for (int32_t k = from; k < end;) {
    k = rises->SkipBlocksBelow(k, end, floor);
    if (k == end) break;
    const auto block_end = static_cast<int32_t>(std::min<int64_t>((k / kBlock + 1) * kBlock, end));
    const int32_t found = ScanForRise(v, k, block_end, floor);
    if (found < block_end) return found;
    k = block_end;
  }
  return end;
}

}  // namespace ictalscope
