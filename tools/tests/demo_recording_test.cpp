#include "demo_recording.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

#include "analysis/analyses.h"
#include "panel/memory_panel.h"
#include "recording/loader.h"
#include "recording/memory_chart.h"
#include "support/scratch_directory.h"

namespace ictalscope::demo {
namespace {

constexpr int32_t kDemoPairs = 8192;      // per record: Trunc(512 / 0.0625)
constexpr int32_t kDemoLastIndex = 7168;  // the last 1023 pairs are not loaded
constexpr double kDemoRecordMs = (kDemoLastIndex + 1) * 0.0625;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int16_t Int16At(const std::string& bytes, size_t offset) {
  const auto lo = static_cast<uint8_t>(bytes[offset]);
  const auto hi = static_cast<uint8_t>(bytes[offset + 1]);
  return static_cast<int16_t>(static_cast<uint16_t>(lo | hi << 8));
}

// A workspace over memory, as the batch tool sets it up.
struct Session {
  MemoryPanel panel;
  MemoryChart chart;
  std::unique_ptr<Workspace> ws = std::make_unique<Workspace>(panel, chart);
  std::unique_ptr<SpikeTable> spikes = std::make_unique<SpikeTable>();

  void LoadAndDetect(const std::string& name, int record) {
    panel.SetNameBoxText(name);
    panel.SetText(Field::Analyse, std::to_string(record));
    ClickRecordingName(*ws);
    RunSpikes(*ws, *spikes);
  }
};

TEST(DemoPlans, HoldInterictalBurstsTwoIctalDischargesAndAQuietRecord) {
  const std::vector<RecordPlan> plans = DemoPlans();
  ASSERT_EQ(plans.size(), 6u);
  int ictal = 0, quiet = 0;
  for (const RecordPlan& plan : plans) {
    const std::vector<double> times = UpstrokeTimes(plan);
    if (times.size() > 40) ++ictal;
    if (times.empty()) ++quiet;
    if (times.empty()) continue;
    // After the 50-ms look-back window of the first onset; the last spike ends in the record.
    EXPECT_GT(times.front(), 55);
    EXPECT_LT(times.back() + 5, kDemoRecordMs);
    for (const Burst& burst : plan.bursts) {
      const bool interictal = burst.intervals_ms.size() < 10;
      for (double interval : burst.intervals_ms) {
        EXPECT_GE(interval, interictal ? 15 : 5.5);
        EXPECT_LE(interval, interictal ? 40 : 10);
      }
    }
  }
  EXPECT_EQ(ictal, 2);
  EXPECT_EQ(quiet, 1);
}

TEST(DemoRecording, DecodesToTheSynthesisedVoltages) {
  testing::ScratchDirectory dir;
  const testing::WcpHeader header = DemoHeader();
  WriteRecording("1.wcp", header, DemoPlans());
  const std::string bytes = ReadFile("1.wcp");
  const size_t stride = 4 * kDemoPairs + 1024;
  ASSERT_EQ(bytes.size(), 1024 + 6 * stride);
  const long double mv_per_count = 10 * 0.001L / (0.0001L * 32767);
  for (int r = 1; r <= 6; ++r) {
    const std::vector<double> mv = SynthesiseRecord(DemoPlans()[r - 1], kDemoPairs, 0.0625);
    for (int32_t k = 0; k < kDemoPairs; ++k) {
      const int16_t counts = Int16At(bytes, 2048 + (r - 1) * stride + 4 * k);
      ASSERT_NEAR(counts * mv_per_count, mv[k], mv_per_count / 2 + 1e-9) << r << " " << k;
    }
  }
}

// Every planned spike is found by "Spikes", close after its upstroke starts, and ends before the
// next one begins (otherwise the next onset would be missed and the count would fall short).
TEST(DemoRecording, LoadsAndShowsEachPlannedSpike) {
  testing::ScratchDirectory dir;
  WriteRecording("1.wcp", DemoHeader(), DemoPlans());
  Session session;
  for (int r = 1; r <= 6; ++r) {
    session.LoadAndDetect("1", r);
    const Trace& trace = session.ws->trace;
    ASSERT_EQ(trace.LastIndex, kDemoLastIndex);
    ASSERT_EQ(trace.AcqTime, 0.0625);
    ASSERT_EQ(trace.NR, 6);
    const std::vector<double> times = UpstrokeTimes(DemoPlans()[r - 1]);
    const SpikeTable& spikes = *session.spikes;
    ASSERT_EQ(spikes.SpikeCount, static_cast<int32_t>(times.size())) << "record " << r;
    for (int n = 1; n <= spikes.SpikeCount; ++n) {
      EXPECT_GT(spikes.tsp[n], times[n - 1]) << r << " " << n;
      EXPECT_LE(spikes.tsp[n], times[n - 1] + 0.2) << r << " " << n;
      EXPECT_GT(spikes.Vpeak[n], 8) << r << " " << n;
      EXPECT_LT(spikes.Vpeak[n], 32) << r << " " << n;
      EXPECT_GT(spikes.AHP[n], 0) << r << " " << n;
      EXPECT_LT(spikes.Vrest[n], -55) << r << " " << n;
    }
  }
}

TEST(BigRecording, LoadsTenMillionSamplesWithThreeHundredSpikes) {
  testing::ScratchDirectory dir;
  const testing::WcpHeader header = BigHeader();
  ASSERT_EQ(SamplesPerRecord(header), 10'001'024);
  WriteRecording("big.wcp", header, {BigPlan()});
  Session session;
  session.LoadAndDetect("big", 1);
  EXPECT_EQ(session.ws->trace.LastIndex, 10'000'000);
  EXPECT_EQ(session.spikes->SpikeCount, 300);
  EXPECT_EQ(UpstrokeTimes(BigPlan()).size(), 300u);
}

}  // namespace
}  // namespace ictalscope::demo
