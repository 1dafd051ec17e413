#include "recording/loader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "recording_fixture.h"
#include "writer/abf_writer.h"

namespace ictalscope {
namespace {

using testing::ReadFile;
using testing::RecordingTest;

class LoaderTest : public RecordingTest {
 protected:
  // Two records: record r holds counts 1000 r + k.
  void WriteTwoRecords(const std::string& path) {
    std::vector<std::vector<int16_t>> counts(2);
    for (int r = 0; r < 2; ++r) {
      for (int k = 0; k <= kSmallLastIndex; ++k) {
        counts[r].push_back(static_cast<int16_t>(1000 * (r + 1) + k));
      }
    }
    WriteSmallRecording(path, counts);
  }

  void FillSeries() {
    for (int i = 0; i < kSeriesCount; ++i) chart.Append(static_cast<Series>(i), 1, 2);
  }

  bool AllSeriesEmpty() const {
    for (int i = 0; i < kSeriesCount; ++i) {
      if (!chart.Points(static_cast<Series>(i)).empty()) return false;
    }
    return true;
  }

  static int OpenFileCount() {
    return static_cast<int>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                                          std::filesystem::directory_iterator()));
  }
};

TEST_F(LoaderTest, LoadsRecordAnalyseOfAWcpFile) {
  WriteTwoRecords("rec.wcp");
  SetField(Field::Analyse, "2");
  panel.SetNameBoxText("rec");
  ClickRecordingName(ws);
  EXPECT_EQ(ws.RecordingName, "rec");
  EXPECT_EQ(ws.trace.RecordNo, 2);
  EXPECT_EQ(ws.trace.LastIndex, kSmallLastIndex);
  EXPECT_EQ(ws.trace.NR, 2);
  EXPECT_EQ(ws.trace.AcqTime, 0.0625);
  for (int32_t k = 0; k <= kSmallLastIndex; ++k) EXPECT_EQ(ws.trace.V[k], (2000 + k) * CalibV());
  EXPECT_EQ(FieldText(Field::Duration), "65.00");
  EXPECT_EQ(FieldText(Field::CalibV), "0.0030518509");
  EXPECT_EQ(FieldText(Field::CalibI), "0.6103701895");
  EXPECT_EQ(panel.HeaderLabel(),
            "WCP 9, classic layout: 2 records at 0.0625 ms; channels: 1 Vm (mV) analysed, 2 Im "
            "(pA)\r\n" +
                ReadFile("rec.wcp").substr(0, 512));
  ASSERT_TRUE(ws.recording.has_value());
  EXPECT_EQ(ws.recording->record, 2);
  // After the label, after YG1=, after the factors, after the last sample.
  EXPECT_EQ(events, 4);
  EXPECT_EQ(VPoints().size(), 3u);
}

// The Analyse click reloads the name taken at the last click into the box.
TEST_F(LoaderTest, AnalyseClickKeepsTheRecordingName) {
  WriteTwoRecords("rec.wcp");
  panel.SetNameBoxText("rec");
  ClickRecordingName(ws);
  FillSeries();
  panel.SetNameBoxText("other");
  SetField(Field::Analyse, "2");
  ClickAnalyse(ws);
  EXPECT_EQ(ws.trace.RecordNo, 2);
  EXPECT_EQ(ws.trace.V[0], 2000 * CalibV());
  EXPECT_EQ(VPoints().size(), 3u);
  EXPECT_TRUE(chart.Points(Series::th).empty());
}

struct NameCase {
  std::string name;
  // Created before the load: a trailing "/" makes a folder; "text:" and "wcp:" before a name
  // give the file that content whatever its name.
  std::vector<std::string> files;
  std::string loaded;  // "wcp", "text", or an error message
};

// The name is looked up as typed, then with ".wcp", then with ".abf"; the file found is read by
// its content.
TEST_F(LoaderTest, NameResolution) {
  const std::string not_found = "File not found: rec (nor rec.wcp, rec.abf)";
  const std::vector<NameCase> cases = {
      {"rec", {"wcp:rec.wcp"}, "wcp"},
      {"rec.wcp", {"wcp:rec.wcp"}, "wcp"},
      {"rec", {"wcp:rec.wcp", "text:rec"}, "text"},
      {"rec", {"wcp:rec.wcp", "rec/"}, "wcp"},  // a folder is no file
      {"rec", {"text:rec.abf"}, "text"},
      {"rec", {"wcp:rec"}, "wcp"},
      {"rec", {"text:rec.wcp", "wcp:rec.abf"}, "text"},
      {"rec", {}, not_found},
      {"rec", {"rec.wcp/", "rec.abf/"}, not_found},
  };
  for (const NameCase& c : cases) {
    SCOPED_TRACE(c.name + " with " + std::to_string(c.files.size()) + " files");
    testing::ScratchDirectory dir;
    MemoryPanel fresh_panel;
    MemoryChart fresh_chart;
    Workspace fresh{fresh_panel, fresh_chart};
    for (const std::string& file : c.files) {
      if (file.back() == '/') {
        std::filesystem::create_directory(file);
      } else if (file.starts_with("wcp:")) {
        WriteSmallRecording(file.substr(4), {{1, 2, 3}});
      } else {
        std::string text(10, '\n');
        for (int k = 0; k < 20; ++k) text += std::to_string(k) + " 0 -70\n";
        testing::WriteFile(file.substr(5), text);
      }
    }
    for (int i = 0; i < kSeriesCount; ++i) fresh_chart.Append(static_cast<Series>(i), 1, 2);
    fresh.trace.LastIndex = 7;
    fresh_panel.SetNameBoxText(c.name);
    std::string loaded;
    try {
      ClickRecordingName(fresh);
      loaded = fresh.trace.LastIndex == kSmallLastIndex ? "wcp"
               : fresh.trace.LastIndex == 19            ? "text"
                                                        : "other";
    } catch (const Error& error) {
      loaded = error.what();
      EXPECT_EQ(fresh.trace.LastIndex, -1);
      EXPECT_FALSE(fresh.recording.has_value());
    }
    EXPECT_EQ(loaded, c.loaded);
    EXPECT_EQ(fresh.RecordingName, c.name);
    for (int i = 0; i < kSeriesCount; ++i) {
      const Series series = static_cast<Series>(i);
      EXPECT_EQ(fresh_chart.Points(series).size(), series == Series::V && loaded == "wcp"    ? 3u
                                                   : series == Series::V && loaded == "text" ? 3u
                                                                                             : 0u);
    }
  }
}

// A name that matches no file is reported; the trace then holds no record, so that nothing is
// analysed under the new name. The series stay cleared and a "V.dat" begun stays empty.
TEST_F(LoaderTest, MissingRecordingIsReportedAndLeavesNoRecord) {
  panel.SetChecked(Check::VDat, true);
  testing::WriteFile("V.dat", "old");
  ws.trace.LastIndex = 7;
  ws.trace.V[0] = 3;
  FillSeries();
  panel.SetNameBoxText("missing");
  EXPECT_THROW_MSG(ClickRecordingName(ws),
                   "File not found: missing (nor missing.wcp, missing.abf)");
  EXPECT_TRUE(AllSeriesEmpty());
  EXPECT_EQ(ws.trace.LastIndex, -1);
  EXPECT_EQ(FieldText(Field::CalibV), "4.0000000000");
  EXPECT_EQ(ReadFile("V.dat"), "");
  EXPECT_EQ(events, 0);
}

// A text trace is one record: drawn and dumped like a record of a binary recording, with NR 1
// and its own sampling interval in the AcqTime field; it computes no factors.
TEST_F(LoaderTest, TextTraceIsDrawnAndShowsItsInterval) {
  panel.SetChecked(Check::VDat, true);
  SetField(Field::step_V, "1");
  testing::WriteFile("trace", std::string(10, '\n') + "0 0 1\n1 0 2\n3 0 3\n3.5 0 4\n4 0 5\n");
  SetField(Field::Analyse, "3");
  LoadRecording(ws, "trace");
  EXPECT_EQ(ws.trace.LastIndex, 4);
  EXPECT_EQ(ws.trace.AcqTime, 0.5);
  EXPECT_EQ(ws.trace.RecordNo, 3);
  EXPECT_EQ(ws.trace.NR, 1);
  EXPECT_EQ(FieldText(Field::NR), " 1");
  EXPECT_EQ(FieldText(Field::CalibV), "0.0000000000");
  EXPECT_EQ(FieldText(Field::CalibI), "0.0000000000");
  EXPECT_EQ(FieldText(Field::AcqTime), "0.50000");
  EXPECT_EQ(panel.HeaderLabel(), "Text trace: 1 record at 0.5 ms; channel: 1 V (mV) analysed");
  EXPECT_EQ(VPoints(), (std::vector<ChartPoint>{{0.0015, 4}, {0.002, 5}}));
  EXPECT_EQ(ReadFile("V.dat"), "0.001500 4.00\r\n0.002000 5.00\r\n");
  EXPECT_EQ(events, 2);
}

// With "Filter" ticked a text trace is smoothed as a record is, and keeps the smoothed values.
TEST_F(LoaderTest, TextTraceIsSmoothedWithFilter) {
  panel.SetChecked(Check::Filter, true);
  SetField(Field::AcqTime, "1");
  SetField(Field::tau, "1");
  testing::WriteFile("trace", std::string(10, '\n') + "0 0 0\n1 0 10\n2 0 10\n3 0 10\n");
  LoadRecording(ws, "trace");
  const long double coef = std::exp(-1.0L);
  const double f1 = static_cast<double>((1 - coef) * 10);
  const double f2 = static_cast<double>(coef * f1 + (1 - coef) * 10);
  EXPECT_EQ(ws.trace.V[0], 0);
  EXPECT_EQ(ws.trace.V[1], f1);
  EXPECT_EQ(ws.trace.V[2], f2);
}

// A load keeps the rise summary of what it stored, for "Spikes" to skip the quiet blocks, when
// the reader stored the samples of a binary recording and nothing else wrote them: a smoothing
// load (whose trace is the smoothed values) and a text trace (written sample by sample) keep
// none, and any later write access to the samples forgets it.
TEST_F(LoaderTest, KeepsTheRiseSummaryOnlyOfSamplesAsTheReaderStoredThem) {
  std::vector<int16_t> counts(3000);
  for (size_t k = 0; k < counts.size(); ++k) counts[k] = static_cast<int16_t>(k % 700 * 10);
  writer::AbfDescription abf;
  abf.channels = {{.name = "IN 0", .unit = "mV"}};
  abf.sweeps = {{.counts = {counts}, .values = {}}};
  writer::WriteAbfFile("sweep.abf", abf);
  WriteSmallRecording("classic.wcp", {{100, 2000, 300}});
  std::filesystem::copy_file(ICTALSCOPE_REAL_DATA_DIR "/myokit_wcp-file.wcp", "setup.wcp");
  testing::WriteFile("trace", std::string(10, '\n') + "0 0 1\n1 0 2\n2 0 30\n");
  struct Case {
    const char* name;
    bool filter;
    bool kept;
  };
  const Case cases[] = {{"classic.wcp", false, true}, {"setup.wcp", false, true},
                        {"sweep.abf", false, true},   {"classic.wcp", true, false},
                        {"sweep.abf", true, false},   {"trace", false, false}};
  SetField(Field::AcqTime, "1");
  SetField(Field::tau, "1");
  for (const Case& c : cases) {
    panel.SetChecked(Check::Filter, c.filter);
    LoadRecording(ws, c.name);
    const SampleArray& samples = ws.trace.V;
    const int32_t expected = c.kept ? ws.trace.LastIndex + 1 : 0;
    EXPECT_EQ(samples.rises().covered(), expected) << c.name << (c.filter ? " with Filter" : "");
  }
  panel.SetChecked(Check::Filter, false);
  for (int write : {0, 1}) {
    LoadRecording(ws, "sweep");
    ASSERT_GT(std::as_const(ws.trace.V).rises().covered(), 0);
    if (write == 0) ws.trace.V[5] = 1;
    if (write == 1) (void)ws.trace.V.data();
    EXPECT_EQ(std::as_const(ws.trace.V).rises().covered(), 0) << "write access " << write;
  }
}

// A record that does not exist is refused before any sample is read, and leaves no record.
TEST_F(LoaderTest, RecordThatDoesNotExistIsRefused) {
  WriteTwoRecords("rec.wcp");
  SetField(Field::step_V, "1");
  for (const char* analyse : {"3", "0", "-1"}) {
    SCOPED_TRACE(analyse);
    ws.trace.LastIndex = 5;
    SetField(Field::Analyse, analyse);
    EXPECT_THROW_MSG(LoadRecording(ws, "rec"),
                     std::string("Record ") + analyse + " does not exist: rec.wcp holds 2 records");
    EXPECT_EQ(ws.trace.LastIndex, -1);
    EXPECT_TRUE(VPoints().empty());
    EXPECT_EQ(FieldText(Field::CalibV), "0.0030518509");
    ASSERT_TRUE(ws.recording.has_value());
    EXPECT_EQ(ws.recording->record, 0);
  }
}

TEST_F(LoaderTest, HeaderWithoutSamples) {
  writer::WcpRecord record;
  record.ch0.assign(kSmallPairs, 5);
  // "DT=" before "NBD=" divides 0 ms by AcqTime: N = 0.
  writer::WriteWcpFile("late.wcp", "NC=2\r\nDT=6.25E-5\r\nNBD=8.125\r\n", {record});
  LoadRecording(ws, "late");
  EXPECT_EQ(ws.trace.LastIndex, -1024);
  EXPECT_TRUE(VPoints().empty());
}

// The real file keeps the current on channel 1 and the voltage on channel 2, at 1 kHz: it is
// read by its header, 256 samples a record of a voltage-clamp protocol from -80 mV to -20 mV.
TEST_F(LoaderTest, RealRecordingOfAnotherSetUpIsReadByItsHeader) {
  std::filesystem::copy_file(ICTALSCOPE_REAL_DATA_DIR "/myokit_wcp-file.wcp", "real.wcp");
  LoadRecording(ws, "real");
  EXPECT_EQ(ws.trace.LastIndex, 255);
  EXPECT_EQ(ws.trace.NR, 11);
  EXPECT_EQ(ws.trace.AcqTime, 1);
  EXPECT_EQ(FieldText(Field::AcqTime), "1.00000");
  EXPECT_EQ(FieldText(Field::NR), "11");
  EXPECT_EQ(FieldText(Field::Duration), "256.00");
  // VMax 10 V of every record, ADCMAX 32677, YG1 0.01 V/mV and YG0 0.0005 V/pA.
  const double mv_per_count = static_cast<double>(10.0L / (32677 * 0.01L));
  EXPECT_EQ(FieldText(Field::CalibV), "0.0306025645");
  EXPECT_EQ(FieldText(Field::CalibI), "0.6120512899");
  EXPECT_EQ(ws.trace.V[0], static_cast<double>(-2618 * static_cast<long double>(mv_per_count)));
  const auto [low, high] = std::minmax_element(ws.trace.V.data(), ws.trace.V.data() + 256);
  EXPECT_NEAR(*low, -80, 0.5);
  EXPECT_NEAR(*high, -20, 0.5);
  EXPECT_EQ(VPoints().size(), 51u);
  ASSERT_TRUE(ws.recording.has_value());
  EXPECT_EQ(ws.recording->layout, "header");
  EXPECT_EQ(ws.recording->analysed_channel, 1);
}

// What a failing load did stays done; what it had not reached stays as it was; every file that
// it opened is closed again.
TEST_F(LoaderTest, FailuresKeepWhatWasDone) {
  WriteTwoRecords("rec.wcp");
  panel.SetChecked(Check::VDat, true);
  ws.trace.LastIndex = 5;
  ws.trace.RecordNo = 9;
  const int open_files = OpenFileCount();

  SetField(Field::Analyse, "0");
  EXPECT_THROW_MSG(LoadRecording(ws, "rec"), "Record 0 does not exist: rec.wcp holds 2 records");
  EXPECT_EQ(ws.trace.RecordNo, 0);
  EXPECT_EQ(ws.trace.LastIndex, -1);
  EXPECT_EQ(FieldText(Field::CalibV), "0.0030518509");
  EXPECT_EQ(OpenFileCount(), open_files);

  std::string bytes = ReadFile("rec.wcp");
  bytes.replace(bytes.find("AD=10"), 5, "AD=1,");
  testing::WriteFile("bad.wcp", bytes);
  SetField(Field::Analyse, "1");
  SetField(Field::CalibV, "1.0000000000");
  EXPECT_THROW_MSG(LoadRecording(ws, "bad"), "'1,' is not a valid floating point value");
  EXPECT_EQ(FieldText(Field::Duration), "65.00");  // "NBD=" stands before "AD="
  EXPECT_EQ(FieldText(Field::CalibV), "1.0000000000");
  EXPECT_EQ(ws.trace.RecordNo, 0);
  EXPECT_EQ(OpenFileCount(), open_files);
  EXPECT_EQ(ReadFile("V.dat"), "");
}

// "V.dat" ticked while events are processed, after the load began without it: writing to the file
// that was never opened fails at the first drawn sample, which is already on the chart.
TEST_F(LoaderTest, DumpTickedDuringTheLoadWasNeverOpened) {
  WriteTwoRecords("rec.wcp");
  panel.on_process_events = [this] { panel.SetChecked(Check::VDat, true); };
  EXPECT_THROW_MSG(LoadRecording(ws, "rec"), "I/O error 103: V.dat");
  EXPECT_EQ(VPoints().size(), 1u);
  EXPECT_FALSE(std::filesystem::exists("V.dat"));
}

// N = 800,000 / 0.0625 = 12,800,000 pairs: refused before the factors, RecordNo or any sample.
TEST_F(LoaderTest, RecordTooLongIsRefusedAfterTheHeader) {
  writer::WcpHeader header;
  header.nbd = 100'000;
  writer::WriteWcpFile("long.wcp", writer::WcpHeaderText(header), {});
  ws.trace.LastIndex = 5;
  ws.trace.RecordNo = 9;
  EXPECT_THROW_MSG(LoadRecording(ws, "long"),
                   "Record too long: 12798977 samples (at most 10000001)");
  EXPECT_EQ(FieldText(Field::Duration), "800000.00");
  EXPECT_EQ(FieldText(Field::CalibV), "4.0000000000");
  EXPECT_EQ(ws.trace.RecordNo, 9);
  EXPECT_EQ(ws.trace.LastIndex, 5);
}

TEST_F(LoaderTest, ClearsTheSeriesInOrder) {
  struct Recorder : Chart {
    void Clear(Series series) override { cleared.push_back(series); }
    void Append(Series, double, double) override {}
    void AppendRun(Series, const DrawnRun&) override {}
    void ExtendLastRun(Series, int64_t) override {}
    void KeepSamplesOf(const double*) override {}
    std::vector<Series> cleared;
  } recorder;
  ClearSeriesForLoad(recorder);
  EXPECT_EQ(recorder.cleared,
            (std::vector<Series>{Series::I, Series::th, Series::peak, Series::V_min, Series::V,
                                 Series::ID, Series::IID}));
}

}  // namespace
}  // namespace ictalscope
