#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "analysis/analyses.h"
#include "analysis/spike_detection.h"
#include "base/error.h"
#include "panel/memory_panel.h"
#include "recording/loader.h"
#include "recording/memory_chart.h"
#include "support/scratch_directory.h"
#include "synthetic_trace.h"

namespace ictalscope {
namespace {

using testing::AddSpikeKnots;
using testing::Knot;
using testing::PiecewiseLinear;
using testing::SpikeTrain;

constexpr double kAcq = 0.0625;
constexpr const char* kTableFull = "Spike table full: only the first 100000 spikes are kept";
constexpr const char* kIntervalNotPositive = "Stimulation interval must be positive";

class SpikesTest : public ::testing::Test {
 protected:
  void Load(const std::vector<double>& v, double acq_ms = kAcq) {
    testing::SetTrace(ws_.trace, v, acq_ms);
  }
  void Stimulate(double interval_ms, double delay_ms, double duration_ms) {
    panel_.SetChecked(Check::Stimulation, true);
    ws_.stim = {interval_ms, delay_ms, duration_ms};
  }
  // The message of the Error that "Spikes" throws, or nothing.
  std::optional<std::string> Run() {
    try {
      RunSpikes(ws_, spikes_);
    } catch (const Error& e) {
      return e.what();
    }
    return std::nullopt;
  }
  const std::vector<ChartPoint>& Points(Series series) const { return chart_.Points(series); }

  MemoryPanel panel_;
  MemoryChart chart_;
  Workspace ws_{panel_, chart_};
  SpikeTable spikes_;
};

TEST(SyntheticTrace, SpikeHasOneSteepRiseAndReturnsToBaseline) {
  const std::vector<double> v = SpikeTrain(400, -60, {100, 250});
  ASSERT_EQ(v.size(), 401u);
  EXPECT_EQ(v[99], -60);
  EXPECT_EQ(v[100], -50);
  EXPECT_EQ(v[107], 20);
  EXPECT_EQ(v[108], 18.875);
  EXPECT_EQ(v[187], -70);
  EXPECT_EQ(v[188], -69.5);
  EXPECT_EQ(v[207], -60);
  EXPECT_EQ(v[250], -50);
  EXPECT_EQ(v[400], -60);
  int steep = 0;
  for (size_t k = 1; k < v.size(); ++k) steep += (v[k] - v[k - 1]) / kAcq > 10;
  EXPECT_EQ(steep, 16);  // eight samples of each rise
}

// After a load "Spikes" reads only the blocks of samples that the load's rise summary cannot
// rule out, and measures what a scan of every sample measures; after the samples are written,
// it reads them all again and finds what was written.
TEST_F(SpikesTest, LoadedRecordGivesWhatAScanOfEverySampleGives) {
  testing::ScratchDirectory folder;
  std::filesystem::copy_file(ICTALSCOPE_REAL_DATA_DIR "/pyabf_17o05028_ic_steps.abf", "steps.abf");
  panel_.SetText(Field::Analyse, "14");  // a sweep with spikes
  LoadRecording(ws_, "steps");
  const int32_t samples = ws_.trace.LastIndex + 1;
  ASSERT_EQ(std::as_const(ws_.trace.V).rises().covered(), samples);
  for (bool upstroke_written : {false, true}) {
    if (upstroke_written) {
      for (int32_t k = 100; k < 120; ++k) ws_.trace.V[k] = ws_.trace.V[99] + 5.0 * (k - 99);
    }
    ASSERT_EQ(Run(), std::nullopt);
    const std::span<const double> v(std::as_const(ws_.trace.V).data(), samples);
    const SpikeRun full = DetectSpikes(v, ws_.trace.AcqTime, {50, false, {}});
    ASSERT_GT(full.count(), upstroke_written ? 1 : 0);
    ASSERT_EQ(spikes_.SpikeCount, full.count());
    for (int32_t n = 1; n <= full.count(); ++n) {
      EXPECT_EQ(spikes_.tsp[n], full.tsp[n - 1]);
      EXPECT_EQ(spikes_.Vpeak[n], full.Vpeak[n - 1]);
      EXPECT_EQ(spikes_.Vrest[n], full.Vrest[n - 1]);
    }
    if (upstroke_written) {
      EXPECT_EQ(spikes_.tsp[1], 100 * ws_.trace.AcqTime);
    }
  }
}

TEST_F(SpikesTest, StraightSegmentsGiveOneMeasuredSpike) {
  Load(PiecewiseLinear({{0, -60}, {1000, -60}, {1008, 20}, {1088, -70}, {2999, -70}}));
  EXPECT_EQ(Run(), std::nullopt);
  ASSERT_EQ(spikes_.SpikeCount, 1);
  EXPECT_EQ(spikes_.VT[1], -50);
  EXPECT_EQ(spikes_.tsp[1], 62.5625);
  EXPECT_EQ(spikes_.Vpeak[1], 20);
  EXPECT_EQ(spikes_.tpeak[1], 63);
  EXPECT_EQ(spikes_.Vrest[1], -60);
  EXPECT_EQ(spikes_.Vmin[1], -70);
  EXPECT_EQ(spikes_.AHP[1], 20);
  EXPECT_EQ(Points(Series::th), (std::vector<ChartPoint>{{0.0625625, -50}}));
  EXPECT_EQ(Points(Series::V_min), (std::vector<ChartPoint>{{0.0625625, -60}}));
  EXPECT_TRUE(Points(Series::peak).empty());
}

TEST_F(SpikesTest, SpikeTrainIsMeasuredSpikeBySpike) {
  const std::vector<int32_t> onsets{200, 1200, 2200};
  Load(SpikeTrain(3000, -60, onsets));
  EXPECT_EQ(Run(), std::nullopt);
  ASSERT_EQ(spikes_.SpikeCount, 3);
  for (int n = 1; n <= 3; ++n) {
    SCOPED_TRACE(n);
    EXPECT_EQ(spikes_.tsp[n], onsets[n - 1] * kAcq);
    EXPECT_EQ(spikes_.tpeak[n], (onsets[n - 1] + 7) * kAcq);
    EXPECT_EQ(spikes_.VT[n], -50);
    EXPECT_EQ(spikes_.Vpeak[n], 20);
    EXPECT_EQ(spikes_.Vrest[n], -60);
    EXPECT_EQ(spikes_.Vmin[n], -70);
    EXPECT_EQ(spikes_.AHP[n], 20);
  }
  // A peak is drawn when the next spike begins, so the last one has none.
  EXPECT_EQ(Points(Series::peak), (std::vector<ChartPoint>{{0.0129375, 20}, {0.0754375, 20}}));
  EXPECT_EQ(Points(Series::th).size(), 3u);
  EXPECT_EQ(Points(Series::V_min).size(), 3u);
}

TEST_F(SpikesTest, OnsetNeedsARiseFasterThan10MvPerMs) {
  struct Case {
    double acq_ms, before_mv, after_mv;
    int32_t spikes;
  } cases[] = {
      {0.0625, -60, -59.375, 0},  // exactly 10 mV/ms
      {0.0625, -60, -59.37, 1},
      {0.1, -60, -59, 0},  // 1 / 0.1 lies just below 10 with the double 0.1
      {0.1, 0.1, 1.1, 1},  // above 10 only when the difference keeps its extended digits
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.after_mv);
    Load(PiecewiseLinear(
             {{0, c.before_mv}, {500, c.before_mv}, {501, c.after_mv}, {1000, c.after_mv}}),
         c.acq_ms);
    EXPECT_EQ(Run(), std::nullopt);
    EXPECT_EQ(spikes_.SpikeCount, c.spikes);
    if (c.spikes == 1) {
      EXPECT_EQ(spikes_.tsp[1], 501 * c.acq_ms);
    }
  }
}

// An event rising `rise_mv` above its onset, ending before a full spike at sample 1400.
std::vector<double> SmallEventThenSpike(double rise_mv) {
  std::vector<Knot> knots{{0, -60},   {299, -60}, {300, -59}, {301, -59 + rise_mv},
                          {341, -64}, {361, -60}};
  AddSpikeKnots(knots, 1400, -60);
  knots.push_back({3000, -60});
  return PiecewiseLinear(knots);
}

TEST_F(SpikesTest, EventsOf5MvOrLessAreDiscardedInNormalModeOnly) {
  struct Case {
    double rise_mv;
    bool stimulation;
    int32_t spikes;
  } cases[] = {{5, false, 1}, {5.0625, false, 2}, {5, true, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rise_mv + c.stimulation);
    chart_.Clear(Series::th);
    chart_.Clear(Series::peak);
    panel_.SetChecked(Check::Stimulation, false);
    if (c.stimulation) Stimulate(1e6, 0, 1);  // no stimulus within the record
    Load(SmallEventThenSpike(c.rise_mv));
    EXPECT_EQ(Run(), std::nullopt);
    ASSERT_EQ(spikes_.SpikeCount, c.spikes);
    EXPECT_EQ(spikes_.tsp[c.spikes], 1400 * kAcq);
    EXPECT_EQ(spikes_.VT[c.spikes], -50);
    EXPECT_EQ(Points(Series::th).size(), 2u);  // the discarded event keeps its marker
    if (c.spikes == 2) {
      EXPECT_EQ(Points(Series::peak), (std::vector<ChartPoint>{{0.0188125, -59 + c.rise_mv}}));
    } else {
      EXPECT_TRUE(Points(Series::peak).empty());
    }
  }
}

TEST_F(SpikesTest, PlateauKeepsItsFirstSampleAsPeak) {
  // The curvature turns positive 38 samples (2.375 ms) after the first sample of the plateau
  // but only 15 after its last.
  Load(PiecewiseLinear({{0, -60},
                        {999, -60},
                        {1007, 20},
                        {1030, 20},
                        {1045, 3.125},
                        {1172, -60.375},
                        {2000, -60.375}}));
  EXPECT_EQ(Run(), std::nullopt);
  ASSERT_EQ(spikes_.SpikeCount, 1);
  EXPECT_EQ(spikes_.tpeak[1], 1007 * kAcq);
  EXPECT_EQ(spikes_.Vpeak[1], 20);
  EXPECT_EQ(spikes_.Vmin[1], 3.125);
  EXPECT_EQ(spikes_.AHP[1], -53.125);
}

TEST_F(SpikesTest, SpikeEndsOnlyMoreThan2MsAfterItsPeak) {
  // The fall steepens no more after `corner` samples past the peak: the curvature is positive
  // there and again where the slower fall meets the flat part, 20 samples later.
  struct Case {
    int32_t corner;
    double Vmin;
  } cases[] = {{32, -26}, {33, -17.125}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.corner);
    const double corner_mv = 20 - 1.125 * c.corner;
    Load(PiecewiseLinear({{0, -60},
                          {999, -60},
                          {1007, 20},
                          {1007 + c.corner, corner_mv},
                          {1027 + c.corner, corner_mv - 10},
                          {2000, corner_mv - 10}}));
    EXPECT_EQ(Run(), std::nullopt);
    ASSERT_EQ(spikes_.SpikeCount, 1);
    EXPECT_EQ(spikes_.Vmin[1], c.Vmin);
    EXPECT_EQ(spikes_.AHP[1], -50 - c.Vmin);
  }
}

TEST_F(SpikesTest, StimulationBlanksSixteenSamplesAtEachStimulus) {
  // Delay 1 ms, interval 5000 ms, duration 1 ms: the blanks cover samples 80016..80031 and
  // 160016..160031.
  struct Case {
    int32_t onset;
    int32_t found_at;  // 0: not found
    double VT, marker_x;
  } cases[] = {{80015, 80015, -50, 5.0003125}, {80016, 0, 0, 0},  {80024, 0, 0, 0},
               {80031, 80032, -40, 5.001375},  {160016, 0, 0, 0}, {160031, 160032, -40, 10.001375}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.onset);
    chart_.Clear(Series::V_min);
    Stimulate(5000, 1, 1);
    Load(SpikeTrain(170000, -60, {c.onset}));
    EXPECT_EQ(Run(), std::nullopt);
    ASSERT_EQ(spikes_.SpikeCount, c.found_at == 0 ? 0 : 1);
    if (c.found_at == 0) continue;
    EXPECT_EQ(spikes_.tsp[1], c.found_at * kAcq);
    EXPECT_EQ(spikes_.VT[1], c.VT);
    ASSERT_EQ(Points(Series::V_min).size(), 1u);
    EXPECT_EQ(Points(Series::V_min)[0].x, c.marker_x);  // 10 samples before the onset
  }
}

TEST_F(SpikesTest, StimulationIntervalMustMoveTheScanOn) {
  struct Case {
    double interval_ms, duration_ms;
    bool refused;
  } cases[] = {
      {0, 0.01, true},                  // a blank of 0 samples
      {-5, 0.05, true}, {0, -1, true},  // a negative blank
      {0, 1, false},                    // 16 samples per blank: the scan leaps to the end
      {-5, 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.interval_ms + c.duration_ms);
    chart_.Clear(Series::th);
    spikes_.SpikeCount = 7;
    Stimulate(c.interval_ms, 20, c.duration_ms);
    Load(SpikeTrain(2000, -60, {100}));
    const std::optional<std::string> error = Run();
    if (c.refused) {
      EXPECT_EQ(error, kIntervalNotPositive);
      EXPECT_EQ(spikes_.SpikeCount, 0);  // reset before the refusal, as every run does
      EXPECT_TRUE(Points(Series::th).empty());
    } else {
      EXPECT_EQ(error, std::nullopt);
      EXPECT_EQ(spikes_.SpikeCount, 1);
    }
  }
}

TEST_F(SpikesTest, NegativeBlankNeverTakesTheScanBeforeItsStart) {
  // Each stimulus moves the scan 32 samples back; it goes on from sample 15 at the earliest and
  // passes the next stimulus, 1 ms later, further on.
  Stimulate(1, 0, -2);
  Load(SpikeTrain(2000, -60, {100}));
  EXPECT_EQ(Run(), std::nullopt);
  EXPECT_GE(spikes_.SpikeCount, 1);
  EXPECT_EQ(spikes_.tsp[1], 100 * kAcq);
}

// A spike that fits 90 samples, so that 100,001 of them fit a record: it rises 80 mV in 8
// samples, falls straight for 40 samples (2.5 ms) to 10 mV below the baseline, where it ends,
// and recovers in 20 more.
void AddShortSpikeKnots(std::vector<Knot>& knots, int32_t onset, double base_mv) {
  knots.insert(knots.end(), {{onset - 1, base_mv},
                             {onset + 7, base_mv + 80},
                             {onset + 47, base_mv - 10},
                             {onset + 67, base_mv}});
}

constexpr int32_t kShortSpikeSpacing = 90;

std::vector<Knot> ShortSpikes(int32_t count) {
  std::vector<Knot> knots{{0, -60}};
  for (int32_t m = 0; m < count; ++m) AddShortSpikeKnots(knots, 200 + kShortSpikeSpacing * m, -60);
  return knots;
}

TEST_F(SpikesTest, TableFullStopsAtTheOnsetOfSpike100001) {
  constexpr int32_t kFull = SpikeTable::kCapacity;
  std::vector<double> v = PiecewiseLinear(ShortSpikes(kFull + 1));
  v.resize(v.size() + 200, -60);
  Load(v);
  EXPECT_EQ(Run(), kTableFull);
  EXPECT_EQ(spikes_.SpikeCount, kFull);
  EXPECT_EQ(spikes_.tsp[kFull], (200 + kShortSpikeSpacing * (kFull - 1)) * kAcq);
  EXPECT_EQ(spikes_.Vmin[kFull], -70);
  EXPECT_EQ(Points(Series::th).size(), size_t{kFull});
  EXPECT_EQ(Points(Series::V_min).size(), size_t{kFull});
  EXPECT_EQ(Points(Series::peak).size(), size_t{kFull} - 1);
}

TEST_F(SpikesTest, DiscardedLastEntryLeavesRoomForTheNextOnset) {
  constexpr int32_t kFull = SpikeTable::kCapacity;
  std::vector<Knot> knots = ShortSpikes(kFull - 1);
  const int32_t small = 200 + kShortSpikeSpacing * (kFull - 1);
  knots.insert(
      knots.end(),
      {{small - 1, -60}, {small, -59}, {small + 1, -54}, {small + 41, -64}, {small + 61, -60}});
  AddShortSpikeKnots(knots, small + kShortSpikeSpacing, -60);
  knots.push_back({small + 400, -60});
  Load(PiecewiseLinear(knots));
  EXPECT_EQ(Run(), std::nullopt);
  EXPECT_EQ(spikes_.SpikeCount, kFull);
  EXPECT_EQ(spikes_.tsp[kFull], (small + kShortSpikeSpacing) * kAcq);
  EXPECT_EQ(Points(Series::th).size(), size_t{kFull} + 1);
}

TEST_F(SpikesTest, ZeroAcqTimeFaultsAtTheFirstDivision) {
  struct Case {
    double v15;
    bool stimulus_at_start;
    double duration_ms;
    const char* message;
  } cases[] = {
      {-60, false, 1, messages::kInvalidFloatOperation},  // 0 / 0
      {-50, false, 1, messages::kFloatDivisionByZero},
      {-50, true, 1, messages::kFloatDivisionByZero},  // the blank length divides first
      {-50, true, 0, messages::kInvalidFloatOperation},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    panel_.SetChecked(Check::Stimulation, false);
    if (c.stimulus_at_start) Stimulate(5, -5, c.duration_ms);
    spikes_.SpikeCount = 3;
    Load(PiecewiseLinear({{0, -60}, {14, -60}, {15, c.v15}, {100, c.v15}}), 0);
    EXPECT_EQ(Run(), c.message);
    EXPECT_EQ(spikes_.SpikeCount, 0);
  }
}

TEST_F(SpikesTest, VrestIsTheLowestSampleOfTheLookBackWindow) {
  struct Case {
    double acq_ms;
    const char* dt_Vrest;
    int32_t onset, dip;
    double Vrest, marker_x;
  } cases[] = {
      {0.0625, "50", 1000, 200, -60.25, 0.0625},  // j = 1000 - 800
      {0.0625, "50", 1000, 199, -60, 0.0625},
      {0.03, "50", 2000, 333, -60.25, 0.06},  // j = Trunc(2000 - 1666.67)
      {0.03, "50", 2000, 332, -60, 0.06},
      {0.0625, "50", 100, 0, -60.25, 0.00625},  // j < 0 starts at sample 0
      {0.0625, "", 1000, 900, -50, 0.0625},     // dt_Vrest reads as 0: the onset alone
      {0.0625, "-1", 1000, 900, -50, 0.0635},   // j = 1016 lies after the onset
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dip);
    chart_.Clear(Series::V_min);
    panel_.SetText(Field::dt_Vrest, c.dt_Vrest);
    // A dip of 0.25 mV, too shallow for an onset, then a spike that stays at its end value.
    std::vector<Knot> knots;
    if (c.dip > 0) knots.insert(knots.end(), {{0, -60}, {c.dip - 1, -60}});
    knots.insert(knots.end(), {{c.dip, -60.25},
                               {c.dip + 1, -60},
                               {c.onset - 1, -60},
                               {c.onset + 7, 20},
                               {c.onset + 87, -70},
                               {c.onset + 500, -70}});
    Load(PiecewiseLinear(knots), c.acq_ms);
    EXPECT_EQ(Run(), std::nullopt);
    ASSERT_EQ(spikes_.SpikeCount, 1);
    EXPECT_EQ(spikes_.Vrest[1], c.Vrest);
    EXPECT_EQ(Points(Series::V_min), (std::vector<ChartPoint>{{c.marker_x, c.Vrest}}));
  }
}

TEST_F(SpikesTest, RecordEndingInsideASpikeLeavesItsEndUnwritten) {
  spikes_.Vmin[1] = 123;
  spikes_.AHP[1] = 456;
  Load(PiecewiseLinear({{0, -60}, {999, -60}, {1007, 20}, {1020, 5.375}}));
  EXPECT_EQ(Run(), std::nullopt);
  ASSERT_EQ(spikes_.SpikeCount, 1);
  EXPECT_EQ(spikes_.Vpeak[1], 20);
  EXPECT_EQ(spikes_.Vmin[1], 123);
  EXPECT_EQ(spikes_.AHP[1], 456);
}

TEST_F(SpikesTest, FirstTestedSampleIs15AndNeedsASuccessor) {
  struct Case {
    int32_t last_index, spikes;
  } cases[] = {{15, 0}, {16, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.last_index);
    chart_.Clear(Series::th);
    Load(PiecewiseLinear({{0, -60}, {14, -60}, {15, -50}, {c.last_index, -50}}));
    EXPECT_EQ(Run(), std::nullopt);
    EXPECT_EQ(spikes_.SpikeCount, c.spikes);
    EXPECT_EQ(Points(Series::th).size(), static_cast<size_t>(c.spikes));
  }
}

}  // namespace
}  // namespace ictalscope
