// Load, "Spikes" and "IID" on a 10,000,001-sample record with 300 spikes, against a plain read
// of the same bytes. Target: within 1.6x of the baseline.
#include <cstdio>
#include <memory>

#include "analysis/analyses.h"
#include "big_recording.h"
#include "panel/memory_panel.h"
#include "recording/loader.h"
#include "recording/memory_chart.h"

namespace ictalscope::bench {
namespace {

// The workspace and the analyses' state over big.wcp, loaded once. The workspace lives for the
// whole process, so a load finds its arrays in memory, as the baseline finds its buffer.
struct LoadedBigRecording {
  LoadedBigRecording() {
    panel.SetNameBoxText("big");
    ClickRecordingName(*ws);
  }
  void CheckSpikes(benchmark::State& state) const {
    if (analysis->spikes.SpikeCount != 300) state.SkipWithError("expected 300 spikes");
  }

  MemoryPanel panel;
  MemoryChart chart;
  std::unique_ptr<Workspace> ws = std::make_unique<Workspace>(panel, chart);
  std::unique_ptr<AnalysisState> analysis = std::make_unique<AnalysisState>();
};

void BM_LoadSpikesIID(benchmark::State& state) {
  LoadedBigRecording big;
  for (auto _ : state) {
    // Record 1 creates its five tables. Emptying the previous iteration's tables instead would
    // make the file system write them out at once (it flushes a file truncated to zero on
    // close), a cost of repeating the same record, not of the analysis: they go untimed.
    state.PauseTiming();
    for (const char* table : {"bigIID", "bigmean", "bigID", "big_sp", "big_1sp"}) {
      std::remove(table);
    }
    state.ResumeTiming();
    ClickRecordingName(*big.ws);
    RunSpikes(*big.ws, big.analysis->spikes);
    RunIID(*big.ws, *big.analysis);
  }
  big.CheckSpikes(state);
  state.counters["spikes"] = big.analysis->spikes.SpikeCount;
  state.SetItemsProcessed(state.iterations() * kBigSamples);
}

// For comparison only: "Spikes" alone on the loaded record (each iteration loads it again
// untimed, so the trace comes from memory as it does after a load).
void BM_SpikesAlone(benchmark::State& state) {
  LoadedBigRecording big;
  for (auto _ : state) {
    state.PauseTiming();
    ClickRecordingName(*big.ws);
    state.ResumeTiming();
    RunSpikes(*big.ws, big.analysis->spikes);
  }
  big.CheckSpikes(state);
}

BENCHMARK(BM_SpikesAlone)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadSpikesIID)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Baseline)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace ictalscope::bench

int main(int argc, char** argv) {
  return ictalscope::bench::RunWithRatio(argc, argv, "BM_LoadSpikesIID", 1.6);
}
