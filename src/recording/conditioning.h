#pragma once

#include <cstdint>
#include <optional>

#include "base/text_output.h"
#include "recording/drawn_run.h"
#include "recording/workspace.h"

namespace ictalscope {

// The steps that a load runs around the reading of a record: refresh of the plot step, the
// filter coefficient and the stimulation timing; smoothing, drawing and dumping of each sample.
// One object per load; it holds "V.dat" while the load runs and closes it when destroyed, so a
// load that stops on a failure leaves no file open.
//
// Smoothing is a first-order exponential filter in long double, stored as double:
//   Filtered[0] = V[0];  Filtered[k] = FilterCoef * Filtered[k-1] + (1 - FilterCoef) * V[k].
// Sample k is drawn (and dumped) when k > 2 and k is a multiple of |PlotStep|, at
// x = k * AcqTime / 1000 s: the smoothed value first when "Filter" is ticked, then the raw one.
// The drawn samples are recorded as one run on series "V", not copied.
class Conditioning {
 public:
  explicit Conditioning(Workspace& ws) : ws_(ws) {}

  // Before the file is looked for: PlotStep, "V.dat" created when ticked, FilterCoef when
  // "Filter" is ticked, stimulation refresh when "Stimulation" is ticked.
  void BeginLoad();
  // After the samples V[first..last] of the record are stored; called in consecutive chunks
  // from first = 0. The check boxes are read once per call (no events run inside the loop).
  // PlotStep 0 throws "Division by zero" at the first k > 2 of the chunk.
  void ConditionSamples(int32_t first, int32_t last);
  // After the recording file is closed. With "Filter" ticked the record gets
  // V[0..LastIndex] := Filtered (the two arrays trade places, so that the raw samples the chart
  // shows stay where they are); with "V.dat" ticked "V.dat" is closed.
  void EndLoad();
  // Closes "V.dat" if it is open (a load that ends without reading a file).
  void Abort();

 private:
  void Smooth(int32_t first, int32_t last);
  void Draw(int32_t first, int32_t last, bool filter, bool dump);
  void StartRun(int64_t first, int64_t step, bool filter);
  void DrawAndDumpPoint(int64_t k, double y);
  void KeepSmoothedValues();

  Workspace& ws_;
  std::optional<TextOutput> vdat_;
  std::optional<DrawnRun> run_;  // the samples drawn so far, once the first is
  int64_t points_ = 0;
};

// FilterCoef := exp(-Trace.AcqTime / tau), shown in the "a" field.
void RefreshFilterCoef(Workspace& ws);
// StimInterval := 1000 / StimHz, read back into IntervalMs; DelayMs, DurationMs from the panel.
void RefreshStimTiming(Workspace& ws);

}  // namespace ictalscope
