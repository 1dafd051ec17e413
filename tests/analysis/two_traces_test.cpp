#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "analysis/analyses.h"
#include "base/error.h"
#include "panel/memory_panel.h"
#include "recording/memory_chart.h"
#include "support/scratch_directory.h"
#include "writer/recording_writer.h"

namespace ictalscope {
namespace {

using testing::ReadFile;
using testing::WriteFile;

// "NBD=" 8.125 gives 65 ms and "DT=" 6.25e-5 s an AcqTime of 0.0625 ms, so N = 1040 pairs and
// LastIndex = 16. AD 32767 and YG0 0.01 make CalibV = 32767 * 0.001 / (0.01 * 32767) = 0.1 mV
// per count. Channel 0 holds 100 + k counts in record 1 and -600 - k in record 2; channel 1 and
// the leading blocks hold values that must never reach the trace.
constexpr int32_t kPairs = 1040;
constexpr int32_t kLastIndex = 16;

double Record2Mv(int32_t k) { return (-600 - k) / 10.0; }

writer::WcpHeader Header() {
  writer::WcpHeader header;
  header.nbd = 8.125;
  header.ad = 32767;
  header.yg0 = 0.01;
  header.nr = 2;
  return header;
}

writer::WcpRecord Record(int16_t base, int16_t direction) {
  writer::WcpRecord record;
  for (int32_t k = 0; k < kPairs; ++k) {
    record.ch0.push_back(static_cast<int16_t>(base + direction * k));
    record.ch1.push_back(12345);
  }
  record.leading_fill = 777;
  return record;
}

double X(int32_t k) { return 300 + k * 0.0625 / 1000; }

class TwoTracesTest : public ::testing::Test {
 protected:
  TwoTracesTest() {
    WriteRecording(writer::WcpHeaderText(Header()));
    ws.RecordingName = "rec";
    ws.PlotStep = 5;                     // as the last load left it
    panel.SetText(Field::step_V, " 7");  // not read by "two traces"
    for (int32_t k = 0; k <= kLastIndex; ++k) ws.trace.V[k] = 99;
  }

  void WriteRecording(const std::string& header_text) {
    writer::WriteWcpFile("rec.wcp", header_text, {Record(100, 1), Record(-600, -1)});
  }

  std::string Run() {
    try {
      RunTwoTraces(ws);
    } catch (const Error& e) {
      return e.what();
    }
    return "";
  }

  void ExpectDrawn(const std::vector<int32_t>& ks, double (*mv)(int32_t), size_t skip = 0) {
    const std::vector<ChartPoint>& points = chart.Points(Series::V);
    ASSERT_EQ(points.size(), skip + ks.size());
    for (size_t i = 0; i < ks.size(); ++i) {
      EXPECT_NEAR(points[skip + i].x, X(ks[i]), 1e-12) << "k = " << ks[i];
      EXPECT_NEAR(points[skip + i].y, mv(ks[i]), 1e-12) << "k = " << ks[i];
    }
  }

  testing::ScratchDirectory dir;
  MemoryPanel panel;
  MemoryChart chart;
  Workspace ws{panel, chart};
};

TEST_F(TwoTracesTest, DrawsTheNextRecordBesideTheFirst) {
  chart.Append(Series::V, 0.1, -1);  // a point of record 1, drawn by the last load
  panel.SetChecked(Check::VDat, true);
  ASSERT_EQ(Run(), "");

  EXPECT_EQ(ws.trace.RecordNo, 2);
  ASSERT_EQ(ws.trace.LastIndex, kLastIndex);
  for (int32_t k = 0; k <= kLastIndex; ++k) EXPECT_NEAR(ws.trace.V[k], Record2Mv(k), 1e-12);
  EXPECT_EQ(chart.Points(Series::V)[0], (ChartPoint{0.1, -1}));
  ExpectDrawn({5, 10, 15}, Record2Mv, 1);
  EXPECT_EQ(ReadFile("V2.dat"), "300.000313 -60.50\r\n300.000625 -61.00\r\n300.000938 -61.50\r\n");
  EXPECT_FALSE(std::filesystem::exists("V.dat"));

  EXPECT_EQ(panel.HeaderLabel(),
            "WCP 9, classic layout: 2 records at 0.0625 ms; channels: 1 Vm (mV) analysed, 2 Im "
            "(pA)\r\n" +
                writer::WcpHeaderText(Header()));
  EXPECT_EQ(panel.Text(Field::AcqTime), "0.06250");
  EXPECT_EQ(panel.Text(Field::CalibV), "0.1000000000");
  EXPECT_EQ(panel.Text(Field::NR), " 2");  // StrWidth 2
  EXPECT_EQ(panel.Text(Field::Analyse), " 1");
}

TEST_F(TwoTracesTest, ReadsTheRecordAfterAnalyse) {
  struct Case {
    const char* analyse;
    int32_t record_no;
    const char* dump;
    const char* message;
  };
  const char* past_the_last = "Record 3 does not exist: rec.wcp holds 2 records";
  const Case cases[] = {
      {" 0", 1, "300.000313 10.50\r\n300.000625 11.00\r\n300.000938 11.50\r\n", ""},
      {" 1", 2, "300.000313 -60.50\r\n300.000625 -61.00\r\n300.000938 -61.50\r\n", ""},
      // The record after the last one does not exist: refused before the dump is begun.
      {" 2", 3, "earlier", past_the_last},
      {"2.9", 3, "earlier", past_the_last},
  };
  panel.SetChecked(Check::VDat, true);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.analyse);
    WriteFile("V2.dat", "earlier");
    panel.SetText(Field::Analyse, c.analyse);
    for (int32_t k = 0; k <= kLastIndex; ++k) ws.trace.V[k] = 99;
    ASSERT_EQ(Run(), c.message);
    EXPECT_EQ(ws.trace.RecordNo, c.record_no);
    EXPECT_EQ(ReadFile("V2.dat"), c.dump);
    EXPECT_EQ(ws.trace.LastIndex, *c.message ? -1 : kLastIndex);
  }
}

TEST_F(TwoTracesTest, DrawsEveryPlotStepThSampleAboveTwo) {
  struct Case {
    int32_t plot_step;
    std::vector<int32_t> drawn;
  };
  const Case cases[] = {
      {1, {3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}},
      {5, {5, 10, 15}},
      {-5, {5, 10, 15}},
      {16, {16}},
      {17, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.plot_step);
    chart.Clear(Series::V);
    ws.PlotStep = c.plot_step;
    ASSERT_EQ(Run(), "");
    ExpectDrawn(c.drawn, Record2Mv);
  }
}

TEST_F(TwoTracesTest, PlotStepZeroStopsAtSample3) {
  ws.PlotStep = 0;
  panel.SetChecked(Check::VDat, true);
  EXPECT_EQ(Run(), messages::kDivisionByZero);
  EXPECT_EQ(ws.trace.LastIndex, kLastIndex);
  for (int32_t k = 0; k <= 3; ++k) EXPECT_NEAR(ws.trace.V[k], Record2Mv(k), 1e-12);
  EXPECT_EQ(ws.trace.V[4], 99);
  EXPECT_TRUE(chart.Points(Series::V).empty());
  EXPECT_EQ(ReadFile("V2.dat"), "");
}

TEST_F(TwoTracesTest, WritesNoDumpWhenVDatIsUnticked) {
  WriteFile("V2.dat", "earlier");
  ASSERT_EQ(Run(), "");
  ExpectDrawn({5, 10, 15}, Record2Mv);
  EXPECT_EQ(ReadFile("V2.dat"), "earlier");
  EXPECT_FALSE(std::filesystem::exists("V.dat"));
}

TEST_F(TwoTracesTest, FilterTickedIsNotApplied) {
  panel.SetChecked(Check::Filter, true);
  ws.FilterCoef = 0.5;
  ASSERT_EQ(Run(), "");
  ExpectDrawn({5, 10, 15}, Record2Mv);  // one point per sample: no smoothed twin
  for (int32_t k = 0; k <= kLastIndex; ++k) EXPECT_NEAR(ws.trace.V[k], Record2Mv(k), 1e-12);
  EXPECT_EQ(ws.FilterCoef, 0.5);
}

// The recording is found as a load finds it; a name that matches no file is reported and
// leaves no record.
TEST_F(TwoTracesTest, ReportsAMissingRecording) {
  ws.RecordingName = "missing";
  panel.SetChecked(Check::VDat, true);
  ws.trace.LastIndex = 5;
  ws.trace.RecordNo = 9;
  ASSERT_EQ(Run(), "File not found: missing (nor missing.wcp, missing.abf)");
  EXPECT_EQ(ws.trace.LastIndex, -1);
  EXPECT_EQ(ws.trace.RecordNo, 9);
  EXPECT_EQ(ws.trace.V[0], 99);
  EXPECT_EQ(panel.HeaderLabel(), "");
  EXPECT_TRUE(chart.Points(Series::V).empty());
  EXPECT_FALSE(std::filesystem::exists("V2.dat"));
}

TEST_F(TwoTracesTest, HeaderWithoutDtReadsNoSample) {
  std::string header_text = "NC=2\r\nNBD=8.125\r\nAD=32767\r\nYG0=0.01\r\nYG1=0.01\r\n";
  WriteRecording(header_text);
  panel.SetChecked(Check::VDat, true);
  ASSERT_EQ(Run(), "");
  EXPECT_EQ(ws.trace.LastIndex, -1024);
  EXPECT_EQ(ws.trace.V[0], 99);
  EXPECT_TRUE(chart.Points(Series::V).empty());
  EXPECT_EQ(ReadFile("V2.dat"), "");
}

TEST_F(TwoTracesTest, RefusalsStopBeforeTheDump) {
  struct Case {
    double nbd;
    const char* analyse;
    std::string message;
  };
  const Case cases[] = {
      // 8e7 ms / 0.0625 ms = 1.28e9 pairs, of which N - 1023 would be loaded.
      {1e7, " 1", "Record too long: 1279998977 samples (at most 10000001)"},
      {8.125, "-2", "Record -1 does not exist: rec.wcp holds 2 records"},
  };
  panel.SetChecked(Check::VDat, true);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    writer::WcpHeader header = Header();
    header.nbd = c.nbd;
    WriteRecording(writer::WcpHeaderText(header));
    panel.SetText(Field::Analyse, c.analyse);
    EXPECT_EQ(Run(), c.message);
    EXPECT_FALSE(std::filesystem::exists("V2.dat"));
    EXPECT_TRUE(chart.Points(Series::V).empty());
  }
}

// A text trace holds one record: the record after it does not exist.
TEST_F(TwoTracesTest, TextTraceHasNoSecondRecord) {
  std::string text(10, '\n');
  for (int k = 0; k < 20; ++k) text += std::to_string(k * 0.0625) + " 0 -70\n";
  WriteFile("trace", text);
  ws.RecordingName = "trace";
  EXPECT_EQ(Run(), "Record 2 does not exist: trace holds 1 records");
  EXPECT_EQ(ws.trace.LastIndex, -1);
  panel.SetText(Field::Analyse, " 0");
  ASSERT_EQ(Run(), "");
  EXPECT_EQ(ws.trace.RecordNo, 1);
  EXPECT_EQ(ws.trace.LastIndex, 19);
  ExpectDrawn({5, 10, 15}, [](int32_t) { return -70.0; });
}

}  // namespace
}  // namespace ictalscope
