#include "recording/wcp_record_reader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "recording_fixture.h"
#include "writer/recording_writer.h"

namespace ictalscope {
namespace {

using testing::ReadFile;
using testing::ScratchDirectory;
using writer::WcpRecord;

// With a factor of 1 the samples are the channel-0 counts themselves.
std::vector<double> ReadRecord(const std::string& path, int32_t record_no, int64_t n,
                               int64_t count) {
  WcpRecordReader reader(path);
  reader.SeekRecord(record_no, n);
  reader.SkipLeadingBlock();
  std::vector<double> out(static_cast<size_t>(count), -1);
  reader.ReadSamples(out.data(), count, 1.0);
  return out;
}

WcpRecord Ramp(int16_t start, int n) {
  WcpRecord record;
  for (int k = 0; k < n; ++k) {
    record.ch0.push_back(static_cast<int16_t>(start + k));
    record.ch1.push_back(static_cast<int16_t>(-7000 - k));  // never reaches the samples
  }
  return record;
}

TEST(WcpRecordReader, ReadsRecordThreeAtItsOffset) {
  ScratchDirectory dir;
  const int n = 8192;
  writer::WriteWcpFile("rec.wcp", "", {Ramp(1000, n), Ramp(2000, n), Ramp(3000, n)});
  // Record 3's first channel-0 count stands at 2048 + 2 * (4 * 8192 + 1024) = 69632.
  const std::string bytes = ReadFile("rec.wcp");
  ASSERT_EQ(
      static_cast<unsigned char>(bytes[69632]) | (static_cast<unsigned char>(bytes[69633]) << 8),
      3000);
  const std::vector<double> samples = ReadRecord("rec.wcp", 3, n, n - 1023);
  for (int k = 0; k < n - 1023; ++k) ASSERT_EQ(samples[k], 3000 + k) << k;
}

struct ShortFileCase {
  std::string name;
  size_t file_bytes;             // the file is cut to this length
  std::vector<double> expected;  // the first five samples of record 1
};

// Record 1: leading block of 0x0102, channel 0 = 0x1234, 0x2345, 0x3456, ...; sample pairs from
// byte 2048.
TEST(WcpRecordReader, ShortFilesFollowTheTwoByteReadRules) {
  const double a = 0x1234, b = 0x2345, c = 0x3456;
  const std::vector<ShortFileCase> cases = {
      {"whole_record", 2048 + 5 * 4, {a, b, c, 0x4567, 0x5678}},
      {"ends_after_two_pairs", 2048 + 8, {a, b, b, b, b}},
      {"one_byte_of_channel_0", 2048 + 9, {a, b, 0x2356, 0x2356, 0x2356}},
      {"inside_channel_1", 2048 + 11, {a, b, c, c, c}},
      {"ends_with_leading_block", 2048, {0x0102, 0x0102, 0x0102, 0x0102, 0x0102}},
      {"one_byte_of_leading_block", 1025, {2, 2, 2, 2, 2}},
      {"record_at_end_of_file", 1024, {0, 0, 0, 0, 0}},
      {"record_past_end_of_file", 600, {0, 0, 0, 0, 0}},
  };
  for (const ShortFileCase& sc : cases) {
    SCOPED_TRACE(sc.name);
    ScratchDirectory dir;
    WcpRecord record;
    record.leading_fill = 0x0102;
    record.ch0 = {0x1234, 0x2345, 0x3456, 0x4567, 0x5678};
    record.ch1 = {0x7F11, 0x7F22, 0x7F33, 0x7F44, 0x7F55};
    writer::WriteWcpFile("rec.wcp", "", {record});
    std::filesystem::resize_file("rec.wcp", sc.file_bytes);
    EXPECT_EQ(ReadRecord("rec.wcp", 1, 5, 5), sc.expected);
  }
}

TEST(WcpRecordReader, RecordAfterTheLastGivesZeros) {
  ScratchDirectory dir;
  writer::WriteWcpFile("rec.wcp", "", {Ramp(500, 2000), Ramp(600, 2000)});
  const std::vector<double> samples = ReadRecord("rec.wcp", 3, 2000, 977);
  EXPECT_EQ(samples, std::vector<double>(977, 0.0));
}

TEST(WcpRecordReader, NegativePositionIsAnIoError) {
  ScratchDirectory dir;
  writer::WriteWcpFile("rec.wcp", "", {Ramp(1, 2000)});
  WcpRecordReader reader("rec.wcp");
  EXPECT_THROW_MSG(reader.SeekRecord(0, 2000), "I/O error 131: rec.wcp");
  EXPECT_THROW_MSG(reader.SeekRecord(-1, 0), "I/O error 131: rec.wcp");
  EXPECT_NO_THROW(reader.SeekRecord(0, 0));  // 1024 - 1024 = byte 0
  // Far past any offset the system takes: no error, and the reads find no data.
  EXPECT_NO_THROW(reader.SeekRecord(INT32_MIN, -(int64_t{1} << 62)));
  reader.SkipLeadingBlock();
  double sample = -1;
  reader.ReadSamples(&sample, 1, 1.0);
  EXPECT_EQ(sample, 0);
}

// 300,000 pairs span more than one read block; reading them in odd chunks changes nothing.
TEST(WcpRecordReader, LongRecordsInChunks) {
  ScratchDirectory dir;
  const int n = 300'000;
  WcpRecord record;
  for (int k = 0; k < n; ++k) {
    record.ch0.push_back(static_cast<int16_t>(k * 7919));
    record.ch1.push_back(static_cast<int16_t>(k));
  }
  writer::WriteWcpFile("rec.wcp", "", {record});
  WcpRecordReader reader("rec.wcp");
  reader.SeekRecord(1, n);
  reader.SkipLeadingBlock();
  std::vector<double> out(n - 1023);
  int64_t first = 0;
  for (int64_t size : {1, 3, 4, 262'143, 5, 100'000}) {
    const int64_t count = std::min<int64_t>(size, static_cast<int64_t>(out.size()) - first);
    reader.ReadSamples(out.data() + first, count, 1.0);
    first += count;
  }
  ASSERT_EQ(first, static_cast<int64_t>(out.size()));
  for (int k = 0; k < n - 1023; ++k) ASSERT_EQ(out[k], static_cast<int16_t>(k * 7919)) << k;
}

// The product is rounded to a 64-bit significand first, then to double: for this count and
// factor that differs from the product in double.
TEST(WcpRecordReader, ConvertsWithExtendedPrecision) {
  ScratchDirectory dir;
  const writer::WcpHeader header;
  const double calib_v = static_cast<double>(header.ad * 0.001L / (header.yg0 * 32767.0L));
  WcpRecord record;
  record.ch0 = {23511, -31703, 0, 1};
  writer::WriteWcpFile("rec.wcp", writer::WcpHeaderText(header), {record});
  WcpRecordReader reader("rec.wcp");
  reader.SeekRecord(1, 4);
  reader.SkipLeadingBlock();
  double out[4];
  reader.ReadSamples(out, 4, calib_v);
  EXPECT_EQ(out[0], static_cast<double>(23511 * static_cast<long double>(calib_v)));
  EXPECT_NE(out[0], 23511 * calib_v);
  EXPECT_EQ(out[1], static_cast<double>(-31703 * static_cast<long double>(calib_v)));
  EXPECT_EQ(out[2], 0);
  EXPECT_EQ(out[3], calib_v);
}

TEST(WcpRecordReader, HeaderTextOfAShortFileEndsInNul) {
  ScratchDirectory dir;
  testing::WriteFile("short.wcp", "NBD=64\r\nDT=6.25E-5\r\n");
  WcpRecordReader reader("short.wcp");
  const std::string text = reader.ReadHeaderText();
  ASSERT_EQ(text.size(), 512u);
  EXPECT_EQ(text.substr(0, 20), "NBD=64\r\nDT=6.25E-5\r\n");
  EXPECT_EQ(text.substr(20), std::string(492, '\0'));
}

TEST(WcpRecordReader, OpensReadOnlyFilesAndReportsMissingOnes) {
  ScratchDirectory dir;
  writer::WriteWcpFile("rec.wcp", "", {Ramp(5, 1030)});
  ASSERT_EQ(::chmod("rec.wcp", 0444), 0);
  EXPECT_EQ(ReadRecord("rec.wcp", 1, 1030, 7), (std::vector<double>{5, 6, 7, 8, 9, 10, 11}));
  EXPECT_THROW_MSG(WcpRecordReader("missing.wcp"), "File not found: missing.wcp");
}

}  // namespace
}  // namespace ictalscope
