#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "analysis/analyses.h"
#include "base/error.h"
#include "panel/memory_panel.h"
#include "recording/memory_chart.h"
#include "support/expect_error.h"
#include "support/scratch_directory.h"

namespace ictalscope {
namespace {

namespace fs = std::filesystem;

constexpr const char* kSuffixes[] = {"IID", "mean", "ID", "_sp", "_1sp"};
constexpr const char* kIIDHeader =
    "tr nIID nspIntra ISI tsp,s nsp VT Vpeak Vrest Vr-Vsilent Vmin AHP\r\n";
constexpr const char* kDischargeHeader = "tr nIID tIID,s ISImean,s Duration,s nspIntra\r\n";
constexpr const char* kSpikeHeader = "tr nIID tsp,s nsp VT Vpeak Vrest Vr-Vsilent Vmin AHP\r\n";
// The voltage columns of a spike set by SetSpikes, with Vsilent at -65.
constexpr const char* kV = "-50.00 20.00 -60.00 5.00 -70.00 20.00";

// Runs "IID" in a fresh working directory.
class IidTest : public ::testing::Test {
 protected:
  void SetUp() override {
    panel_.on_process_events = [this] { ++events_processed_; };
    ws_.trace.LastIndex = 0;  // a record is loaded; the spikes are set by the test
  }

  // Spikes at the given times, each with VT -50, Vpeak 20, Vrest -60, Vmin -70, AHP 20.
  void SetSpikes(const std::vector<double>& tsp_ms) {
    SpikeTable& spikes = state_.spikes;
    spikes.SpikeCount = static_cast<int32_t>(tsp_ms.size());
    for (size_t k = 1; k <= tsp_ms.size(); ++k) {
      spikes.tsp[k] = tsp_ms[k - 1];
      spikes.VT[k] = -50;
      spikes.Vpeak[k] = 20;
      spikes.Vrest[k] = -60;
      spikes.Vmin[k] = -70;
      spikes.AHP[k] = 20;
    }
  }

  std::optional<std::string> Run(int32_t record_no) {
    ws_.trace.RecordNo = record_no;
    try {
      RunIID(ws_, state_);
    } catch (const Error& e) {
      return e.what();
    }
    return std::nullopt;
  }

  static std::string Read(const std::string& name) { return testing::ReadFile(name); }

  const std::vector<ChartPoint>& Points(Series series) const { return chart_.Points(series); }

  MemoryPanel panel_;
  MemoryChart chart_;
  Workspace ws_{panel_, chart_};
  AnalysisState state_;
  int events_processed_ = 0;
  testing::ScratchDirectory scratch_;
};

// Lines ended by CR LF.
std::string Lines(std::initializer_list<std::string> lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

TEST_F(IidTest, WritesAllFiveTablesOfARecord) {
  // Spike 1 lies before 10 ms; spikes 2-4 and 6-7 form discharges; the interval 4-5 closes the
  // first, the interval 5-6 (1200 ms) closes nothing but shows as the ISI of spike 6.
  const double table[][6] = {
      // tsp, VT, Vpeak, Vrest, Vmin, AHP
      {4, -51, 20.25, -61.125, -69.9, 18.9},    {20, -52, 20.5, -62.125, -69.8, 17.8},
      {26, -53, 20.75, -63.125, -69.7, 16.7},   {40, -54, 21, -64.125, -69.6, 15.6},
      {1500, -55, 21.25, -65.125, -69.5, 14.5}, {2700, -56, 21.5, -66.125, -69.4, 13.4},
      {2703, -57, 21.75, -67.125, -69.3, 12.3},
  };
  SpikeTable& spikes = state_.spikes;
  spikes.SpikeCount = 7;
  for (int k = 1; k <= 7; ++k) {
    const double* row = table[k - 1];
    spikes.tsp[k] = row[0];
    spikes.VT[k] = row[1];
    spikes.Vpeak[k] = row[2];
    spikes.Vrest[k] = row[3];
    spikes.Vmin[k] = row[4];
    spikes.AHP[k] = row[5];
  }
  panel_.SetText(Field::NminSpikes, "2");
  EXPECT_EQ(Run(1), std::nullopt);

  EXPECT_EQ(Read("1IID"),
            kIIDHeader + Lines({
                             "1 1 1 0.000 0.020000 2 -52.00 20.50 -62.13 2.88 -69.80 17.80",
                             "1 1 2 0.006 0.026000 3 -53.00 20.75 -63.13 1.88 -69.70 16.70",
                             "1 1 3 0.014 0.040000 4 -54.00 21.00 -64.13 0.88 -69.60 15.60",
                             "1 2 1 1.200 2.700000 6 -56.00 21.50 -66.13 -1.13 -69.40 13.40",
                             "1 2 2 0.003 2.703000 7 -57.00 21.75 -67.13 -2.13 -69.30 12.30",
                         }));
  EXPECT_EQ(Read("1mean"),
            kDischargeHeader + Lines({"1 1 0.020000 0.010 0.020 3", "1 2 2.700000 0.003 0.003 2"}));
  EXPECT_EQ(Read("1ID"), kDischargeHeader + Lines({"1 1 0.020000 0.010 0.020 3"}));
  EXPECT_EQ(Read("1_sp"),
            kSpikeHeader + Lines({
                               "1 0 0.004000 1 -51.00 20.25 -61.13 3.88 -69.90 18.90",
                               "1 0 0.020000 2 -52.00 20.50 -62.13 2.88 -69.80 17.80",
                               "1 1 0.026000 3 -53.00 20.75 -63.13 1.88 -69.70 16.70",
                               "1 1 0.040000 4 -54.00 21.00 -64.13 0.88 -69.60 15.60",
                               "1 1 1.500000 5 -55.00 21.25 -65.13 -0.13 -69.50 14.50",
                               "1 1 2.700000 6 -56.00 21.50 -66.13 -1.13 -69.40 13.40",
                           }));
  EXPECT_EQ(Read("1_1sp"),
            kSpikeHeader + Lines({"1 0 0.004000 1 -51.00 20.25 -61.13 3.88 -69.90 18.90"}));
  EXPECT_EQ(Points(Series::IID), (std::vector<ChartPoint>{{0.02, -30}, {2.7, -30}}));
  EXPECT_EQ(Points(Series::ID), (std::vector<ChartPoint>{{0.02, -20}}));
  EXPECT_EQ(state_.ClosingIntervalMs, 1200);
  EXPECT_EQ(state_.ResultBaseName, "1");
  EXPECT_EQ(events_processed_, 1);
}

TEST_F(IidTest, IntervalOfISImaxClosesTheDischarge) {
  struct Case {
    std::vector<double> tsp_ms;
    std::string mean_rows;
  } cases[] = {
      {{100, 1100}, ""},
      {{100, 1099}, Lines({"1 1 0.100000 0.999 0.999 2"})},
      {{100, 200, 1200, 1300}, Lines({"1 1 0.100000 0.100 0.100 2", "1 2 1.200000 0.100 0.100 2"})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tsp_ms.size());
    SetSpikes(c.tsp_ms);
    EXPECT_EQ(Run(1), std::nullopt);
    EXPECT_EQ(Read("1mean"), kDischargeHeader + c.mean_rows);
  }
  // Each first spike shows the last interval of at least ISImax, 1000 ms, here from the first
  // case.
  EXPECT_EQ(Read("1IID"), kIIDHeader + Lines({
                                           std::string("1 1 1 1.000 0.100000 1 ") + kV,
                                           std::string("1 1 2 0.100 0.200000 2 ") + kV,
                                           std::string("1 2 1 1.000 1.200000 3 ") + kV,
                                           std::string("1 2 2 0.100 1.300000 4 ") + kV,
                                       }));
}

TEST_F(IidTest, PairsFromSpikesAtOrBefore10MsAreNotExamined) {
  struct Case {
    double first_ms;
    size_t iid_rows;
  } cases[] = {{10, 0}, {10.0625, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.first_ms);
    SetSpikes({c.first_ms, 15});
    EXPECT_EQ(Run(1), std::nullopt);
    const std::string iid = Read("1IID");
    EXPECT_EQ(static_cast<size_t>(std::count(iid.begin(), iid.end(), '\n')), 1 + c.iid_rows);
    EXPECT_EQ(Read("1_sp"), Read("1_1sp"));
    EXPECT_EQ(Read("1_sp").substr(std::string(kSpikeHeader).size(), 6), "1 0 0.");
  }
}

TEST_F(IidTest, DischargesOfMoreThanNminSpikesAreAlsoID) {
  struct Case {
    int spikes;
    std::string mean_row;
    bool id;
  } cases[] = {{40, "1 1 0.100000 0.010 0.390 40", false},
               {41, "1 1 0.100000 0.010 0.400 41", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.spikes);
    chart_.Clear(Series::IID);
    chart_.Clear(Series::ID);
    std::vector<double> tsp_ms;
    for (int k = 0; k < c.spikes; ++k) tsp_ms.push_back(100 + 10 * k);
    SetSpikes(tsp_ms);
    EXPECT_EQ(Run(1), std::nullopt);
    EXPECT_EQ(Read("1mean"), kDischargeHeader + Lines({c.mean_row}));
    EXPECT_EQ(Read("1ID"), kDischargeHeader + (c.id ? Lines({c.mean_row}) : ""));
    EXPECT_EQ(Points(Series::IID), (std::vector<ChartPoint>{{0.1, -30}}));
    EXPECT_EQ(Points(Series::ID).size(), c.id ? 1u : 0u);
  }
}

TEST_F(IidTest, TwoSpikes5MsApartFormOneDischargeClosedAtTheEnd) {
  SetSpikes({20, 25});
  EXPECT_EQ(Run(1), std::nullopt);
  EXPECT_EQ(Read("1IID"), kIIDHeader + Lines({std::string("1 1 1 0.000 0.020000 1 ") + kV,
                                              std::string("1 1 2 0.005 0.025000 2 ") + kV}));
  EXPECT_EQ(Read("1mean"), kDischargeHeader + Lines({"1 1 0.020000 0.005 0.005 2"}));
  EXPECT_EQ(Read("1ID"), kDischargeHeader);
  EXPECT_EQ(Read("1_sp"), kSpikeHeader + Lines({std::string("1 0 0.020000 1 ") + kV}));
}

TEST_F(IidTest, LaterRecordsAppendWithoutHeaders) {
  SetSpikes({20, 25, 2000});
  for (int32_t tr = 1; tr <= 3; ++tr) EXPECT_EQ(Run(tr), std::nullopt);
  EXPECT_EQ(Read("1_1sp"), kSpikeHeader + Lines({std::string("1 0 0.020000 1 ") + kV,
                                                 std::string("2 0 0.020000 1 ") + kV,
                                                 std::string("3 0 0.020000 1 ") + kV}));
  // The first ISI of record 1 has no interval before it; later records show the closing
  // interval of the run before (1975 ms).
  EXPECT_EQ(Read("1IID"), kIIDHeader + Lines({std::string("1 1 1 0.000 0.020000 1 ") + kV,
                                              std::string("1 1 2 0.005 0.025000 2 ") + kV,
                                              std::string("2 1 1 1.975 0.020000 1 ") + kV,
                                              std::string("2 1 2 0.005 0.025000 2 ") + kV,
                                              std::string("3 1 1 1.975 0.020000 1 ") + kV,
                                              std::string("3 1 2 0.005 0.025000 2 ") + kV}));
  EXPECT_EQ(Read("1mean"),
            kDischargeHeader + Lines({"1 1 0.020000 0.005 0.005 2", "2 1 0.020000 0.005 0.005 2",
                                      "3 1 0.020000 0.005 0.005 2"}));
  EXPECT_EQ(events_processed_, 3);
}

TEST_F(IidTest, TimeThroughTracesOffsetsOnlyTheSpikeTables) {
  SetSpikes({20, 25});
  EXPECT_EQ(Run(1), std::nullopt);
  panel_.SetChecked(Check::TimeThroughTraces, true);
  EXPECT_EQ(Run(3), std::nullopt);
  const std::string row = std::string("3 0 600.020000 1 ") + kV;
  EXPECT_EQ(Read("1_sp"), kSpikeHeader + Lines({std::string("1 0 0.020000 1 ") + kV, row}));
  EXPECT_EQ(Read("1_1sp"), kSpikeHeader + Lines({std::string("1 0 0.020000 1 ") + kV, row}));
  EXPECT_EQ(Read("1mean"),
            kDischargeHeader + Lines({"1 1 0.020000 0.005 0.005 2", "3 1 0.020000 0.005 0.005 2"}));
  const std::string iid = Read("1IID");
  EXPECT_NE(iid.find(std::string("3 1 2 0.005 0.025000 2 ") + kV), std::string::npos);
}

TEST_F(IidTest, RewriteEmptiesTheTablesButWritesNoHeaderAfterRecord1) {
  for (const char* suffix : kSuffixes) testing::WriteFile(std::string("1") + suffix, "old\r\n");
  panel_.SetChecked(Check::Rewrite, true);
  SetSpikes({20, 25});
  EXPECT_EQ(Run(2), std::nullopt);
  EXPECT_EQ(Read("1IID"), Lines({std::string("2 1 1 0.000 0.020000 1 ") + kV,
                                 std::string("2 1 2 0.005 0.025000 2 ") + kV}));
  EXPECT_EQ(Read("1mean"), Lines({"2 1 0.020000 0.005 0.005 2"}));
  EXPECT_EQ(Read("1ID"), "");
  EXPECT_EQ(Read("1_sp"), Lines({std::string("2 0 0.020000 1 ") + kV}));
  EXPECT_EQ(Read("1_1sp"), Lines({std::string("2 0 0.020000 1 ") + kV}));
}

// A later record analysed first (or after a table went missing) creates each missing table with
// its header line and appends to those that exist.
TEST_F(IidTest, LaterRecordCreatesTheTablesThatDoNotExist) {
  panel_.SetNameBoxText("rec");
  testing::WriteFile("recIID", "kept\r\n");
  SetSpikes({20, 25});
  EXPECT_EQ(Run(2), std::nullopt);
  EXPECT_EQ(Read("recIID"), Lines({"kept", "2 1 1 0.000 0.020000 1 " + std::string(kV),
                                   "2 1 2 0.005 0.025000 2 " + std::string(kV)}));
  EXPECT_EQ(Read("recmean"), kDischargeHeader + Lines({"2 1 0.020000 0.005 0.005 2"}));
  EXPECT_EQ(Read("recID"), kDischargeHeader);
  EXPECT_EQ(Read("rec_sp"), kSpikeHeader + Lines({"2 0 0.020000 1 " + std::string(kV)}));
  EXPECT_EQ(Read("rec_1sp"), kSpikeHeader + Lines({"2 0 0.020000 1 " + std::string(kV)}));
}

// "Spikes", "IID" and "Rin" refuse a trace without a sample before they touch anything.
TEST_F(IidTest, RefusesATraceWithoutASample) {
  panel_.SetNameBoxText("rec");
  SetSpikes({20, 25});
  ws_.trace.LastIndex = -1;
  EXPECT_EQ(Run(1), kNoRecordingLoaded);
  EXPECT_EQ(state_.ResultBaseName, "");
  EXPECT_FALSE(fs::exists("recIID"));
  EXPECT_THROW_MSG(RunSpikes(ws_, state_.spikes), kNoRecordingLoaded);
  EXPECT_EQ(state_.spikes.SpikeCount, 2);
  EXPECT_THROW_MSG(RunRin(ws_, state_.spikes), kNoRecordingLoaded);
  EXPECT_FALSE(fs::exists("recRin"));
  EXPECT_EQ(events_processed_, 0);
}

TEST_F(IidTest, SingleSpikeWritesOnlyHeadersUnderTheNameAsTyped) {
  panel_.SetNameBoxText(" rec 7 ");
  SetSpikes({20});
  EXPECT_EQ(Run(1), std::nullopt);
  EXPECT_EQ(state_.ResultBaseName, " rec 7 ");
  EXPECT_EQ(Read(" rec 7 IID"), kIIDHeader);
  EXPECT_EQ(Read(" rec 7 mean"), kDischargeHeader);
  EXPECT_EQ(Read(" rec 7 ID"), kDischargeHeader);
  EXPECT_EQ(Read(" rec 7 _sp"), kSpikeHeader);
  EXPECT_EQ(Read(" rec 7 _1sp"), kSpikeHeader);
  EXPECT_TRUE(Points(Series::IID).empty());
  EXPECT_EQ(events_processed_, 1);
}

}  // namespace
}  // namespace ictalscope
