// The core's pure functions on the big record, as the Python module calls them:
//   BM_DetectSpikes    DetectSpikes on the first 10,000,000 samples of big.wcp's record, with the
//                      default settings (what ictalscope.detect_spikes(v, acq_ms) runs)
//   BM_OpenReadRecord  OpenRecording + ReadRecord of record 1 into a fresh array (what
//                      ictalscope.open(path).record(1) runs), against the plain read
//   BM_Baseline        the plain read of the record's bytes (big_recording.h)
// bench/python_bench.py runs it with --benchmark_out and holds the module's calls to these
// times: detect_spikes within 1.2x of BM_DetectSpikes, open().record() within 1.3x of
// BM_Baseline (the ratio printed here is that of the C++ read alone, under the same target).
#include <cstddef>
#include <span>

#include "analysis/spike_detection.h"
#include "big_recording.h"
#include "recording/recording_file.h"

namespace ictalscope::bench {
namespace {

constexpr size_t kScanSamples = 10'000'000;
constexpr int32_t kBigSpikes = 300;

void BM_DetectSpikes(benchmark::State& state) {
  const RecordData record = ReadRecord(OpenRecording("big.wcp"), 1);
  if (record.v.size() < kScanSamples) {
    state.SkipWithError("big.wcp's record is short");
    return;
  }
  const std::span<const double> v(record.v.data(), kScanSamples);
  int32_t spikes = 0;
  for (auto _ : state) {
    const SpikeRun run = DetectSpikes(v, record.acq_ms, SpikeSettings{});
    spikes = run.count();
    benchmark::DoNotOptimize(spikes);
  }
  if (spikes != kBigSpikes) state.SkipWithError("expected 300 spikes");
  state.counters["spikes"] = spikes;
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kScanSamples));
}

void BM_OpenReadRecord(benchmark::State& state) {
  size_t samples = 0;
  for (auto _ : state) {
    const RecordData record = ReadRecord(OpenRecording("big.wcp"), 1);
    samples = record.v.size();
    benchmark::DoNotOptimize(record.v.data());
    benchmark::ClobberMemory();
  }
  if (samples != static_cast<size_t>(kBigSamples)) state.SkipWithError("the record did not load");
  state.SetItemsProcessed(state.iterations() * kBigSamples);
}

BENCHMARK(BM_DetectSpikes)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OpenReadRecord)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Baseline)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace ictalscope::bench

int main(int argc, char** argv) {
  return ictalscope::bench::RunWithRatio(argc, argv, "BM_OpenReadRecord", 1.3);
}
