#include "recording/loader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "recording_fixture.h"

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
  EXPECT_EQ(panel.HeaderLabel(), ReadFile("rec.wcp").substr(0, 512));
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
  std::vector<std::string> files;  // created before the load; a trailing "/" makes a folder
  std::string loaded;              // "wcp", "text", "nothing", or an error message
};

TEST_F(LoaderTest, NameResolution) {
  const std::vector<NameCase> cases = {
      {"rec", {"rec.wcp"}, "wcp"},
      {"rec.wcp", {"rec.wcp"}, "Invalid numeric input"},  // the header read as a text trace
      {"rec", {"rec.wcp", "rec"}, "text"},
      {"rec", {"rec.wcp", "rec/"}, "wcp"},  // a folder is no file
      {"rec", {}, "nothing"},
      {"rec", {"rec.wcp/"}, "nothing"},
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
      } else if (file.ends_with(".wcp")) {
        WriteSmallRecording(file, {{1, 2, 3}});
      } else {
        testing::WriteFile(file, std::string(10, '\n') + "0 0 -70\n1 0 -71\n");
      }
    }
    for (int i = 0; i < kSeriesCount; ++i) fresh_chart.Append(static_cast<Series>(i), 1, 2);
    fresh_panel.SetNameBoxText(c.name);
    std::string loaded;
    try {
      ClickRecordingName(fresh);
      loaded = fresh.trace.LastIndex == kSmallLastIndex ? "wcp"
               : fresh.trace.LastIndex == 1             ? "text"
                                                        : "nothing";
    } catch (const Error& error) {
      loaded = error.what();
    }
    EXPECT_EQ(loaded, c.loaded);
    EXPECT_EQ(fresh.RecordingName, c.name);
    for (int i = 0; i < kSeriesCount; ++i) {
      const Series series = static_cast<Series>(i);
      EXPECT_EQ(fresh_chart.Points(series).empty(), series != Series::V || loaded != "wcp");
    }
  }
}

TEST_F(LoaderTest, NeitherFileLeavesEverythingButTheSeriesAndAnEmptyDump) {
  panel.SetChecked(Check::VDat, true);
  testing::WriteFile("V.dat", "old");
  ws.trace.LastIndex = 7;
  ws.trace.V[0] = 3;
  FillSeries();
  panel.SetNameBoxText("missing");
  ClickRecordingName(ws);
  EXPECT_TRUE(AllSeriesEmpty());
  EXPECT_EQ(ws.trace.LastIndex, 7);
  EXPECT_EQ(ws.trace.V[0], 3);
  EXPECT_EQ(FieldText(Field::CalibV), "4.0000000000");
  EXPECT_EQ(ReadFile("V.dat"), "");
  EXPECT_EQ(events, 0);
}

TEST_F(LoaderTest, TextTraceSetsTheFactorsToZeroAndKeepsTheLabel) {
  panel.SetChecked(Check::VDat, true);
  testing::WriteFile("trace", std::string(10, '\n') + "0 0 1\n1 0 2\n3 0 3\n3.5 0 4\n");
  SetField(Field::Analyse, "3");
  LoadRecording(ws, "trace");
  EXPECT_EQ(ws.trace.LastIndex, 3);
  EXPECT_EQ(ws.trace.AcqTime, 0.5);
  EXPECT_EQ(ws.trace.RecordNo, 3);
  EXPECT_EQ(FieldText(Field::CalibV), "0.0000000000");
  EXPECT_EQ(FieldText(Field::CalibI), "0.0000000000");
  EXPECT_EQ(FieldText(Field::AcqTime), "0.06250");
  EXPECT_EQ(panel.HeaderLabel(), "Label1");
  EXPECT_TRUE(VPoints().empty());
  EXPECT_EQ(ReadFile("V.dat"), "");
  EXPECT_EQ(events, 2);
}

TEST_F(LoaderTest, RecordPastTheLastGivesZeroMillivolts) {
  WriteTwoRecords("rec.wcp");
  SetField(Field::Analyse, "3");
  SetField(Field::step_V, "1");
  LoadRecording(ws, "rec");
  EXPECT_EQ(ws.trace.LastIndex, kSmallLastIndex);
  for (int32_t k = 0; k <= kSmallLastIndex; ++k) EXPECT_EQ(ws.trace.V[k], 0);
  ASSERT_EQ(VPoints().size(), 14u);
  for (const ChartPoint& p : VPoints()) EXPECT_EQ(p.y, 0);
}

TEST_F(LoaderTest, HeaderWithoutSamples) {
  testing::WcpRecord record;
  record.ch0.assign(kSmallPairs, 5);
  // "DT=" before "NBD=" divides 0 ms by AcqTime: N = 0.
  testing::WriteWcpFile("late.wcp", "DT=6.25E-5\r\nNBD=8.125\r\n", {record});
  LoadRecording(ws, "late");
  EXPECT_EQ(ws.trace.LastIndex, -1024);
  EXPECT_TRUE(VPoints().empty());
}

TEST_F(LoaderTest, RealRecordingHasTooFewSamplePairs) {
  std::filesystem::copy_file(ICTALSCOPE_REAL_DATA_DIR "/myokit_wcp-file.wcp", "real.wcp");
  LoadRecording(ws, "real");
  EXPECT_EQ(ws.trace.LastIndex, 16 - 1024);
  EXPECT_EQ(ws.trace.NR, 11);
  EXPECT_EQ(FieldText(Field::AcqTime), "1.00000");
  EXPECT_EQ(FieldText(Field::CalibV), "0.0006103702");
  EXPECT_TRUE(VPoints().empty());
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
  EXPECT_THROW_MSG(LoadRecording(ws, "rec"), "I/O error 131");
  EXPECT_EQ(ws.trace.RecordNo, 0);
  EXPECT_EQ(ws.trace.LastIndex, 5);  // set after the seek
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
  EXPECT_THROW_MSG(LoadRecording(ws, "rec"), "I/O error 103");
  EXPECT_EQ(VPoints().size(), 1u);
  EXPECT_FALSE(std::filesystem::exists("V.dat"));
}

// N = 800,000 / 0.0625 = 12,800,000 pairs: refused before the factors, RecordNo or any sample.
TEST_F(LoaderTest, RecordTooLongIsRefusedAfterTheHeader) {
  testing::WcpHeader header;
  header.nbd = 100'000;
  testing::WriteWcpFile("long.wcp", testing::WcpHeaderText(header), {});
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
    std::vector<Series> cleared;
  } recorder;
  ClearSeriesForLoad(recorder);
  EXPECT_EQ(recorder.cleared,
            (std::vector<Series>{Series::I, Series::th, Series::peak, Series::V_min, Series::V,
                                 Series::ID, Series::IID}));
}

}  // namespace
}  // namespace ictalscope
