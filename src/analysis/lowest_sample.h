#pragma once

#include <cstdint>

namespace ictalscope {

// What `low = start; for k in [first, end): if (v[k] < low) low = v[k];` leaves in `low`: the
// lowest of start and the samples (NaN samples never replace it; a NaN start stays). The
// look-back window of every spike is searched so; the samples are compared several at a time.
double LowestSample(const double* v, int32_t first, int32_t end, double start);

}  // namespace ictalscope
