#pragma once

namespace ictalscope {

// Stimulation timing in ms, captured from the panel by the stimulation refresh.
struct StimTiming {
  double IntervalMs = 0;
  double DelayMs = 0;
  double DurationMs = 0;
};

}  // namespace ictalscope
