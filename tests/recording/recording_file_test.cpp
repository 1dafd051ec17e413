// The recording read as plain data gives exactly what a load through the panel gives.
#include "recording/recording_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/format_fixed.h"
#include "recording/loader.h"
#include "recording_fixture.h"

namespace ictalscope {
namespace {

struct FileCase {
  std::string file;  // in tests/data/real, or "demo": a written classic recording
  int32_t record;
  int channel;  // 0: the first voltage channel
};

class RecordingFileTest : public testing::RecordingTest {
 protected:
  // Two records of the classic rig at NBD 64 (8192 pairs), which its header describes too.
  static void WriteDemo() {
    writer::WcpHeader header;
    header.nr = 2;
    std::vector<writer::WcpRecord> records(2);
    for (int r = 0; r < 2; ++r) {
      for (int k = 0; k < 8192; ++k) records[r].ch0.push_back(static_cast<int16_t>(k % 700 - r));
    }
    writer::WriteWcpFile("demo.wcp", writer::WcpHeaderText(header), records);
  }
};

TEST_F(RecordingFileTest, ReadsWhatALoadReads) {
  WriteDemo();
  for (const char* real :
       {"myokit_wcp-file.wcp", "pyabf_File_axon_3.abf", "pyabf_2020_06_16_0001.abf",
        "pyabf_File_axon_7.abf", "efel_testdata.txt"}) {
    std::filesystem::copy_file(std::string(ICTALSCOPE_REAL_DATA_DIR) + "/" + real, real);
  }
  const FileCase cases[] = {
      {"demo.wcp", 2, 0},
      {"demo.wcp", 1, 1},  // classic, and by its header
      {"myokit_wcp-file.wcp", 11, 0},
      {"myokit_wcp-file.wcp", 3, 1},
      {"pyabf_File_axon_3.abf", 5, 0},
      {"pyabf_File_axon_3.abf", 2, 1},
      {"pyabf_2020_06_16_0001.abf", 2, 0},
      {"pyabf_File_axon_7.abf", 12, 0},
      {"efel_testdata.txt", 1, 0},
  };
  for (const FileCase& c : cases) {
    SCOPED_TRACE(c.file + " record " + std::to_string(c.record));
    const Recording recording = OpenRecording(c.file);
    const RecordData data = ReadRecord(recording, c.record, c.channel);

    SetField(Field::Analyse, std::to_string(c.record));
    SetField(Field::Channel, std::to_string(c.channel));
    LoadRecording(ws, c.file);
    ASSERT_EQ(static_cast<int64_t>(data.v.size()), ws.trace.LastIndex + int64_t{1});
    EXPECT_TRUE(std::equal(data.v.begin(), data.v.end(), ws.trace.V.data()));
    EXPECT_EQ(data.acq_ms, ws.trace.AcqTime);
    EXPECT_EQ(data.record, ws.trace.RecordNo);
    EXPECT_EQ(FormatFixed(data.calib_v, 2, 10), FieldText(Field::CalibV));
    EXPECT_EQ(FormatFixed(data.calib_i, 2, 10), FieldText(Field::CalibI));
    EXPECT_EQ(recording.info().records, ws.recording->records);
    EXPECT_EQ(data.channel, ws.recording->analysed_channel);
    const std::vector<double> t = SampleTimes(data);
    ASSERT_EQ(t.size(), data.v.size());
    EXPECT_EQ(t.back(), static_cast<double>(static_cast<long double>(t.size() - 1) *
                                            ws.trace.AcqTime / 1000));
  }
}

TEST_F(RecordingFileTest, RefusesWhatALoadRefuses) {
  WriteDemo();
  testing::WriteFile("trace", std::string(10, '\n') + "0 0 1\n1 0 2\n");
  const Recording demo = OpenRecording("demo.wcp");
  const Recording trace = OpenRecording("trace");
  EXPECT_THROW_MSG(ReadRecord(demo, 3), "Record 3 does not exist: demo.wcp holds 2 records");
  EXPECT_THROW_MSG(ReadRecord(demo, 0), "Record 0 does not exist: demo.wcp holds 2 records");
  EXPECT_THROW_MSG(ReadRecord(demo, 1, 3), "Channel 3 does not exist: demo.wcp has 2 channels");
  EXPECT_THROW_MSG(ReadRecord(trace, 2), "Record 2 does not exist: trace holds 1 records");
  EXPECT_THROW_MSG(ReadRecord(trace, 1, 2), "Channel 2 does not exist: trace has 1 channels");
  EXPECT_THROW_MSG(OpenRecording("none"), "File not found: none");
}

}  // namespace
}  // namespace ictalscope
