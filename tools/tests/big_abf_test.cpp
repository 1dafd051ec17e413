#include "big_abf.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <tuple>

#include "panel/memory_panel.h"
#include "recording/loader.h"
#include "recording/memory_chart.h"
#include "support/scratch_directory.h"

namespace ictalscope::demo {
namespace {

// The mV of count k as the ABF scaling gives it for the file's channel (the loader reads the
// float32 scale 0.1f as the decimal 0.1 it was written from).
double Mv(int64_t k) { return static_cast<double>(BigAbfCount(k) / 0.1L * 10 / 32768); }

// The file the memory check loads, shortened to one full record and 1000 samples more: it loads
// as gap-free records of 10,000,001 samples at 0.02 ms, in mV near rest.
TEST(BigAbf, LoadsAsRecordsOfTenMillionAndOneSamplesInMillivolts) {
  testing::ScratchDirectory dir;
  constexpr int64_t kRecord = 10'000'001;
  WriteBigAbf("BIG.abf", kRecord + 1000);
  MemoryPanel panel;
  MemoryChart chart;
  auto ws = std::make_unique<Workspace>(panel, chart);
  panel.SetNameBoxText("BIG");
  panel.SetChecked(Check::Filter, false);
  for (const auto& [record, samples, first] :
       {std::tuple{"1", kRecord, int64_t{0}}, std::tuple{"2", int64_t{1000}, kRecord}}) {
    SCOPED_TRACE(record);
    panel.SetText(Field::Analyse, record);
    ClickRecordingName(*ws);
    const Trace& trace = ws->trace;
    EXPECT_EQ(trace.NR, 2);
    EXPECT_DOUBLE_EQ(trace.AcqTime, 0.02);
    ASSERT_EQ(trace.LastIndex, samples - 1);
    ASSERT_TRUE(ws->recording.has_value());
    EXPECT_TRUE(ws->recording->voltage_found);
    for (int64_t k : {int64_t{0}, int64_t{1}, samples / 2, samples - 1}) {
      EXPECT_NEAR(trace.V[static_cast<int32_t>(k)], Mv(first + k), 1e-9) << k;
      EXPECT_NEAR(trace.V[static_cast<int32_t>(k)], -65, 0.25) << k;
    }
  }
}

// Each count depends on its index only, so that a chunk written alone matches the whole file;
// and the noise is not constant.
TEST(BigAbf, CountsAreAFunctionOfTheirIndexAroundRest) {
  int16_t low = 0, high = -32768;
  for (int64_t k = 0; k < 100'000; ++k) {
    const int16_t count = BigAbfCount(k);
    ASSERT_EQ(count, BigAbfCount(k)) << k;
    low = std::min(low, count);
    high = std::max(high, count);
  }
  EXPECT_EQ(low, -21'299 - 64);
  EXPECT_EQ(high, -21'299 + 63);
}

}  // namespace
}  // namespace ictalscope::demo
