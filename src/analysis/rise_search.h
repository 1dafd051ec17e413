#pragma once

#include <cstdint>

namespace ictalscope {

// The first k in [from, end) at which V[k] - V[k - 1] is not below `floor` (a NaN difference
// counts as found), or `end` when there is none. `from` is at least 1. Between spikes the
// detector spends nearly all its time here, so the search compares several samples at once.
int32_t FindPossibleRise(const double* v, int32_t from, int32_t end, double floor);

}  // namespace ictalscope
