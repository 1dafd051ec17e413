#pragma once

#include "analysis/analysis_state.h"
#include "recording/workspace.h"

namespace ictalscope {

// The command buttons. Each reads the panel at the moment a step needs it and throws Error with
// the system's message on failure; what it did before the failure stays done.
void RunSpikes(Workspace& ws, SpikeTable& spikes);        // "Spikes"
void RunIID(Workspace& ws, AnalysisState& state);         // "IID"
void RunStat(Workspace& ws, const AnalysisState& state);  // "stat"
void RunRin(Workspace& ws, const SpikeTable& spikes);     // "Rin"
void RunTwoTraces(Workspace& ws);                         // "two traces"

// The commands that read a record, as the front ends run them: after a failed lookup of the
// recording, record or channel the trace holds no record, and the spike table is emptied too,
// so that no analysis runs on the earlier record under the new name.
void RunLoad(Workspace& ws, AnalysisState& state);       // click into the recording-name box
void RunReload(Workspace& ws, AnalysisState& state);     // click into the Analyse field
void RunTwoTraces(Workspace& ws, AnalysisState& state);  // "two traces"

}  // namespace ictalscope
