#pragma once

#include <optional>
#include <string>

#include "panel/panel.h"
#include "recording/chart.h"
#include "recording/recording_info.h"
#include "recording/stim_timing.h"
#include "recording/trace.h"

namespace ictalscope {

// The process-wide state that the loader and the conditioning steps share with the analyses.
// It lives from start-up to exit; the sample arrays are allocated once and never cleared.
struct Workspace {
  Workspace(Panel& panel_in, Chart& chart_in) : panel(panel_in), chart(chart_in) {}
  Workspace(const Workspace&) = delete;
  Workspace& operator=(const Workspace&) = delete;

  Panel& panel;
  Chart& chart;

  Trace trace;
  std::string RecordingName;  // taken from the recording-name box at the last click into it
  // What the last load or "two traces" found in its recording; empty before the first and
  // after a name that matched no file.
  std::optional<RecordingInfo> recording;

  // V holds samples written by earlier loads below this index (LastIndex + 1 at most, of every
  // record read), so that they can be kept when the arrays trade places.
  int64_t v_written_end = 0;

  int32_t PlotStep = 0;
  double FilterCoef = 0;
  SampleArray Filtered;
  StimTiming stim;
};

}  // namespace ictalscope
