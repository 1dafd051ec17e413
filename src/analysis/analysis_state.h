#pragma once

#include <string>

#include "analysis/spike_table.h"

namespace ictalscope {

// What the analyses keep from run to run, beside the workspace.
struct AnalysisState {
  SpikeTable spikes;
  std::string ResultBaseName;    // the recording-name box's text at the last "IID" run
  double ClosingIntervalMs = 0;  // the most recent interval of at least ISImax, kept across runs
};

}  // namespace ictalscope
