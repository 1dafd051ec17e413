#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "recording/chart.h"
#include "recording/rise_summary.h"
#include "recording/stim_timing.h"

namespace ictalscope {

// What "Spikes" reads besides the samples: the dt_Vrest field and, in stimulation mode, the
// stimulation timing as last captured.
struct SpikeSettings {
  double dt_Vrest_ms = 50;
  bool stimulation = false;
  StimTiming stim;
};

// The spikes of one record: index i of each column is spike i + 1 (the spike table numbers them
// from 1). Times in ms from the first sample, voltages in mV.
struct SpikeRun {
  std::vector<double> VT, tsp, Vpeak, tpeak, Vrest, Vmin, AHP;
  // Whether Vmin and AHP of the last spike were written: false when the record ended inside it
  // and no earlier, discarded event of its number had ended (its Vmin and AHP are then NaN, and
  // the spike table keeps what an earlier run left there).
  bool last_end_written = true;
  // The run stopped at an onset for which the table had no room.
  bool table_full = false;
  // The marker points, in the order they were found: "th", " peak        ", "V_min".
  std::vector<ChartPoint> th, peak, V_min;

  int32_t count() const { return static_cast<int32_t>(VT.size()); }
};

// One forward pass over v (sample k at k * acq_ms). A spike begins at the first sample from 15
// on whose rise from the previous one is faster than 10 mV/ms, and ends at the first later
// sample more than 2 ms after its running peak at which the curvature of the slope is
// positive. Vrest is the lowest V of the dt_Vrest window that ends at the onset. A spike is
// settled only when the next one begins: in normal mode it is kept when it rose more than
// 5 mV, otherwise the next takes its number; its peak marker is drawn then. In stimulation
// mode the samples of every stimulus artefact are skipped and nothing is discarded. At most
// SpikeTable::kCapacity spikes; a further onset ends the run with table_full.
// Throws Error for an AcqTime of 0 ("Floating point division by zero" or "Invalid floating
// point operation", as the first division faults) and for stimulation settings that would hold
// the scan ("Stimulation interval must be positive"). `rises`, when given, is the rise summary
// of v (it only saves reading samples; the result is the same without it).
SpikeRun DetectSpikes(std::span<const double> v, double acq_ms, const SpikeSettings& settings,
                      const RiseSummary* rises = nullptr);

}  // namespace ictalscope
