#pragma once

#include <cstdint>
#include <vector>

#include "recording/trace.h"

namespace ictalscope::testing {

// A corner of a piecewise-linear trace: V[index] = mv.
struct Knot {
  int32_t index;
  double mv;
};

// Samples 0 .. knots.back().index, joined linearly between knots (ascending indices, the first
// at 0): V[k] = a.mv + (b.mv - a.mv) * (k - a.index) / (b.index - a.index).
std::vector<double> PiecewiseLinear(const std::vector<Knot>& knots);

// The knots of the test spike with its onset at `onset`, on a baseline of `base_mv`: from
// V[onset - 1] = base it rises 10 mV per sample to base + 80 at onset + 7 (the peak), falls
// 1.125 mV per sample to base - 10 at onset + 87 (where it ends), and climbs 0.5 mV per sample
// back to base at onset + 107. At AcqTime 0.0625 ms no rise but the first one is faster than
// 10 mV/ms.
void AddSpikeKnots(std::vector<Knot>& knots, int32_t onset, double base_mv);
inline constexpr int32_t kSpikeLength = 108;  // from onset - 1 back to the baseline

// A baseline of `base_mv` from sample 0 to `last_index` with a test spike at each onset.
std::vector<double> SpikeTrain(int32_t last_index, double base_mv,
                               const std::vector<int32_t>& onsets);

// Makes `v` the loaded record: V[0 .. v.size() - 1].
void SetTrace(Trace& trace, const std::vector<double>& v, double acq_time_ms,
              int32_t record_no = 1);

}  // namespace ictalscope::testing
