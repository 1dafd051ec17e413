#include "analysis/analyses.h"
#include "recording/loader.h"
#include "recording/recording_lookup.h"

namespace ictalscope {

namespace {

template <typename Command>
void ForgettingSpikesOnLookupFailure(AnalysisState& state, Command&& command) {
  try {
    command();
  } catch (const NoRecordError&) {
    state.spikes.SpikeCount = 0;
    throw;
  }
}

}  // namespace

void RunLoad(Workspace& ws, AnalysisState& state) {
  ForgettingSpikesOnLookupFailure(state, [&ws] { ClickRecordingName(ws); });
}

void RunReload(Workspace& ws, AnalysisState& state) {
  ForgettingSpikesOnLookupFailure(state, [&ws] { ClickAnalyse(ws); });
}

void RunTwoTraces(Workspace& ws, AnalysisState& state) {
  ForgettingSpikesOnLookupFailure(state, [&ws] { RunTwoTraces(ws); });
}

}  // namespace ictalscope
