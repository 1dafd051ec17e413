#pragma once

#include <cstdint>

#include "recording/rise_summary.h"

namespace ictalscope {

// The first k in [from, end) at which V[k] - V[k - 1] is not below `floor` (a NaN difference
// counts as found), or `end` when there is none. `from` is at least 1. Between spikes the
// detector spends nearly all its time here, so the search compares several samples at once, and
// with the samples' rise summary (`rises`, may be null) it reads only the blocks that may hold
// such a rise.
int32_t FindPossibleRise(const double* v, int32_t from, int32_t end, double floor,
                         const RiseSummary* rises = nullptr);

}  // namespace ictalscope
