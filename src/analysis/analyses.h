#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "analysis/analysis_state.h"
#include "recording/workspace.h"

namespace ictalscope {

// "Spikes", "IID" and "Rin" on a trace without a sample refuse with this, before anything else.
inline constexpr const char* kNoRecordingLoaded = "No recording loaded";

// What an "IID" run wrote.
struct IidSummary {
  std::string base;               // ResultBaseName: the tables are base + "IID", "mean", ...
  int32_t discharges = 0;         // IID discharges (rows of "mean")
  int32_t id_discharges = 0;      // of them ID discharges (rows of "ID")
  std::array<int32_t, 5> rows{};  // rows written to "IID", "mean", "ID", "_sp", "_1sp"
};

// What a "stat" run read and wrote.
struct StatSummary {
  std::string input;   // the discharge table read
  std::string output;  // input + "m"
  size_t discharges = 0;
};

// What a "Rin" run wrote.
struct RinSummary {
  std::string file;
  size_t steps = 0;
};

// The command buttons. Each reads the panel at the moment a step needs it and throws Error with
// the system's message on failure; what it did before the failure stays done.
void RunSpikes(Workspace& ws, SpikeTable& spikes);               // "Spikes"
IidSummary RunIID(Workspace& ws, AnalysisState& state);          // "IID"
StatSummary RunStat(Workspace& ws, const AnalysisState& state);  // "stat"
RinSummary RunRin(Workspace& ws, const SpikeTable& spikes);      // "Rin"
void RunTwoTraces(Workspace& ws);                                // "two traces"

// The commands that read a record, as the front ends run them: after a failed lookup of the
// recording, record or channel the trace holds no record, and the spike table is emptied too,
// so that no analysis runs on the earlier record under the new name.
void RunLoad(Workspace& ws, AnalysisState& state);       // click into the recording-name box
void RunReload(Workspace& ws, AnalysisState& state);     // click into the Analyse field
void RunTwoTraces(Workspace& ws, AnalysisState& state);  // "two traces"

// The panel's own events.
// A change of tau: FilterCoef := exp(-Trace.AcqTime / tau), shown in the "a" field.
void OnTauChanged(Workspace& ws);
// A click on "Stimulation": refresh the stimulation timing when the box is now ticked.
void OnStimulationClicked(Workspace& ws);

}  // namespace ictalscope
