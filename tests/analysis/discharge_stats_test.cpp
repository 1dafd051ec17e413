#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "analysis/analyses.h"
#include "analysis/discharge_table_reader.h"
#include "base/error.h"
#include "panel/memory_panel.h"
#include "recording/memory_chart.h"
#include "support/scratch_directory.h"

namespace ictalscope {
namespace {

using testing::ReadFile;
using testing::WriteFile;

const std::string kTableHeader = "tr nIID tIID,s ISImean,s Duration,s nspIntra\r\n";
const std::string kSummaryHeader =
    "N_ID InterIDm InterIDsem IntraIDm IntraIDsem Durm Dursem Nspm NSpsem Nsplast/Nsp1\r\n";
const std::string kRowsHeader = "N_ID InterID IntraID Dur Nsp\r\n";

// Three discharges of record 1 at 10, 50 and 200 s. By hand: InterID 40, 150 -> mean 95,
// sem sqrt(55^2 + 55^2) / 2 = 38.89; ISImean 0.5, 0.25, 0.125 -> mean 0.2917, sem 0.0900;
// Duration 20, 30.5, 12 -> mean 20.833, sem 4.374; Nsp 41, 50, 82 -> mean 57.667, sem 10.158,
// ratio 82 / 41 = 2.
constexpr const char* kThreeRows[] = {"1 1 10 0.5 20 41", "1 2 50 0.25 30.5 50",
                                      "1 3 200 0.125 12 82"};
const std::string kThreeSummary =
    kSummaryHeader + "3 95.00 38.89 0.29 0.09 20.83 4.37 57.67 10.16 2.000\r\n" + kRowsHeader +
    "1 40.00 0.50 20.00 41\r\n"
    "2 150.00 0.25 30.50 50\r\n"
    "3 0.00 0.13 12.00 82\r\n";

std::string Lines(std::initializer_list<std::string> lines, const std::string& end = "\r\n") {
  std::string text;
  for (const std::string& line : lines) text += line + end;
  return text;
}

class StatTest : public ::testing::Test {
 protected:
  StatTest() { state.ResultBaseName = "1"; }

  // The message of the Error that "stat" stops with, or "" when it completes.
  std::string Run() {
    try {
      RunStat(ws, state);
    } catch (const Error& e) {
      return e.what();
    }
    return "";
  }

  testing::ScratchDirectory dir;
  MemoryPanel panel;
  MemoryChart chart;
  Workspace ws{panel, chart};
  AnalysisState state;
};

TEST_F(StatTest, SummarisesDischargesOfOneRecord) {
  WriteFile("1ID", kTableHeader + Lines({kThreeRows[0], kThreeRows[1], kThreeRows[2]}));
  ASSERT_EQ(Run(), "");
  EXPECT_EQ(ReadFile("1IDm"), kThreeSummary);
}

TEST_F(StatTest, IntervalBetweenDischargesCountsEveryRecordAs300s) {
  struct Case {
    const char* first;
    const char* second;
    const char* interval;
  };
  const Case cases[] = {
      {"1 1 250 1 2 41", "2 1 20 1 2 41", "70.00"},      // 50 s to the end of 1, 20 s into 2
      {"1 1 250 1 2 41", "4 1 20 1 2 41", "670.00"},     // records 2 and 3 add 600 s
      {"3 4 10.5 1 2 41", "3 1 50.25 1 2 41", "39.75"},  // the discharge numbers play no part
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.second);
    WriteFile("1ID", kTableHeader + Lines({c.first, c.second}));
    ASSERT_EQ(Run(), "");
    const std::string interval = c.interval;
    EXPECT_EQ(ReadFile("1IDm"),
              kSummaryHeader + "2 " + interval + " 0.00 1.00 0.00 2.00 0.00 41.00 0.00 1.000\r\n" +
                  kRowsHeader + "1 " + interval + " 1.00 2.00 41\r\n" + "2 0.00 1.00 2.00 41\r\n");
  }
}

TEST_F(StatTest, InputIsTheNameBoxWhenReadIsTickedElseTheIDTable) {
  struct Case {
    bool read;
    const char* name_box;
    const char* base_name;
    const char* input;
    const char* output;
  };
  const Case cases[] = {
      {true, "1mean", "1", "1mean", "1meanm"},
      {false, "1mean", "7", "7ID", "7IDm"},
      {false, "1", "", "ID", "IDm"},  // "IID" has not run yet
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    testing::ScratchDirectory case_dir;
    panel.SetChecked(Check::Read, c.read);
    panel.SetNameBoxText(c.name_box);
    state.ResultBaseName = c.base_name;
    WriteFile(c.input, kTableHeader + Lines({kThreeRows[0], kThreeRows[1], kThreeRows[2]}));
    ASSERT_EQ(Run(), "");
    EXPECT_EQ(ReadFile(c.output), kThreeSummary);
  }
}

TEST_F(StatTest, ReadsTheTableAsAStreamOfNumbers) {
  const std::string r0 = kThreeRows[0], r1 = kThreeRows[1], r2 = kThreeRows[2];
  const std::string tables[] = {
      kTableHeader + Lines({r0, r1, r2}, "\n"),
      kTableHeader + Lines({r0, r1, r2}, "\r"),
      kTableHeader + r0 + "\r\n" + r1 + "\r\n" + r2,                     // no final line end
      "1 2 3 4 5 6\r\n" + Lines({r0, r1, r2}),                           // any first line
      kTableHeader + Lines({r0 + " 99 extra", r1 + " x y", r2 + "\t"}),  // rest of line skipped
      kTableHeader + Lines({r0, r1, r2}) + "  \r\n\r\n \t\n",            // trailing blank lines
      kTableHeader + Lines({" 1\t1  10 0.5", "20 41", "  1 2 50 0.25 30.5 50", r2}),
      kTableHeader + Lines({"1 1 1e1 .5 2.0E+1 +41", r1, "1.0 3 200 0.125 12 82"}),
  };
  for (const std::string& table : tables) {
    SCOPED_TRACE(table);
    WriteFile("1ID", table);
    ASSERT_EQ(Run(), "");
    EXPECT_EQ(ReadFile("1IDm"), kThreeSummary);
  }
}

TEST_F(StatTest, TableWithoutHeaderLosesItsFirstDischarge) {
  WriteFile("1ID", Lines({"1 1 5 9 9 9", kThreeRows[0], kThreeRows[1], kThreeRows[2]}));
  ASSERT_EQ(Run(), "");
  EXPECT_EQ(ReadFile("1IDm"), kThreeSummary);
}

// A long experiment holds hundreds of ID discharges: every one is summarised. Discharge k lies
// at k s of record 1 and at k - 100 s of record 2 from k = 101 on (300 s per record), so every
// interval is 200 s apart from the one across the records.
TEST_F(StatTest, AnyNumberOfDischargesIsSummarised) {
  std::string table = kTableHeader;
  for (int k = 1; k <= 250; ++k) {
    const int tr = k <= 100 ? 1 : 2;
    const int onset = tr == 1 ? k : k - 100;
    table += std::to_string(tr) + " " + std::to_string(k) + " " + std::to_string(onset) + " 1 1 " +
             std::to_string(k) + "\r\n";
  }
  WriteFile("1ID", table);
  ASSERT_EQ(Run(), "");
  const std::string out = ReadFile("1IDm");
  // 248 intervals of 1 s and one of 201 s: mean 249 / 249 + 200 / 249, sem sqrt(sum of
  // squared deviations) / 249; Nsp 1..250: mean 125.5, sem sqrt(250 (250^2 - 1) / 12) / 250.
  const std::string head =
      kSummaryHeader + "250 1.80 0.80 1.00 0.00 1.00 0.00 125.50 4.56 250.000\r\n";
  EXPECT_EQ(out.substr(0, head.size()), head);
  EXPECT_NE(out.find("\r\n100 201.00 1.00 1.00 100\r\n"), std::string::npos);
  EXPECT_NE(out.find("\r\n250 0.00 1.00 1.00 250\r\n"), std::string::npos);
}

TEST_F(StatTest, RefusedTablesWriteNoOutput) {
  struct Case {
    const char* what;
    std::optional<std::string> table;  // nullopt: no input file
    const char* message;
  };
  const Case cases[] = {
      {"no file", std::nullopt, "File not found: 1ID"},
      {"word", kTableHeader + Lines({kThreeRows[0], "1 2 50 abc 30.5 50"}),
       "Invalid numeric input: 1ID"},
      {"decimal comma", kTableHeader + Lines({kThreeRows[0], "1 2 50 0,25 30.5 50"}),
       "Invalid numeric input: 1ID"},
      {"short last row", kTableHeader + Lines({kThreeRows[0], "1 2 50 0.25 30.5"}),
       "Invalid numeric input: 1ID"},
      {"one discharge", kTableHeader + Lines({kThreeRows[0]}),
       "stat needs at least two discharges: 1ID holds 1"},
      {"header only", kTableHeader, "stat needs at least two discharges: 1ID holds 0"},
      {"empty file", std::string(), "stat needs at least two discharges: 1ID holds 0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove("1ID");
    if (c.table) WriteFile("1ID", *c.table);
    EXPECT_EQ(Run(), c.message);
    EXPECT_FALSE(std::filesystem::exists("1IDm"));
  }
}

TEST_F(StatTest, FirstDischargeWithoutSpikesStopsAfterTheFirstHeaderLine) {
  struct Case {
    const char* last_row;
    const char* message;
  };
  const Case cases[] = {
      {"1 2 50 0.25 30.5 50", messages::kFloatDivisionByZero},
      {"1 2 50 0.25 30.5 0", messages::kInvalidFloatOperation},  // 0 / 0
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.last_row);
    WriteFile("1ID", kTableHeader + Lines({"1 1 10 0.5 20 0", c.last_row}));
    EXPECT_EQ(Run(), c.message);
    EXPECT_EQ(ReadFile("1IDm"), kSummaryHeader);
  }
}

TEST_F(StatTest, RerunReplacesTheOutput) {
  WriteFile("1IDm", std::string(5000, 'x'));
  WriteFile("1ID", kTableHeader + Lines({kThreeRows[0], kThreeRows[1], kThreeRows[2]}));
  ASSERT_EQ(Run(), "");
  ASSERT_EQ(Run(), "");
  EXPECT_EQ(ReadFile("1IDm"), kThreeSummary);
}

}  // namespace
}  // namespace ictalscope
