#include "recording/text_trace_reader.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "recording_fixture.h"
#include "writer/recording_writer.h"

namespace ictalscope {
namespace {

using testing::ScratchDirectory;

const std::vector<std::string> kTenHeaderLines(10, "# header");

struct TextCase {
  std::string name;
  std::string data;  // what follows the 10 header lines
  int32_t last_index;
  std::vector<double> v;  // V[0..last_index]
  double acq_time;        // 7.5: left as it was
};

std::string TenLines(const std::string& line_end) {
  std::string text;
  for (int i = 0; i < 10; ++i) text += "header " + std::to_string(i) + line_end;
  return text;
}

TEST(ReadTextTrace, StreamOfNumbers) {
  const std::vector<TextCase> cases = {
      {"three_samples", "0 0 -65\r\n1 0 -64\r\n2 0 -63\r\n", 2, {-65, -64, -63}, 7.5},
      // AcqTime is the fourth time minus the third, whatever the others say.
      {"four_samples", "0 0 1\r\n9 0 2\r\n5 0 3\r\n5.25 0 4\r\n", 3, {1, 2, 3, 4}, 0.25},
      {"trailing_blanks_add_nothing", "0 0 1\r\n1 0 2\r\n  \r\n\r\n \t \r\n", 1, {1, 2}, 7.5},
      {"no_final_line_end", "0 0 1\r\n1 0 2", 1, {1, 2}, 7.5},
      {"rest_of_line_skipped", "0 0 1 junk 99\r\n1 0 2 x\r\n", 1, {1, 2}, 7.5},
      {"numbers_cross_lines", "0\r\n0\r\n1 4 5\r\n1 0 2\r\n", 1, {1, 2}, 7.5},
      {"cr_only", "0 0 1\r1 0 2\r2 0 3\r", 2, {1, 2, 3}, 7.5},
      {"lf_only", "0 0 1\n1 0 2\n", 1, {1, 2}, 7.5},
      {"tabs_and_control_characters", "0\t0\x01-1.5e1\n", 0, {-15}, 7.5},
      {"no_data", "", -1, {}, 7.5},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDirectory dir;
    testing::WriteFile("trace", TenLines("\r\n") + c.data);
    Trace trace;
    trace.AcqTime = 7.5;
    ReadTextTrace("trace", trace);
    ASSERT_EQ(trace.LastIndex, c.last_index);
    for (int32_t k = 0; k <= c.last_index; ++k) EXPECT_EQ(trace.V[k], c.v[k]) << k;
    EXPECT_EQ(trace.AcqTime, c.acq_time);
  }
}

// The header's line ends follow the same rule: CR LF, LF or CR alone each end one line.
TEST(ReadTextTrace, HeaderLineEnds) {
  for (const std::string line_end : {"\r\n", "\n", "\r"}) {
    SCOPED_TRACE(::testing::PrintToString(line_end));
    ScratchDirectory dir;
    testing::WriteFile("trace", TenLines(line_end) + "0 0 -70" + line_end);
    Trace trace;
    ReadTextTrace("trace", trace);
    EXPECT_EQ(trace.LastIndex, 0);
    EXPECT_EQ(trace.V[0], -70);
  }
}

struct BadTextCase {
  std::string name;
  std::string data;
};

TEST(ReadTextTrace, InvalidNumericInput) {
  const std::vector<BadTextCase> cases = {
      {"short_last_line", "0 0 1\r\n1 0\r\n"},
      {"one_number_at_the_end", "0 0 1\r\n1"},
      {"letters", "0 0 1\r\n1 0 abc\r\n"},
      {"comma_decimal", "0 0 1,5\r\n"},
      {"sign_alone", "0 0 -\r\n"},
      {"number_glued_to_text", "0 0 1mV\r\n"},
  };
  for (const BadTextCase& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDirectory dir;
    testing::WriteFile("trace", TenLines("\r\n") + c.data);
    Trace trace;
    trace.LastIndex = 42;
    EXPECT_THROW_MSG(ReadTextTrace("trace", trace), "Invalid numeric input: trace");
    EXPECT_EQ(trace.LastIndex, 42);  // set only at the end
  }
}

TEST(ReadTextTrace, MissingFile) {
  ScratchDirectory dir;
  Trace trace;
  EXPECT_THROW_MSG(ReadTextTrace("none", trace), "File not found: none");
}

// One sample more than the trace holds: the rest is counted, nothing is written past the array.
TEST(ReadTextTrace, RefusesMoreSamplesThanTheTraceHolds) {
  ScratchDirectory dir;
  {
    std::ofstream out("trace", std::ios::binary);
    out << TenLines("\n");
    const std::string line = "0 0 1\n";
    std::string block;
    for (int i = 0; i < 1000; ++i) block += line;
    for (int i = 0; i < kTraceCapacity / 1000; ++i) out << block;
    out << "0 0 2\n0 0 3\n";
  }
  Trace trace;
  trace.LastIndex = 5;
  EXPECT_THROW_MSG(ReadTextTrace("trace", trace),
                   "Record too long: 10000002 samples (at most 10000001)");
  EXPECT_EQ(trace.V[kTraceCapacity - 1], 2);
  EXPECT_EQ(trace.LastIndex, 5);
}

// Lab recording: 12000 samples at 0.25 ms.
TEST(ReadTextTrace, RealRecording) {
  const std::string path = ICTALSCOPE_REAL_DATA_DIR "/efel_testdata.txt";
  Trace trace;
  ReadTextTrace(path, trace);
  ASSERT_EQ(trace.LastIndex, 11999);
  EXPECT_EQ(trace.AcqTime, 0.25);  // 0.75 - 0.5
  // Every voltage against the third column read line by line.
  std::ifstream in(path);
  std::string line;
  for (int i = 0; i < 10; ++i) std::getline(in, line);
  int k = 0;
  double t, second, v;
  while (in >> t >> second >> v) {
    ASSERT_EQ(trace.V[k], v) << k;
    ++k;
  }
  EXPECT_EQ(k, 12000);
}

}  // namespace
}  // namespace ictalscope
