#pragma once

#include "analysis/analysis_state.h"
#include "recording/workspace.h"

namespace ictalscope {

// The command buttons. Each reads the panel at the moment a step needs it and throws Error with
// the system's message on failure; what it did before the failure stays done.
void RunSpikes(Workspace& ws, SpikeTable& spikes);       // "Spikes"
void RunIID(Workspace& ws, AnalysisState& state);        // "IID"
void RunStat(Workspace& ws, const AnalysisState& state);  // "stat"
void RunRin(Workspace& ws, const SpikeTable& spikes);    // "Rin"
void RunTwoTraces(Workspace& ws);                        // "two traces"

}  // namespace ictalscope
