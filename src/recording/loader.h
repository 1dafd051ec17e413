#pragma once

#include <string>

#include "recording/workspace.h"

namespace ictalscope {

// Loads record Trunc(Analyse) of the recording `name` into the trace: the file `name` is read
// as a text trace, else `name`.wcp as a binary recording; neither: nothing is loaded and nothing
// reported. Clears no series. Failures are thrown as Error with the system's message.
void LoadRecording(Workspace& ws, const std::string& name);

// The click into the recording-name box: clear the series, take the box's text as the
// recording name, load.
void ClickRecordingName(Workspace& ws);

// The click into the text of the Analyse field: clear the series, load the recording named at
// the last click into the recording-name box.
void ClickAnalyse(Workspace& ws);

// Clears "I", "th", " peak        ", "V_min", "V", "ID" and "IID", in this order.
void ClearSeriesForLoad(Chart& chart);

}  // namespace ictalscope
