// The load of a 10,000,001-sample record through the recording-name box (plot step 5, no
// smoothing), against a plain read of the same bytes. Target: within 2x of the baseline.
#include <memory>

#include "big_recording.h"
#include "panel/memory_panel.h"
#include "recording/loader.h"
#include "recording/memory_chart.h"

namespace ictalscope::bench {
namespace {

void LoadRepeatedly(benchmark::State& state, const char* plot_step) {
  MemoryPanel panel;
  MemoryChart chart;
  auto ws = std::make_unique<Workspace>(panel, chart);
  panel.SetNameBoxText("big");
  panel.SetText(Field::step_V, plot_step);
  panel.SetChecked(Check::Filter, false);
  // The workspace lives for the whole process, so a load finds its arrays in memory, as the
  // baseline finds its buffer: one load before the timing.
  ClickRecordingName(*ws);
  for (auto _ : state) ClickRecordingName(*ws);
  if (ws->trace.LastIndex != kBigSamples - 1) state.SkipWithError("the record did not load");
  state.counters["points"] = static_cast<double>(chart.Points(Series::V).size());
  state.SetItemsProcessed(state.iterations() * kBigSamples);
}

// As the window loads by default: every 5th sample drawn on series "V" (2,000,000 points).
void BM_Load(benchmark::State& state) { LoadRepeatedly(state, "5"); }

// For comparison only: a plot step beyond the record's length draws nothing, which shows what
// the drawing costs.
void BM_LoadUndrawn(benchmark::State& state) { LoadRepeatedly(state, "20000000"); }

BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadUndrawn)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Baseline)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace ictalscope::bench

int main(int argc, char** argv) {
  return ictalscope::bench::RunWithRatio(argc, argv, "BM_Load", 2);
}
