#include "analysis/lowest_sample.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ictalscope {
namespace {

double PlainLowest(const double* v, int32_t first, int32_t end, double low) {
  for (int32_t k = first; k < end; ++k) {
    if (v[k] < low) low = v[k];
  }
  return low;
}

}  // namespace

double LowestSample(const double* v, int32_t first, int32_t end, double start) {
#if defined(__SSE2__)
  if (start != start || end - first < 16) return PlainLowest(v, first, end, start);
  // minpd(a, b) is `a < b ? a : b`, the loop's own step, so each lane keeps the lowest of its
  // samples and the start. Lanes differ only in which zero they keep when the lowest value is
  // zero: then the plain loop decides which one comes first.
  const __m128d start2 = _mm_set1_pd(start);
  __m128d low0 = start2, low1 = start2, low2 = start2, low3 = start2;
  int32_t k = first;
  for (; k + 8 <= end; k += 8) {
    low0 = _mm_min_pd(_mm_loadu_pd(v + k), low0);
    low1 = _mm_min_pd(_mm_loadu_pd(v + k + 2), low1);
    low2 = _mm_min_pd(_mm_loadu_pd(v + k + 4), low2);
    low3 = _mm_min_pd(_mm_loadu_pd(v + k + 6), low3);
  }
  alignas(16) double lanes[8];
  _mm_store_pd(lanes, low0);
  _mm_store_pd(lanes + 2, low1);
  _mm_store_pd(lanes + 4, low2);
  _mm_store_pd(lanes + 6, low3);
  double low = PlainLowest(lanes, 0, 8, start);
  low = PlainLowest(v, k, end, low);
  if (low == 0) return PlainLowest(v, first, end, start);
  return low;
#else
  return PlainLowest(v, first, end, start);
#endif
}

}  // namespace ictalscope
