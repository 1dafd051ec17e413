#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>

#include "analysis/analyses.h"
#include "base/error.h"
#include "panel/memory_panel.h"
#include "recording/memory_chart.h"
#include "support/scratch_directory.h"

namespace ictalscope {
namespace {

using testing::ReadFile;
using testing::WriteFile;

constexpr const char* kHeader = "n_step t Vrest V1 Rin\r\n";

// On a ramp V[k] = k at dt = 0.0625 ms every window mean is the midpoint of its first and last
// index, so the lines show which samples each window took. By hand:
//  - first baseline: samples 10..159 -> 84.5; the cursor stops on 160;
//  - step m at k = 1760 + 160000 (m - 1), t = 110 + 10000 (m - 1) ms; V1 forward takes k..k+1600
//    -> k + 800; backward (spike in the window) takes k-320..k -> k - 160;
//  - the baseline after step m takes 16 (t + 9800) - 1 .. 16 (t + 9900) - 1 -> k + 157599, so
//    that from step 2 on Vrest = k - 2401 and Rin = (V1 - Vrest) * 1000 / -50 = -64020.
constexpr const char* kRampRow1 = "1 0.110 84.500 2560.000 -49510.000\r\n";
constexpr const char* kRampRow2 = "2 10.110 159359.000 162560.000 -64020.000\r\n";
// Sample indices that complete steps need: the baseline after step 1 ends on 160159, that
// after step 2 on 320159.
constexpr int32_t kOneStep = 160159;
constexpr int32_t kTwoSteps = 320159;

class RinTest : public ::testing::Test {
 protected:
  RinTest() {
    panel.SetNameBoxText("1");
    ws.trace.AcqTime = 0.0625;
  }

  void Fill(int32_t first, int32_t last, double mv) {
    for (int32_t k = first; k <= last; ++k) ws.trace.V[k] = mv;
  }
  void Ramp(int32_t last_index) {
    for (int32_t k = 0; k <= last_index; ++k) ws.trace.V[k] = k;
    ws.trace.LastIndex = last_index;
  }
  void SetSpikes(std::initializer_list<double> tsp_ms) {
    spikes.SpikeCount = 0;
    for (double t : tsp_ms) spikes.tsp[++spikes.SpikeCount] = t;
  }

  std::string Run() {
    try {
      RunRin(ws, spikes);
    } catch (const Error& e) {
      return e.what();
    }
    return "";
  }

  testing::ScratchDirectory dir;
  MemoryPanel panel;
  MemoryChart chart;
  Workspace ws{panel, chart};
  SpikeTable spikes;
};

TEST_F(RinTest, ConstantLevelsGiveTheirDifference) {
  Fill(0, kOneStep, -65.012);
  Fill(1760, 3360, -67.530);  // the forward window of the step at 110 ms
  ws.trace.LastIndex = kOneStep;
  ASSERT_EQ(Run(), "");
  EXPECT_EQ(ReadFile("1Rin"), std::string(kHeader) + "1 0.110 -65.012 -67.530 50.360\r\n");
}

TEST_F(RinTest, WindowsOnARamp) {
  Ramp(kTwoSteps);
  ASSERT_EQ(Run(), "");
  EXPECT_EQ(ReadFile("1Rin"), std::string(kHeader) + kRampRow1 + kRampRow2);
}

TEST_F(RinTest, SpikeInTheStepWindowSwitchesToTheBackwardWindow) {
  struct Case {
    double tsp_ms;
    const char* row;
  };
  const Case cases[] = {
      {110.0, "1 0.110 84.500 1600.000 -30310.000\r\n"},  // at t: backward, 1440..1760
      {150.0, "1 0.110 84.500 1600.000 -30310.000\r\n"},
      {210.0, "1 0.110 84.500 1600.000 -30310.000\r\n"},  // at t + 100: still in the window
      {210.0625, kRampRow1},                              // one sample later: forward
      {109.9375, kRampRow1},                              // one sample before t: forward
  };
  Ramp(kOneStep);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tsp_ms);
    SetSpikes({5000.0, c.tsp_ms});
    spikes.tsp[3] = 150.0;  // beyond SpikeCount: ignored
    ASSERT_EQ(Run(), "");
    EXPECT_EQ(ReadFile("1Rin"), std::string(kHeader) + c.row);
  }
}

TEST_F(RinTest, OnlyCompleteStepsAreReported) {
  struct Case {
    int32_t last_index;
    std::string rows;
  };
  const Case cases[] = {
      {0, ""},
      {9, ""},
      {158, ""},   // the first baseline needs sample 159
      {159, ""},   // the cursor (160) is not below LastIndex: no step
      {3359, ""},  // the V1 window of step 1 needs sample 3360
      {kOneStep - 1, ""},
      {kOneStep, kRampRow1},
      {163359, kRampRow1},  // the V1 window of step 2 is cut
      {kTwoSteps - 1, kRampRow1},
      {kTwoSteps, std::string(kRampRow1) + kRampRow2},
  };
  Ramp(kTwoSteps);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.last_index);
    ws.trace.LastIndex = c.last_index;
    ASSERT_EQ(Run(), "");
    EXPECT_EQ(ReadFile("1Rin"), kHeader + c.rows);
  }
}

// A long record gives as many rows as it has complete steps: 41 here, each 10 s and 160,000
// samples of the ramp after the one before.
TEST_F(RinTest, MeasuresEveryCompleteStep) {
  Ramp(16 * (400110 + 9900) + 1000);  // room for a complete step 41, not for step 42
  ASSERT_EQ(Run(), "");
  const std::string out = ReadFile("1Rin");
  const std::string row40 = "\r\n40 390.110 6239359.000 6242560.000 -64020.000\r\n";
  const std::string last = "41 400.110 6399359.000 6402560.000 -64020.000\r\n";
  ASSERT_GE(out.size(), last.size());
  EXPECT_EQ(out.substr(out.size() - last.size()), last);
  EXPECT_NE(out.find(row40 + last), std::string::npos);
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 42);
}

TEST_F(RinTest, QuotientsAreTakenInExtendedPrecision) {
  // At dt = 0.1 ms (a double just above 0.1) 100 / dt is 999.99999999999994 in extended
  // precision but rounds to 1000 in double: the step lies at k = 100 + 999 = 1099 (t = 109.9 ms)
  // and its forward window ends on the first k >= 209.9 / dt = 2098.99999999999994, so V1 takes
  // 1099..2099. The baseline after it takes 99097..100097.
  ws.trace.AcqTime = 0.1;
  Ramp(100097);
  ASSERT_EQ(Run(), "");
  EXPECT_EQ(ReadFile("1Rin"), std::string(kHeader) + "1 0.110 54.500 1599.000 -30890.000\r\n");
}

// At 100 s a sample the cursor no longer moves from one step to the next: the step is reported
// once, not repeated until memory runs out. By hand: Vrest = V[10], the step at k = 11
// (t = 1100 s) averages V[11] and V[12], and the next baseline is V[10] again.
TEST_F(RinTest, ACursorThatStandsStillEndsTheSteps) {
  ws.trace.AcqTime = 100000;
  Ramp(99);
  ASSERT_EQ(Run(), "");
  EXPECT_EQ(ReadFile("1Rin"), std::string(kHeader) + "1 1100.000 10.000 11.500 -30.000\r\n");
}

TEST_F(RinTest, NoAcqTimeFaultsBeforeTheFileIsTouched) {
  Ramp(kOneStep);
  ws.trace.AcqTime = 0;
  WriteFile("1Rin", "earlier");
  EXPECT_EQ(Run(), messages::kFloatDivisionByZero);
  EXPECT_EQ(ReadFile("1Rin"), "earlier");
}

TEST_F(RinTest, RerunReplacesTheFileNamedAfterTheRecording) {
  panel.SetNameBoxText("cell7");
  WriteFile("cell7Rin", std::string(4000, 'x'));
  Ramp(kOneStep);
  ASSERT_EQ(Run(), "");
  ASSERT_EQ(Run(), "");
  EXPECT_EQ(ReadFile("cell7Rin"), std::string(kHeader) + kRampRow1);
  EXPECT_FALSE(std::filesystem::exists("cell7"));
}

}  // namespace
}  // namespace ictalscope
