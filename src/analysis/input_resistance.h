#pragma once

#include <span>
#include <vector>

namespace ictalscope {

// One step of the input-resistance protocol: -50 pA every 10 s.
struct RinStep {
  double t;      // ms: the sample time at which the step is measured
  double Vrest;  // mV: the mean of the baseline window before the step
  double V1;     // mV: the mean of the step window
  double Rin;    // MOhm: (V1 - Vrest) * 1000 / (-50)
};

// The complete steps of the record v (sample k at k * acq_ms), the step window looking back
// from the step when one of `spike_onsets_ms` lies within 100 ms after it. An AcqTime of 0
// throws the division's fault.
std::vector<RinStep> MeasureInputResistance(std::span<const double> v, double acq_ms,
                                            std::span<const double> spike_onsets_ms);

}  // namespace ictalscope
