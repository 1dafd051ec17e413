#include "recording/header_scan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "recording/wcp_record_reader.h"
#include "recording_fixture.h"

namespace ictalscope {
namespace {

using testing::RecordingTest;

// A header as it stands in a file: the lines, padded with blanks to 512 characters.
std::string Header(const std::string& lines) {
  std::string text = lines;
  text.resize(kWcpHeaderSize, ' ');
  return text;
}

struct ExpectedText {
  Field field;
  std::string text;
};

struct ScanCase {
  std::string name;
  std::string header;
  int64_t samples_per_record;
  std::vector<ExpectedText> fields;
};

class HeaderScanTest : public RecordingTest {
 protected:
  HeaderScanResult Scan(const std::string& header) {
    return ScanWcpHeader(header, panel, ws.trace);
  }
};

TEST_F(HeaderScanTest, AppliesTheKeysWithTheirQuirks) {
  const std::vector<ScanCase> cases = {
      // 512 / 0.05 with 0.05 held as a double is just below 10240.
      {"dt_0.00005",
       Header("NBD=64\r\nDT=0.00005\r\n"),
       10239,
       {{Field::Duration, "512.00"}, {Field::AcqTime, "0.05000"}}},
      {"dt_6.25e-5",
       Header("NBD=64\r\nDT=6.25E-5\r\n"),
       8192,
       {{Field::Duration, "512.00"}, {Field::AcqTime, "0.06250"}}},
      {"dt_comma", Header("NBD=64\r\nDT=6,25E-5\r\n"), 8192, {{Field::AcqTime, "0.06250"}}},
      {"dt_before_nbd", Header("DT=6.25E-5\r\nNBD=64\r\n"), 0, {{Field::Duration, "512.00"}}},
      {"no_dt", Header("NBD=64\r\n"), 0, {{Field::AcqTime, "0.06250"}}},
      {"nr_appends", Header("NR=12\r\nNR=3\r\n"), 0, {{Field::NR, "123"}}},
      {"key_inside_a_line", Header("COMMENT=see NR=5\r\n"), 0, {{Field::NR, " 5"}}},
      {"keys_are_upper_case",
       Header("nr=5\r\nAd=3\r\n"),
       0,
       {{Field::NR, "12"}, {Field::AD, "10.00"}}},
      {"nr_cut_at_8", Header("NR=12345678x\r\n"), 0, {{Field::NR, "12345678"}}},
      {"ad_cut_at_11", Header("AD=20.00000000x\r\n"), 0, {{Field::AD, "20.00"}}},
      {"dt_cut_at_23", Header("NBD=64\r\nDT=0.0000625              x\r\n"), 8192, {}},
      {"yg0_comma_cut_at_28",
       Header("YG0=0,5" + std::string(25, '0') + "x\r\n"),
       0,
       {{Field::YG0, "0.5000000000"}}},
      {"yg1_comma", Header("YG1=0,25\r\n"), 0, {{Field::YG1, "0.2500000000"}}},
      {"blanks_around_value", Header("AD= 5 \r\n"), 0, {{Field::AD, "5.00"}}},
      {"value_ends_with_the_text", "NR=7", 0, {{Field::NR, " 7"}}},
  };
  for (const ScanCase& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryPanel fresh;
    Trace trace;
    const HeaderScanResult result = ScanWcpHeader(c.header, fresh, trace);
    EXPECT_EQ(result.SamplesPerRecord, c.samples_per_record);
    for (const ExpectedText& f : c.fields) EXPECT_EQ(fresh.Text(f.field), f.text);
  }
}

TEST_F(HeaderScanTest, RecordDurationAndTraceValues) {
  const HeaderScanResult result = Scan(Header("NBD=64\r\nDT=6.25E-5\r\nNR=11\r\n"));
  EXPECT_EQ(result.RecordDurationMs, 512);
  EXPECT_EQ(ws.trace.AcqTime, 0.0625);
  EXPECT_EQ(ws.trace.NR, 11);
  EXPECT_EQ(LastIndexFor(result.SamplesPerRecord), 7168);
  EXPECT_EQ(LastIndexFor(0), -1024);
}

// The AcqTime field rounds the header's DT to 5 decimals before the trace takes it.
TEST_F(HeaderScanTest, AcqTimeComesBackRoundedFromTheField) {
  const HeaderScanResult result = Scan(Header("NBD=1\r\nDT=0.0000123456\r\n"));
  EXPECT_EQ(FieldText(Field::AcqTime), "0.01235");
  EXPECT_EQ(ws.trace.AcqTime, 0.01235);
  EXPECT_EQ(result.SamplesPerRecord, 647);  // 8 / 0.01235 = 647.77
}

struct FailureCase {
  std::string name;
  std::string header;
  std::string message;
};

TEST_F(HeaderScanTest, ValuesThatDoNotConvertAndZeroDivisors) {
  const std::vector<FailureCase> cases = {
      {"ad_comma", Header("AD=10,5\r\n"), "'10,5' is not a valid floating point value"},
      {"nr_concatenation", Header("NR=12\r\nNR=x\r\n"), "'12x' is not a valid integer value"},
      {"nr_not_integer", Header("NR=1.5\r\n"), "'1.5' is not a valid integer value"},
      {"nr_empty", Header("NR=\r\n"), "'' is not a valid integer value"},
      {"nbd_empty", Header("NBD=\r\n"), "'' is not a valid floating point value"},
      {"dt_first_comma_kept", Header("DT=,5\r\n"), "',5' is not a valid floating point value"},
      {"nbd_comma_kept", Header("NBD=6,4\r\n"), "'6,4' is not a valid floating point value"},
      {"dt_zero", Header("NBD=64\r\nDT=0\r\n"), "Floating point division by zero"},
      {"dt_zero_no_nbd", Header("DT=0\r\n"), "Invalid floating point operation"},
      {"dt_below_field_decimals", Header("NBD=64\r\nDT=1E-9\r\n"),
       "Floating point division by zero"},
      {"yg0_zero", Header("YG0=0\r\n"), "Floating point division by zero"},
      {"yg1_zero", Header("YG1=0\r\n"), "Floating point division by zero"},
      {"ad_and_yg0_zero", Header("AD=0\r\nYG0=0\r\n"), "Invalid floating point operation"},
      {"nbd_beyond_int64", Header("NBD=1E30\r\n"), "Invalid floating point operation"},
      {"n_beyond_int64", Header("NBD=1E17\r\nDT=1E-8\r\n"), "Invalid floating point operation"},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryPanel fresh;
    Trace trace;
    EXPECT_THROW_MSG(ScanWcpHeader(c.header, fresh, trace), c.message);
  }
}

// The factors are recomputed at position 1 already, from the fields as the user left them.
TEST_F(HeaderScanTest, ZeroFieldFailsBeforeTheHeadersOwnValue) {
  SetField(Field::YG1, "0");
  EXPECT_THROW_MSG(Scan(Header("NBD=1\r\nYG1=4\r\n")), "Floating point division by zero");
  EXPECT_EQ(FieldText(Field::YG1), "0");
  EXPECT_EQ(FieldText(Field::Duration), "8.00");  // NBD= stands at position 1
  SetField(Field::AD, "");
  EXPECT_THROW_MSG(Scan(Header("NBD=1\r\nYG1=4\r\n")), "Invalid floating point operation");
}

TEST_F(HeaderScanTest, FieldsWrittenBeforeAFailureStayWritten) {
  EXPECT_THROW_MSG(Scan(Header("NBD=64\r\nNR=3\r\nAD=x\r\n")),
                   "'x' is not a valid floating point value");
  EXPECT_EQ(FieldText(Field::Duration), "512.00");
  EXPECT_EQ(FieldText(Field::NR), " 3");
  EXPECT_EQ(ws.trace.NR, 3);
}

TEST_F(HeaderScanTest, FactorsUseTheLastFieldValues) {
  const HeaderScanResult result = Scan(Header("YG0=0.0001\r\nAD=20\r\nYG1=0.0005\r\n"));
  EXPECT_EQ(result.CalibV, static_cast<double>(20 * 0.001L / (0.0001 * 32767.0L)));
  EXPECT_EQ(result.CalibI, static_cast<double>(20 / (0.0005 * 32767.0L)));
  EXPECT_NEAR(result.CalibV, 0.0061037018, 1e-10);
  EXPECT_NEAR(result.CalibI, 1.2207403790, 1e-9);
}

TEST_F(HeaderScanTest, EventsAreProcessedAfterEachYG1) {
  Scan(Header("YG1=1\r\nYG0=2\r\nYG1=3\r\n"));
  EXPECT_EQ(events, 2);
  EXPECT_EQ(FieldText(Field::YG1), "13.0000000000");  // the buffer concatenates: "1" + "3"
}

TEST(CheckRecordLength, RefusesMoreThanTheTraceHolds) {
  EXPECT_NO_THROW(CheckRecordLength(10'001'024));
  EXPECT_NO_THROW(CheckRecordLength(-5'000'000'000));
  EXPECT_THROW_MSG(CheckRecordLength(10'001'025),
                   "Record too long: 10000002 samples (at most 10000001)");
  EXPECT_THROW_MSG(CheckRecordLength(INT64_MAX),
                   "Record too long: 9223372036854774784 samples (at most 10000001)");
  EXPECT_EQ(LastIndexFor(10'001'024), 10'000'000);
  EXPECT_EQ(LastIndexFor(-5'000'000'000), INT32_MIN);
}

TEST_F(HeaderScanTest, RealRecordingHeader) {
  WcpRecordReader reader(ICTALSCOPE_REAL_DATA_DIR "/myokit_wcp-file.wcp");
  const HeaderScanResult result = Scan(reader.ReadHeaderText());
  EXPECT_EQ(result.RecordDurationMs, 16);
  EXPECT_EQ(result.SamplesPerRecord, 16);
  EXPECT_EQ(FieldText(Field::Duration), "16.00");
  EXPECT_EQ(FieldText(Field::AcqTime), "1.00000");
  EXPECT_EQ(FieldText(Field::AD), "10.00");
  EXPECT_EQ(FieldText(Field::NR), "11");
  EXPECT_EQ(FieldText(Field::YG0), "0.0005000000");
  EXPECT_EQ(FieldText(Field::YG1), "0.0100000000");
  EXPECT_EQ(ws.trace.NR, 11);
  EXPECT_EQ(ws.trace.AcqTime, 1.0);
  EXPECT_NEAR(result.CalibV, 10 * 0.001 / (0.0005 * 32767), 1e-15);
  EXPECT_NEAR(result.CalibI, 10 / (0.01 * 32767), 1e-12);
}

}  // namespace
}  // namespace ictalscope
