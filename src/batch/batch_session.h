#pragma once

#include "analysis/analysis_state.h"
#include "panel/memory_panel.h"
#include "recording/memory_chart.h"
#include "recording/workspace.h"

namespace ictalscope {

// Everything the window would hold, in memory: the panel, the chart, the workspace and what the
// analyses keep between runs. A change of the tau field runs the tau handler, as in the window.
struct BatchSession {
  BatchSession();
  BatchSession(const BatchSession&) = delete;
  BatchSession& operator=(const BatchSession&) = delete;

  MemoryPanel panel;
  MemoryChart chart;
  Workspace ws{panel, chart};
  AnalysisState analysis;
};

}  // namespace ictalscope
