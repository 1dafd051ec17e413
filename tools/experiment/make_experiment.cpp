// Writes the demo experiment, four recordings of four formats and layouts in two condition
// folders, each record built from one of the demo's record plans (interictal discharges, ictal
// discharges of 36 to 153 spikes):
//   control/cellA.wcp  a .wcp file of the classic rig (16 kHz), records from plans 1, 2, 4
//   control/cellB.abf  ABF 2, episodic stimulation, float32 samples (20 kHz), plans 3, 6, 2
//   drug/cellC.wcp     a .wcp file of another set-up (three channels, the voltage second,
//                      10 kHz, read by its header), plans 4, 6, 1
//   drug/cellD.abf     ABF 2, gap-free, int16 samples (10 kHz): plans 2, 3, 6 one after the
//                      other, one record of 60 s
// Every recording holds at least two ictal discharges, so that "stat" summarises each.
//   make_experiment DIR     writes them under DIR, then DIR/.written
#include <cmath>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "demo_recording.h"
#include "writer/abf_writer.h"
#include "writer/recording_writer.h"
#include "writer/wcp_setup_writer.h"

namespace {

namespace fs = std::filesystem;
using namespace ictalscope;

constexpr double kRecordMs = 20000;

std::vector<demo::RecordPlan> Plans(const std::vector<int>& numbers, uint64_t seed) {
  const std::vector<demo::RecordPlan> all = demo::DemoPlans();
  std::vector<demo::RecordPlan> plans;
  for (int n : numbers) {
    plans.push_back(all[static_cast<size_t>(n - 1)]);
    plans.back().seed += seed;  // other noise than the demo's
  }
  return plans;
}

int16_t Clamped(double counts) {
  return static_cast<int16_t>(std::lround(std::fmin(32767, std::fmax(-32768, counts))));
}

void WriteClassic(const fs::path& path) {
  writer::WcpHeader header = demo::DemoHeader();
  header.nr = 3;
  header.extra = {{"ID", "Demo experiment, control cell A: classic rig, 3 records of 20 s"}};
  demo::WriteRecording(path.string(), header, Plans({1, 2, 4}, 11));
}

void WriteEpisodicAbf(const fs::path& path) {
  writer::AbfDescription d;
  d.float_samples = true;
  d.interval_us = 50;
  d.channels = {{.name = "IN 0", .unit = "mV"}};
  const int32_t samples = static_cast<int32_t>(kRecordMs * 1000 / d.interval_us);
  for (const demo::RecordPlan& plan : Plans({3, 6, 2}, 23)) {
    const std::vector<double> mv = demo::SynthesiseRecord(plan, samples, d.interval_us / 1000);
    writer::AbfSweep sweep;
    sweep.values.emplace_back(mv.begin(), mv.end());
    d.sweeps.push_back(std::move(sweep));
  }
  writer::WriteAbfFile(path.string(), d);
}

void WriteOtherSetUp(const fs::path& path) {
  writer::WcpSetup setup;
  setup.nc = 3;
  setup.nbd = 2346;  // 2346 x 512 / 6 = 200,192 samples a channel: 20.02 s at 0.1 ms
  setup.dt = "0.0001";
  setup.channels = {{"Im", "pA", "0.0005", "0", std::nullopt},
                    {"Vm", "mV", "0.01", "0", std::nullopt},
                    {"Stim", "V", "1", "0", std::nullopt}};
  setup.extra = {{"ID", "Demo experiment, drug cell C: three channels at 10 kHz"}};
  const int64_t samples = writer::WcpSetupSamples(setup);
  // A count is VMax / (ADCMAX x gain) units: 10 / (32767 x 0.01) mV.
  const double mv_per_count = 10.0 / (32767 * 0.01);
  std::vector<writer::WcpSetupRecord> records;
  for (const demo::RecordPlan& plan : Plans({4, 6, 1}, 37)) {
    const std::vector<double> mv = demo::SynthesiseRecord(plan, static_cast<int32_t>(samples), 0.1);
    writer::WcpSetupRecord record;
    record.samples.resize(3);
    for (double v : mv) record.samples[1].push_back(Clamped(v / mv_per_count));
    record.vmax = {10, 10, 10};
    records.push_back(std::move(record));
  }
  std::ofstream(path, std::ios::binary) << writer::WcpSetupFileBytes(setup, records);
}

void WriteGapFreeAbf(const fs::path& path) {
  writer::AbfDescription d;
  d.mode = writer::AbfMode::kGapFree;
  d.interval_us = 100;
  d.channels = {{.name = "IN 0", .unit = "mV", .instrument_scale = 0.01f}};
  // A count is 10 V / (32768 x 0.01 V/mV) = 0.0305 mV.
  const double counts_per_mv = 32768 * 0.01 / 10;
  const int32_t samples = static_cast<int32_t>(kRecordMs * 1000 / d.interval_us);
  writer::AbfSweep stream;
  stream.counts.resize(1);
  for (const demo::RecordPlan& plan : Plans({2, 3, 6}, 41)) {
    for (double v : demo::SynthesiseRecord(plan, samples, d.interval_us / 1000)) {
      stream.counts[0].push_back(Clamped(v * counts_per_mv));
    }
  }
  d.sweeps = {std::move(stream)};
  writer::WriteAbfFile(path.string(), d);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: make_experiment DIR   writes the demo experiment under DIR\n", stderr);
    return 2;
  }
  const fs::path dir = argv[1];
  try {
    fs::remove(dir / ".written");
    fs::create_directories(dir / "control");
    fs::create_directories(dir / "drug");
    WriteClassic(dir / "control" / "cellA.wcp");
    WriteEpisodicAbf(dir / "control" / "cellB.abf");
    WriteOtherSetUp(dir / "drug" / "cellC.wcp");
    WriteGapFreeAbf(dir / "drug" / "cellD.abf");
    std::ofstream(dir / ".written") << "written by make_experiment\n";
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_experiment: %s\n", e.what());
    return 1;
  }
  return 0;
}
