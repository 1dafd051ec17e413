#include "recording/conditioning.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "recording/loader.h"
#include "recording_fixture.h"

namespace ictalscope {
namespace {

using testing::ReadFile;
using testing::RecordingTest;

class ConditioningTest : public RecordingTest {
 protected:
  // Record 1: counts 0 for k < 5, then 1000 (3.0518... mV): a step at sample 5.
  void LoadStep() {
    std::vector<int16_t> counts(kSmallLastIndex + 1, 1000);
    for (int k = 0; k < 5; ++k) counts[k] = 0;
    WriteSmallRecording("rec.wcp", {counts});
    LoadRecording(ws, "rec");
  }
};

TEST_F(ConditioningTest, DumpsTheDrawnSamples) {
  panel.SetChecked(Check::VDat, true);
  std::vector<int16_t> counts(kSmallLastIndex + 1, 7);
  counts[5] = -21442;
  counts[10] = 1000;
  counts[15] = 0;
  WriteSmallRecording("rec.wcp", {counts});
  LoadRecording(ws, "rec");
  EXPECT_EQ(ReadFile("V.dat"), "0.000313 -65.44\r\n0.000625 3.05\r\n0.000938 0.00\r\n");
  const std::vector<ChartPoint> expected = {{5 * 0.0625 / 1000, -21442 * CalibV()},
                                            {10 * 0.0625 / 1000, 1000 * CalibV()},
                                            {15 * 0.0625 / 1000, 0}};
  EXPECT_EQ(VPoints(), expected);
}

// Smoothed value first, then the raw one, at the same x; FilterCoef from the panel's AcqTime
// and tau (0.0625 / 0.3) as they stood when the load began.
TEST_F(ConditioningTest, FilterDumpsTwoLinesPerDrawnSample) {
  panel.SetChecked(Check::VDat, true);
  panel.SetChecked(Check::Filter, true);
  LoadStep();
  EXPECT_EQ(ReadFile("V.dat"),
            "0.000313 0.57\r\n0.000313 3.05\r\n"
            "0.000625 2.18\r\n0.000625 3.05\r\n"
            "0.000938 2.74\r\n0.000938 3.05\r\n");
  ASSERT_EQ(VPoints().size(), 6u);
  EXPECT_EQ(VPoints()[0].x, VPoints()[1].x);
  EXPECT_LT(VPoints()[0].y, VPoints()[1].y);
}

// A step of height h through the filter: Filtered[k] = h (1 - a^(k-4)) from the step on.
TEST_F(ConditioningTest, FilterFollowsAStepAndReplacesTheTrace) {
  panel.SetChecked(Check::Filter, true);
  LoadStep();
  const double a = std::exp(-0.0625 / 0.3);
  EXPECT_NEAR(ws.FilterCoef, 0.811936346, 1e-9);
  EXPECT_EQ(FieldText(Field::a), "0.81");
  const double h = 1000 * CalibV();
  for (int32_t k = 0; k <= kSmallLastIndex; ++k) {
    const double expected = k < 5 ? 0 : h * (1 - std::pow(a, k - 4));
    EXPECT_NEAR(ws.trace.V[k], expected, 1e-12) << k;
  }
  // The chart still shows each drawn sample smoothed, then raw.
  const std::vector<ChartPoint>& points = VPoints();
  ASSERT_EQ(points.size(), 6u);
  for (size_t i = 0; i < 3; ++i) {
    const int32_t k = 5 * static_cast<int32_t>(i + 1);
    EXPECT_EQ(points[2 * i].y, ws.trace.V[k]) << k;
    EXPECT_EQ(points[2 * i + 1].y, h) << k;
    EXPECT_EQ(points[2 * i].x, points[2 * i + 1].x) << k;
  }
}

TEST_F(ConditioningTest, FilterUsesThePanelAcqTimeOfTheLoadStart) {
  panel.SetChecked(Check::Filter, true);
  SetField(Field::AcqTime, "0.1");
  SetField(Field::tau, "0.5");
  LoadStep();
  EXPECT_EQ(ws.FilterCoef, static_cast<double>(std::exp(-0.1L / 0.5L)));
  EXPECT_EQ(ws.trace.AcqTime, 0.0625);  // then the header's DT
}

struct PlotStepCase {
  std::string step_v;
  std::vector<int32_t> drawn;
};

TEST_F(ConditioningTest, DrawsEveryPlotStepThSampleAboveTwo) {
  const std::vector<PlotStepCase> cases = {
      {" 5", {5, 10, 15}},
      {"-5", {5, 10, 15}},
      {"1", {3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}},
      {"2.9", {4, 6, 8, 10, 12, 14, 16}},
      {"17", {}},
      {"4294967299", {3, 6, 9, 12, 15}},  // Trunc keeps the low 32 bits: 3
  };
  std::vector<int16_t> counts(kSmallLastIndex + 1);
  for (int k = 0; k <= kSmallLastIndex; ++k) counts[k] = static_cast<int16_t>(100 * k);
  WriteSmallRecording("rec.wcp", {counts});
  panel.SetNameBoxText("rec");
  for (const PlotStepCase& c : cases) {
    SCOPED_TRACE(c.step_v);
    SetField(Field::step_V, c.step_v);
    ClickRecordingName(ws);
    std::vector<ChartPoint> expected;
    for (int32_t k : c.drawn) {
      expected.push_back({static_cast<double>(k * 0.0625L / 1000), 100 * k * CalibV()});
    }
    EXPECT_EQ(VPoints(), expected);
  }
}

TEST_F(ConditioningTest, PlotStepZeroStopsAtSampleThree) {
  SetField(Field::step_V, "0");
  for (int32_t k = 0; k <= kSmallLastIndex; ++k) ws.trace.V[k] = -1;
  std::vector<int16_t> counts(kSmallLastIndex + 1, 10);
  WriteSmallRecording("rec.wcp", {counts});
  EXPECT_THROW_MSG(LoadRecording(ws, "rec"), "Division by zero");
  EXPECT_EQ(ws.PlotStep, 0);
  EXPECT_EQ(ws.trace.LastIndex, kSmallLastIndex);
  for (int32_t k = 0; k <= 3; ++k) EXPECT_EQ(ws.trace.V[k], 10 * CalibV()) << k;
  for (int32_t k = 4; k <= kSmallLastIndex; ++k) EXPECT_EQ(ws.trace.V[k], -1) << k;
  EXPECT_TRUE(VPoints().empty());
}

TEST_F(ConditioningTest, DumpUntickedLeavesAnExistingFileAlone) {
  testing::WriteFile("V.dat", "old\r\n");
  LoadStep();
  EXPECT_EQ(ReadFile("V.dat"), "old\r\n");
  EXPECT_EQ(VPoints().size(), 3u);
}

struct TauCase {
  std::string name;
  double acq_time;  // Trace.AcqTime of the last load
  std::string tau;
  std::string a_text;  // empty: a failure with `message`
  std::string message;
};

TEST_F(ConditioningTest, FilterCoefRefresh) {
  const std::vector<TauCase> cases = {
      {"before_any_load", 0, "0.30", "1.00", ""},
      {"defaults", 0.0625, "0.30", "0.81", ""},
      {"long_tau", 0.0625, "100", "1.00", ""},
      {"zero_tau", 0.0625, "0", "", "Floating point division by zero"},
      {"empty_tau_before_any_load", 0, "", "", "Invalid floating point operation"},
  };
  for (const TauCase& c : cases) {
    SCOPED_TRACE(c.name);
    ws.trace.AcqTime = c.acq_time;
    SetField(Field::a, "0.80");
    SetField(Field::tau, c.tau);
    if (c.a_text.empty()) {
      EXPECT_THROW_MSG(RefreshFilterCoef(ws), c.message);
      EXPECT_EQ(FieldText(Field::a), "0.80");
    } else {
      RefreshFilterCoef(ws);
      EXPECT_EQ(FieldText(Field::a), c.a_text);
    }
  }
}

TEST_F(ConditioningTest, FilterWithZeroTauStopsTheLoadBeforeTheFile) {
  panel.SetChecked(Check::Filter, true);
  SetField(Field::tau, "0");
  EXPECT_THROW_MSG(LoadStep(), "Floating point division by zero");
  EXPECT_EQ(ws.trace.AcqTime, 0.0625);  // taken from the panel just before
  EXPECT_EQ(ws.trace.LastIndex, -1);
}

struct StimCase {
  std::string hz;
  std::string interval_text;
  double interval_ms;
};

TEST_F(ConditioningTest, StimulationRefresh) {
  const std::vector<StimCase> cases = {
      {"0.20", "5000.0", 5000}, {"3", "333.3", 333.3}, {"7", "142.9", 142.9}};
  SetField(Field::StimDelay, "2.5");
  SetField(Field::StimDuration, "0.7");
  for (const StimCase& c : cases) {
    SCOPED_TRACE(c.hz);
    SetField(Field::StimHz, c.hz);
    RefreshStimTiming(ws);
    EXPECT_EQ(FieldText(Field::StimInterval), c.interval_text);
    EXPECT_EQ(ws.stim.IntervalMs, c.interval_ms);
    EXPECT_EQ(ws.stim.DelayMs, 2.5);
    EXPECT_EQ(ws.stim.DurationMs, 0.7);
  }
  SetField(Field::StimHz, "0");
  EXPECT_THROW_MSG(RefreshStimTiming(ws), "Floating point division by zero");
}

// A load refreshes the timing only while the box is ticked.
TEST_F(ConditioningTest, LoadRefreshesTheStimulationTimingOnlyWhenTicked) {
  SetField(Field::StimHz, "4");
  LoadStep();
  EXPECT_EQ(FieldText(Field::StimInterval), "0.2");
  EXPECT_EQ(ws.stim.IntervalMs, 0);
  panel.SetChecked(Check::Stimulation, true);
  LoadStep();
  EXPECT_EQ(ws.stim.IntervalMs, 250);
}

}  // namespace
}  // namespace ictalscope
