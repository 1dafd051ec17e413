#pragma once

#include <string>

#include "recording/workspace.h"

namespace ictalscope {

// Loads record Trunc(Analyse) of the recording `name` into the trace. The file is the first of
// `name`, `name`.wcp and `name`.abf that exists, read by its content: an ABF file, a .wcp file
// (by the classic layout when it fits, else by its header) or a text trace. Clears no series.
// A name that matches no file, a record or a channel that does not exist throw NoRecordError
// and leave the trace without a record; every failure throws Error with the system's message.
void LoadRecording(Workspace& ws, const std::string& name);

// The recording file that `name` names (see LoadRecording). None: ws.recording is forgotten,
// the trace emptied, and NoRecordError("File not found: NAME (nor NAME.wcp, NAME.abf)") thrown.
std::string FindRecording(Workspace& ws, const std::string& name);

// The click into the recording-name box: clear the series, take the box's text as the
// recording name, load.
void ClickRecordingName(Workspace& ws);

// The click into the text of the Analyse field: clear the series, load the recording named at
// the last click into the recording-name box.
void ClickAnalyse(Workspace& ws);

// Clears "I", "th", " peak        ", "V_min", "V", "ID" and "IID", in this order.
void ClearSeriesForLoad(Chart& chart);

}  // namespace ictalscope
