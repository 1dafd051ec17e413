// "Spikes" on the loaded record: the panel's settings, the detection, and its spikes and
// markers into the spike table and the chart.

#include "analysis/analyses.h"
#include "analysis/spike_detection.h"
#include "base/error.h"

namespace ictalscope {

namespace {

constexpr const char* kTableFull = "Spike table full: only the first 100000 spikes are kept";

SpikeSettings SettingsOf(const Workspace& ws) {
  return {FieldValue(ws.panel, Field::dt_Vrest), ws.panel.IsChecked(Check::Stimulation), ws.stim};
}

// The run overwrites the entries it reaches; the rest keep what an earlier run left in them.
void Store(const SpikeRun& run, SpikeTable& spikes) {
  const int32_t count = run.count();
  for (int32_t n = 1; n <= count; ++n) {
    spikes.VT[n] = run.VT[n - 1];
    spikes.tsp[n] = run.tsp[n - 1];
    spikes.Vpeak[n] = run.Vpeak[n - 1];
    spikes.tpeak[n] = run.tpeak[n - 1];
    spikes.Vrest[n] = run.Vrest[n - 1];
    if (n < count || run.last_end_written) {
      spikes.Vmin[n] = run.Vmin[n - 1];
      spikes.AHP[n] = run.AHP[n - 1];
    }
  }
  spikes.SpikeCount = count;
}

void Draw(const SpikeRun& run, Chart& chart) {
  const std::pair<Series, const std::vector<ChartPoint>*> markers[] = {
      {Series::th, &run.th}, {Series::peak, &run.peak}, {Series::V_min, &run.V_min}};
  for (const auto& [series, points] : markers) {
    for (const ChartPoint& p : *points) chart.Append(series, p.x, p.y);
  }
}

}  // namespace

void RunSpikes(Workspace& ws, SpikeTable& spikes) {
  if (ws.trace.LastIndex < 0) throw Error(kNoRecordingLoaded);
  spikes.SpikeCount = 0;  // a run that is refused leaves no spikes of an earlier run behind
  const SampleArray& samples = ws.trace.V;  // read only, so that its rise summary stays
  const std::span<const double> v(samples.data(), static_cast<size_t>(ws.trace.LastIndex) + 1);
  const SpikeRun run = DetectSpikes(v, ws.trace.AcqTime, SettingsOf(ws), &samples.rises());
  Store(run, spikes);
  Draw(run, ws.chart);
  if (run.table_full) throw Error(kTableFull);
}

}  // namespace ictalscope
