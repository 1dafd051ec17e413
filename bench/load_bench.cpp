// Loads through the recording-name box (plot step 5, no smoothing), each against a plain read of
// the classic record's bytes:
//   BM_Load            the classic .wcp record of 10,000,001 samples; target within 1.2x
//   BM_LoadAbfSweep    an ABF 2 episodic int16 sweep of 10,000,000 samples; within 1.5x
//   BM_LoadAbfGapFree  a 300-s gap-free ABF 2 record, 10,000,000 samples at 30 us; within 1.5x
//   BM_LoadHeaderWcp   a .wcp record of 10,000,000 samples read by its header; within 1.5x
// Every file has two int16 channels, the current first and the voltage (the analysed channel)
// second, so that each load reads 40 MB, as the baseline does.
#include <cstring>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "big_recording.h"
#include "panel/memory_panel.h"
#include "recording/loader.h"
#include "recording/memory_chart.h"
#include "writer/abf_writer.h"
#include "writer/wcp_setup_writer.h"

namespace ictalscope::bench {
namespace {

constexpr int64_t kFormatSamples = 10'000'000;
constexpr int64_t kBigDataOffset = 2048;  // the classic record's first sample pair

// The first kFormatSamples sample pairs of big.wcp's record, so that the other formats hold the
// same voltages (and the conversion tables are hit as the baseline's are).
struct CountPairs {
  std::vector<int16_t> voltage;
  std::vector<int16_t> current;
};

CountPairs ReadBigPairs() {
  const std::string bytes = testing::ReadFile("big.wcp");
  if (static_cast<int64_t>(bytes.size()) < kBigDataOffset + 4 * kFormatSamples) {
    throw std::runtime_error("big.wcp is short");
  }
  CountPairs pairs;
  pairs.voltage.resize(kFormatSamples);
  pairs.current.resize(kFormatSamples);
  for (int64_t k = 0; k < kFormatSamples; ++k) {
    std::memcpy(&pairs.voltage[k], bytes.data() + kBigDataOffset + 4 * k, 2);
    std::memcpy(&pairs.current[k], bytes.data() + kBigDataOffset + 4 * k + 2, 2);
  }
  return pairs;
}

// The voltage about 0.003 mV per count, as in the classic record.
writer::AbfDescription AbfChannels() {
  writer::AbfDescription d;
  d.channels = {{.name = "IN 0", .unit = "pA", .instrument_scale = 0.02f},
                {.name = "IN 1", .unit = "mV", .instrument_scale = 0.1f}};
  return d;
}

void WriteAbfSweep(const std::string& path, const CountPairs& pairs) {
  writer::AbfDescription d = AbfChannels();
  writer::AbfSweep sweep;
  sweep.counts = {pairs.current, pairs.voltage};
  d.sweeps = {sweep};
  writer::WriteAbfFile(path, d);
}

// 300 s at 30 us is one record of exactly 10,000,000 samples.
void WriteAbfGapFree(const std::string& path, const CountPairs& pairs) {
  writer::AbfDescription d = AbfChannels();
  d.mode = writer::AbfMode::kGapFree;
  d.interval_us = 30;
  writer::WriteStreamedGapFreeAbf(
      path, d, kFormatSamples,
      writer::AbfCountSource([&pairs](int64_t first, int64_t frames, int16_t* out) {
        for (int64_t k = 0; k < frames; ++k) {
          out[2 * k] = pairs.current[first + k];
          out[2 * k + 1] = pairs.voltage[first + k];
        }
      }));
}

// NBD = 78,125 blocks of frames of 2 int16: 10,000,000 samples per channel. DT = 0.1 ms does not
// fit the classic layout, so the loader reads the file by its header.
void WriteHeaderWcp(const std::string& path, const CountPairs& pairs) {
  writer::WcpSetup setup;
  setup.nbd = 78'125;
  setup.dt = "0.0001";
  setup.channels = {{"Im", "pA", "0.0005", "0", std::nullopt},
                    {"Vm", "mV", "0.1", "0", std::nullopt}};
  if (writer::WcpSetupSamples(setup) != kFormatSamples) throw std::logic_error("bad NBD");
  testing::WriteFile(
      path,
      writer::WcpSetupFileBytes(
          setup, {writer::WcpSetupRecord{.samples = {pairs.current, pairs.voltage}, .vmax = {}}}));
}

// The big recording's directory with the three other formats written once per run, from the
// big record's samples.
class FormatsDirectory : public BigRecordingDirectory {
 public:
  FormatsDirectory() {
    const CountPairs pairs = ReadBigPairs();
    WriteAbfSweep("sweep.abf", pairs);
    WriteAbfGapFree("gapfree.abf", pairs);
    WriteHeaderWcp("setup.wcp", pairs);
  }
};

void LoadRepeatedly(benchmark::State& state, const char* name, const char* plot_step,
                    int64_t samples) {
  MemoryPanel panel;
  MemoryChart chart;
  auto ws = std::make_unique<Workspace>(panel, chart);
  panel.SetNameBoxText(name);
  panel.SetText(Field::step_V, plot_step);
  panel.SetChecked(Check::Filter, false);
  // The workspace lives for the whole process, so a load finds its arrays in memory, as the
  // baseline finds its buffer: one load before the timing.
  ClickRecordingName(*ws);
  if (ws->trace.LastIndex != samples - 1) {
    state.SkipWithError("the record did not load");
    return;
  }
  for (auto _ : state) ClickRecordingName(*ws);
  if (ws->trace.LastIndex != samples - 1) state.SkipWithError("the record did not load");
  state.counters["points"] = static_cast<double>(chart.Points(Series::V).size());
  state.SetItemsProcessed(state.iterations() * samples);
}

// As the window loads by default: every 5th sample drawn on series "V" (2,000,000 points).
void BM_Load(benchmark::State& state) { LoadRepeatedly(state, "big", "5", kBigSamples); }

// For comparison only: a plot step beyond the record's length draws nothing, which shows what
// the drawing costs.
void BM_LoadUndrawn(benchmark::State& state) {
  LoadRepeatedly(state, "big", "20000000", kBigSamples);
}

void BM_LoadAbfSweep(benchmark::State& state) {
  LoadRepeatedly(state, "sweep", "5", kFormatSamples);
}

void BM_LoadAbfGapFree(benchmark::State& state) {
  LoadRepeatedly(state, "gapfree", "5", kFormatSamples);
}

void BM_LoadHeaderWcp(benchmark::State& state) {
  LoadRepeatedly(state, "setup", "5", kFormatSamples);
}

BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadUndrawn)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadAbfSweep)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadAbfGapFree)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadHeaderWcp)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Baseline)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace ictalscope::bench

int main(int argc, char** argv) {
  using ictalscope::bench::RatioTarget;
  return ictalscope::bench::RunWithRatios<ictalscope::bench::FormatsDirectory>(
      argc, argv,
      {RatioTarget{"BM_Load", 1.2}, RatioTarget{"BM_LoadAbfSweep", 1.5},
       RatioTarget{"BM_LoadAbfGapFree", 1.5}, RatioTarget{"BM_LoadHeaderWcp", 1.5}});
}
