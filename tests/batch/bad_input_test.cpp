// Bad input through the ictalscope-batch program: for each case the exact message, the exit
// status, what the handlers had done before they stopped (from the state), and every file of
// the folder afterwards. Each case starts from a folder that already holds the results of an
// earlier session (the tables of recording 1, its statistics and input resistance, V.dat and
// V2.dat); a file that the case does not name must still be there, byte for byte.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "batch_program.h"
#include "support/recording_writer.h"
#include "support/scratch_directory.h"

namespace ictalscope {
namespace {

namespace fs = std::filesystem;

// A name in the folder as the test sees it.
struct Entry {
  enum class Kind { kFile, kDirectory, kSymlink };
  Kind kind = Kind::kFile;
  std::string bytes;  // a file's content; a symlink's target
  bool operator==(const Entry&) const = default;
};

Entry FileOf(std::string bytes) { return {Entry::Kind::kFile, std::move(bytes)}; }
Entry Directory() { return {Entry::Kind::kDirectory, ""}; }
Entry LinkTo(std::string target) { return {Entry::Kind::kSymlink, std::move(target)}; }

void PrintTo(const Entry& entry, std::ostream* os) {
  static const char* const kKinds[] = {"file", "directory", "symlink"};
  *os << kKinds[static_cast<int>(entry.kind)] << " " << ::testing::PrintToString(entry.bytes);
}

using Files = std::vector<std::pair<std::string, Entry>>;

struct BadInputCase {
  std::string name{};
  Files setup{};                       // written over the earlier results before the run
  std::vector<std::string> actions{};  // may start with "--keep-going"
  int status = 0;
  std::string err{};                      // standard error, exactly
  Files after{};                          // what the run changed; everything else stays as set up
  std::vector<std::string> state{};       // fragments of what the state actions printed
  std::vector<std::string> unreadable{};  // files made mode 000 for the run (not for root)
  bool read_only_folder = false;          // the folder made mode 555 for the run (not for root)
  std::string system_file{};              // a system file that the case needs; skipped without it
};

void PrintTo(const BadInputCase& c, std::ostream* os) { *os << c.name; }

// ---------------------------------------------------------------------------------------------
// What the folder holds before every case.

const std::string kSpikeHeader = "tr nIID tsp,s nsp VT Vpeak Vrest Vr-Vsilent Vmin AHP\r\n";
const std::string kIidHeader =
    "tr nIID nspIntra ISI tsp,s nsp VT Vpeak Vrest Vr-Vsilent Vmin AHP\r\n";
const std::string kDischargeHeader = "tr nIID tIID,s ISImean,s Duration,s nspIntra\r\n";
const std::string kStatHeader =
    "N_ID InterIDm InterIDsem IntraIDm IntraIDsem Durm Dursem Nspm NSpsem Nsplast/Nsp1\r\n";
const std::string kStatRowsHeader = "N_ID InterID IntraID Dur Nsp\r\n";

std::map<std::string, Entry> EarlierResults() {
  const std::string spike = " -60.00 20.00 -70.00 -5.00 -70.00 10.00\r\n";
  const std::string discharges =
      kDischargeHeader + "1 1 0.100000 0.030 0.030 2\r\n2 1 0.100000 0.030 0.030 2\r\n";
  return {
      {"1IID", FileOf("tr nIID nspIntra ISI tsp,s nsp VT Vpeak Vrest Vr-Vsilent Vmin AHP\r\n"
                      "1 1 1 0.000 0.100000 1" +
                      spike + "1 1 2 0.030 0.130000 2" + spike)},
      {"1mean", FileOf(discharges)},
      {"1ID", FileOf(discharges)},
      {"1_sp", FileOf(kSpikeHeader + "1 0 0.100000 1" + spike)},
      {"1_1sp", FileOf(kSpikeHeader + "1 0 0.100000 1" + spike)},
      {"1IDm", FileOf(kStatHeader + "2 300.00 0.00 0.03 0.00 0.03 0.00 2.00 0.00 1.000\r\n" +
                      kStatRowsHeader + "1 300.00 0.03 0.03 2\r\n2 0.00 0.03 0.03 2\r\n")},
      {"1Rin", FileOf("n_step t Vrest V1 Rin\r\n1 0.110 -65.012 -67.530 50.360\r\n")},
      {"V.dat", FileOf("0.005000 -70.00\r\n")},
      {"V2.dat", FileOf("300.005000 3.05\r\n")},
  };
}

// ---------------------------------------------------------------------------------------------
// Recordings.

// 512 header bytes: the lines, each followed by `line_end`, padded with blanks.
std::string Header(const std::vector<std::string>& lines, const std::string& line_end = "\r\n") {
  std::string text;
  for (const std::string& line : lines) text += line + line_end;
  text.resize(512, ' ');
  return text;
}

// Two records of N = 1032 pairs at 1 ms (NBD 129 gives 1032 ms), so 9 samples are loaded.
const std::vector<std::string> kSmallHeader = {"VER=9",    "NR=2",       "NBD=129",   "AD=10",
                                               "DT=0.001", "YG0=0.0001", "YG1=0.0005"};
const std::vector<int16_t> kRecord1 = {0, 100, 200, -21299, 6554, -22937, 1000, -1000, 32767};

// kSmallHeader with the line of `key` replaced (or dropped when `line` is empty).
std::vector<std::string> SmallHeaderWith(const std::string& key, const std::string& line) {
  std::vector<std::string> lines;
  for (const std::string& old : kSmallHeader) {
    if (old.rfind(key + "=", 0) != 0) {
      lines.push_back(old);
    } else if (!line.empty()) {
      lines.push_back(line);
    }
  }
  return lines;
}

testing::WcpRecord Record(std::vector<int16_t> counts, size_t pairs = 1032) {
  testing::WcpRecord record;
  record.ch0 = std::move(counts);
  record.ch0.resize(pairs, 0);
  return record;
}

// The small recording: record 1 holds kRecord1, record 2 holds 1000 counts throughout.
std::string SmallRecording(const std::string& header = Header(kSmallHeader)) {
  return testing::WcpFileBytes(header,
                               {Record(kRecord1), Record(std::vector<int16_t>(1032, 1000))});
}

// The mV that a load gives a channel-0 count under AD 10 and YG0 0.0001: CalibV = AD * 0.001 /
// (YG0 * 32767) and count * CalibV, each carried with a 64-bit significand and stored as a
// double; printed as the state prints numbers.
std::string Mv(int count) {
  const double calib_v = static_cast<double>(10 * 0.001L / (0.0001 * 32767.0L));
  const double mv = static_cast<double>(count * static_cast<long double>(calib_v));
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", mv);
  return text;
}

// The value that the end-to-end tests take for 1000 counts, found independently.
TEST(BadInputSupport, MillivoltsOfACountAsTheLoaderComputesThem) {
  EXPECT_EQ(Mv(1000), "3.0518509475997191");
  EXPECT_EQ(Mv(0), "0");
}

std::string Samples(const std::vector<std::string>& values) {
  std::string text = "\"v\": [";
  for (size_t k = 0; k < values.size(); ++k) text += (k > 0 ? ", " : "") + values[k];
  return text + "]";
}

// A text trace: 10 header lines, then the data as given.
std::string TextTrace(const std::string& data, const std::string& line_end = "\r\n") {
  std::string text;
  for (int i = 0; i < 10; ++i) text += "header " + std::to_string(i) + line_end;
  return text + data;
}

std::string Repeat(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

// A DischargeTable row with the columns as "IID" writes them.
std::string DischargeRow(int tr, int n, const std::string& tiid_s, const std::string& rest) {
  return std::to_string(tr) + " " + std::to_string(n) + " " + tiid_s + " " + rest + "\r\n";
}

std::string IdTableOfRows(int rows) {
  std::string table = kDischargeHeader;
  for (int k = 1; k <= rows; ++k) {
    table += DischargeRow(1, k, std::to_string(10 * k) + ".000000", "0.010 0.500 45");
  }
  return table;
}

std::string Message(const std::string& text) { return "error: " + text + "\n"; }

const std::string kPanelFactors = R"("CalibV": "0.0030518509", "CalibI": "0.6103701895")";
const std::string kDefaultFactors = R"("CalibV": "4.0000000000", "CalibI": "4.0000000000")";

// ---------------------------------------------------------------------------------------------
// The cases, grouped by what is wrong.

std::vector<BadInputCase> RecordingFileCases() {
  const std::string header = Header(kSmallHeader);
  std::string cut_in_a_pair = testing::WcpFileBytes(header, {Record({0, 0, 0, 0, 1000}, 5)});
  cut_in_a_pair += '\x07';
  testing::WcpRecord leading_block_only = Record({}, 0);
  leading_block_only.leading_fill = 1000;
  return {
      {.name = "empty_wcp_file_loads_no_sample",
       .setup = {{"rec.wcp", FileOf("")}},
       .actions = {"name=rec", "load", "state:brief"},
       .state = {R"("trace": {"lastIndex": -1024, "acqTime": 0, "recordNo": 1, "nr": 0, "v": 0})",
                 // The factors of the default AD and YG0 fields.
                 R"("CalibV": "0.0000000763", "CalibI": "0.0000762963")",
                 "\"headerLabel\": \"" + Repeat("\\u0000", 512) + "\"", R"("V": 0,)"}},
      {.name = "empty_text_trace_loads_no_sample",
       .setup = {{"trace", FileOf("")}},
       .actions = {"name=trace", "load", "state:brief"},
       .state = {R"("trace": {"lastIndex": -1, "acqTime": 0, "recordNo": 1, "nr": 0, "v": 0})",
                 R"("CalibV": "0.0000000000", "CalibI": "0.0000000000")",
                 R"("headerLabel": "Label1")"}},
      {.name = "header_only_gives_zeros",
       .setup = {{"rec.wcp", FileOf(header)}},
       .actions = {"name=rec", "load", "state"},
       .state = {Samples(std::vector<std::string>(9, "0")), R"("recordNo": 1, "nr": 2,)",
                 kPanelFactors}},
      {.name = "file_shorter_than_512_bytes",
       .setup = {{"rec.wcp", FileOf("NBD=64\r\nDT=6.25E-5\r\n")}},
       .actions = {"name=rec", "load", "state:brief"},
       .state = {R"("trace": {"lastIndex": 7168, "acqTime": 0.0625, "recordNo": 1, "nr": 0,)",
                 R"("Duration": "512.00")", R"("CalibV": "0.0000000763")", R"("V": 1433,)"}},
      {.name = "short_file_value_runs_into_the_nul_characters",
       .setup = {{"rec.wcp", FileOf("NBD=64\r\nDT=6.25E-5\r\nNR=3")}},
       .actions = {"--keep-going", "name=rec", "load", "state:brief"},
       .status = 1,
       .err = Message("'3" + std::string(7, '\0') + "' is not a valid integer value"),
       // "NBD=" and "DT=" were applied; the factors were not shown and nothing was read.
       .state = {R"("Duration": "512.00")", R"("AcqTime": "0.06250", "NR": "12")", kDefaultFactors,
                 R"("lastIndex": -1, "acqTime": 0.0625, "recordNo": 0,)"}},
      {.name = "truncated_record_repeats_its_last_sample",
       .setup = {{"rec.wcp",
                  FileOf(testing::WcpFileBytes(header, {Record({0, 0, 0, 0, 1000}, 5)}))}},
       .actions = {"name=rec", "load", "state"},
       .state = {Samples({"0", "0", "0", "0", Mv(1000), Mv(1000), Mv(1000), Mv(1000), Mv(1000)}),
                 R"("lastIndex": 8,)"}},
      // The leading block and channel 0 share one value: its last count stands for every sample.
      {.name = "file_ending_in_the_leading_block",
       .setup = {{"rec.wcp", FileOf(testing::WcpFileBytes(header, {leading_block_only}))}},
       .actions = {"name=rec", "load", "state"},
       .state = {Samples(std::vector<std::string>(9, Mv(1000)))}},
      // One byte of the next pair: it replaces the low byte of the last count (0x03E8 -> 0x0307).
      {.name = "record_cut_inside_a_pair",
       .setup = {{"rec.wcp", FileOf(cut_in_a_pair)}},
       .actions = {"name=rec", "load", "state"},
       .state = {Samples(
           {"0", "0", "0", "0", Mv(1000), Mv(0x307), Mv(0x307), Mv(0x307), Mv(0x307)})}},
  };
}

std::vector<BadInputCase> HeaderCases() {
  const std::string rec = "rec.wcp";
  auto with = [](const std::string& key, const std::string& line) {
    return SmallRecording(Header(SmallHeaderWith(key, line)));
  };
  std::vector<std::string> dt_first = SmallHeaderWith("NBD", "");
  dt_first.push_back("NBD=129");
  std::vector<std::string> with_note = kSmallHeader;
  with_note.push_back("NOTE=cell 3, 20 \xB5V noise");
  return {
      // N = 79,999,999,992 ms / 1 ms.
      {.name = "nbd_huge_is_refused_before_the_factors",
       .setup = {{rec, FileOf(with("NBD", "NBD=9999999999"))}},
       .actions = {"--keep-going", "name=rec", "load", "state:brief"},
       .status = 1,
       .err = Message("Record too long: 79999998969 samples (at most 10000001)"),
       .state = {R"("Duration": "79999999992.00")", R"("YG1": "0.0005000000")", kDefaultFactors,
                 R"("lastIndex": -1, "acqTime": 1, "recordNo": 0, "nr": 2,)"}},
      {.name = "nbd_beyond_the_integer_range",
       .setup = {{rec, FileOf(with("NBD", "NBD=1e30"))}},
       .actions = {"--keep-going", "name=rec", "load", "state:brief"},
       .status = 1,
       .err = Message("Invalid floating point operation"),
       .state = {R"("Duration": "8000000000000000160000000000000.00")", R"("NR": " 2")",
                 R"("lastIndex": -1, "acqTime": 0, "recordNo": 0, "nr": 2,)"}},
      {.name = "nbd_negative_loads_no_sample",
       .setup = {{rec, FileOf(with("NBD", "NBD=-129"))}},
       .actions = {"name=rec", "load", "state:brief"},
       .state = {R"("Duration": "-1032.00")", R"("lastIndex": -2056, "acqTime": 1, "recordNo": 1,)",
                 R"("V": 0,)"}},
      // The stride 4N + 1024 is negative: record 2 would start before the file.
      {.name = "nbd_negative_record_2",
       .setup = {{rec, FileOf(with("NBD", "NBD=-129"))}},
       .actions = {"--keep-going", "name=rec", "Analyse=2", "load", "state:brief"},
       .status = 1,
       .err = Message("I/O error 131"),
       .state = {kPanelFactors, R"("lastIndex": -1, "acqTime": 1, "recordNo": 2,)"}},
      {.name = "dt_zero",
       .setup = {{rec, FileOf(with("DT", "DT=0"))}},
       .actions = {"--keep-going", "name=rec", "load", "state:brief"},
       .status = 1,
       .err = Message("Floating point division by zero"),
       .state = {R"("YG0": "4.0000000000")", R"("AcqTime": "0.00000")", R"("Duration": "1032.00")",
                 R"("lastIndex": -1, "acqTime": 0,)"}},
      // "V.dat" is created before the file is looked at, and stays empty.
      {.name = "dt_zero_with_v_dat_ticked",
       .setup = {{rec, FileOf(with("DT", "DT=0"))}},
       .actions = {"name=rec", "check:vdat", "load"},
       .status = 1,
       .err = Message("Floating point division by zero"),
       .after = {{"V.dat", FileOf("")}}},
      {.name = "dt_zero_without_nbd",
       .setup = {{rec, FileOf(SmallRecording(Header({"NR=2", "AD=10", "DT=0", "YG0=0.0001"})))}},
       .actions = {"name=rec", "load"},
       .status = 1,
       .err = Message("Invalid floating point operation")},
      // 1e-9 s is 0.000001 ms, which the AcqTime field shows, and gives back, as 0.
      {.name = "dt_too_small_for_the_field",
       .setup = {{rec, FileOf(with("DT", "DT=1e-9"))}},
       .actions = {"--keep-going", "name=rec", "load", "state:brief"},
       .status = 1,
       .err = Message("Floating point division by zero"),
       .state = {R"("AcqTime": "0.00000")", R"("lastIndex": -1, "acqTime": 0,)"}},
      {.name = "dt_before_nbd_loads_no_sample",
       .setup = {{rec, FileOf(SmallRecording(Header(dt_first)))}},
       .actions = {"name=rec", "load", "state:brief"},
       .state = {R"("Duration": "1032.00")", R"("AcqTime": "1.00000")",
                 R"("lastIndex": -1024, "acqTime": 1, "recordNo": 1,)", R"("V": 0,)"}},
      {.name = "yg0_zero_in_the_header",
       .setup = {{rec, FileOf(with("YG0", "YG0=0"))}},
       .actions = {"--keep-going", "name=rec", "load", "state:brief"},
       .status = 1,
       .err = Message("Floating point division by zero"),
       .state = {R"("YG0": "0.0000000000", "YG1": "4.0000000000", "CalibV": "4.0000000000")",
                 R"("AcqTime": "1.00000")", R"("lastIndex": -1,)"}},
      // The factors are recomputed at position 1 already, before any key of the header.
      {.name = "yg0_zero_in_the_panel",
       .setup = {{rec, FileOf(SmallRecording())}},
       .actions = {"--keep-going", "YG0=0", "name=rec", "load", "state:brief"},
       .status = 1,
       .err = Message("Floating point division by zero"),
       .state = {R"("headerLabel": "VER=9\r\nNR=2\r\nNBD=129\r\n)", R"("Duration": "1.00")",
                 R"("NR": "12")", R"("YG0": "0")"}},
      {.name = "comma_decimal_in_dt_reads_as_a_point",
       .setup = {{rec, FileOf(with("DT", "DT=0,001"))}},
       .actions = {"name=rec", "load", "state:brief"},
       .state = {R"("AcqTime": "1.00000")", R"("lastIndex": 8, "acqTime": 1,)"}},
      {.name = "comma_first_in_dt_stays_a_comma",
       .setup = {{rec, FileOf(with("DT", "DT=,001"))}},
       .actions = {"name=rec", "load"},
       .status = 1,
       .err = Message("',001' is not a valid floating point value")},
      {.name = "comma_decimal_in_nbd",
       .setup = {{rec, FileOf(with("NBD", "NBD=129,5"))}},
       .actions = {"--keep-going", "name=rec", "load", "state:brief"},
       .status = 1,
       .err = Message("'129,5' is not a valid floating point value"),
       .state = {R"("NR": " 2")", R"("Duration": "1.00")"}},
      {.name = "nul_inside_a_header_value",
       .setup = {{rec, FileOf(with("AD", std::string("AD=1") + '\0' + "0"))}},
       .actions = {"--keep-going", "name=rec", "load", "state:brief"},
       .status = 1,
       .err = Message(std::string("'1") + '\0' + "0' is not a valid floating point value"),
       .state = {R"("AD": "10.00")", R"("Duration": "1032.00")"}},
      {.name = "non_ascii_outside_the_values_is_shown_only",
       .setup = {{rec, FileOf(SmallRecording(Header(with_note)))}},
       .actions = {"name=rec", "load", "state:brief"},
       .state = {R"(NOTE=cell 3, 20 \u00b5V noise\r\n)", R"("lastIndex": 8,)"}},
      {.name = "non_ascii_inside_a_header_value",
       .setup = {{rec, FileOf(with("YG0", "YG0=0.0001\xB5"))}},
       .actions = {"--keep-going", "name=rec", "load", "state:brief"},
       .status = 1,
       .err = Message("'0.0001\xB5' is not a valid floating point value"),
       .state = {R"("YG0": "4.0000000000")", R"("AcqTime": "1.00000")"}},
      // A value ends at a CR only: with LF line ends it runs on into the next line.
      {.name = "lf_line_ends_in_the_header",
       .setup = {{rec, FileOf(SmallRecording(Header(kSmallHeader, "\n")))}},
       .actions = {"--keep-going", "name=rec", "load", "state:brief"},
       .status = 1,
       .err = Message("'2\nNBD=12' is not a valid integer value"),
       .state = {R"("NR": "12")"}},
      {.name = "cr_line_ends_in_the_header",
       .setup = {{rec, FileOf(SmallRecording(Header(kSmallHeader, "\r")))}},
       .actions = {"name=rec", "load", "state:brief"},
       .state = {R"("lastIndex": 8, "acqTime": 1, "recordNo": 1, "nr": 2,)"}},
  };
}

std::vector<BadInputCase> RecordNumberCases() {
  const Files small = {{"rec.wcp", FileOf(SmallRecording())}};
  return {
      // The seek goes 4N + 1024 bytes before the first record; the factors are shown by then.
      {.name = "analyse_zero",
       .setup = small,
       .actions = {"--keep-going", "name=rec", "Analyse=0", "load", "state:brief"},
       .status = 1,
       .err = Message("I/O error 131"),
       .state = {kPanelFactors, R"("lastIndex": -1, "acqTime": 1, "recordNo": 0, "nr": 2,)",
                 R"("V": 0,)"}},
      {.name = "analyse_negative",
       .setup = small,
       .actions = {"--keep-going", "name=rec", "Analyse=-1", "load", "state:brief"},
       .status = 1,
       .err = Message("I/O error 131"),
       .state = {R"("lastIndex": -1, "acqTime": 1, "recordNo": -1,)"}},
      {.name = "analyse_beyond_the_integer_range",
       .setup = small,
       .actions = {"--keep-going", "name=rec", "Analyse=1e20", "load", "state:brief"},
       .status = 1,
       .err = Message("Invalid floating point operation"),
       .state = {kPanelFactors, R"("recordNo": 0,)"}},
      // Record 3 of 2 is all zeros; its tables would be appended to, and none exists yet.
      {.name = "analyse_past_the_last_record_then_iid",
       .setup = small,
       .actions = {"--keep-going", "name=rec", "Analyse=3", "load", "iid", "state"},
       .status = 1,
       .err = Message("File not found"),
       .state = {Samples(std::vector<std::string>(9, "0")), R"("recordNo": 3,)",
                 R"("resultBaseName": "rec")"}},
      // "two traces" reads record Analyse + 1 = 0; V2.dat would be created only after the seek.
      {.name = "two_traces_before_the_first_record",
       .setup = small,
       .actions = {"--keep-going", "name=rec", "load", "check:vdat", "Analyse=-1", "two-traces",
                   "state:brief"},
       .status = 1,
       .err = Message("I/O error 131"),
       .state = {R"("lastIndex": 8, "acqTime": 1, "recordNo": 0,)", R"("V": 1,)"}},
  };
}

std::vector<BadInputCase> TextTraceCases() {
  const std::string rec_kept = R"("lastIndex": 8, "acqTime": 0.5, "recordNo": 1,)";
  const std::string nul(1, '\0');
  const std::string binary_header =
      "Zelle 3 \xB5V\r\n" + nul + "\r\n\xFF\xFE\r\n" + Repeat("\r\n", 7);
  return {
      // The samples before the bad line are stored; LastIndex is set only at the end, so the
      // trace keeps the length of the record loaded before, and its later samples.
      {.name = "text_trace_with_letters",
       .setup = {{"rec.wcp", FileOf(SmallRecording())},
                 {"trace", FileOf(TextTrace("0 0 -70\r\n0.5 0 -71\r\n1.0 0 -72\r\n1.5 0 -73\r\n"
                                            "2.0 0 abc\r\n"))}},
       .actions = {"--keep-going", "name=rec", "load", "name=trace", "load", "state"},
       .status = 1,
       .err = Message("Invalid numeric input"),
       .state = {Samples({"-70", "-71", "-72", "-73", Mv(6554), Mv(-22937), Mv(1000), Mv(-1000),
                          Mv(32767)}),
                 rec_kept, kPanelFactors, R"("recordingName": "trace")"}},
      {.name = "text_trace_missing_a_column_at_the_end",
       .setup = {{"trace", FileOf(TextTrace("0 0 -70\r\n1 0 -71\r\n2 0\r\n"))}},
       .actions = {"--keep-going", "name=trace", "load", "state:brief"},
       .status = 1,
       .err = Message("Invalid numeric input"),
       .state = {R"("lastIndex": -1, "acqTime": 0,)", kDefaultFactors}},
      // Numbers run on across line ends: two columns a line pair up into samples of three.
      {.name = "text_trace_of_two_columns",
       .setup = {{"trace", FileOf(TextTrace("0 -70\r\n1 -71\r\n2 -72\r\n3 -73\r\n"))}},
       .actions = {"name=trace", "load", "state"},
       .state = {Samples({"1", "3"}), R"("acqTime": 0,)"}},
      {.name = "text_trace_with_cr_line_ends",
       .setup = {{"trace",
                  FileOf(TextTrace("0 0 -70\r1 0 -71\r2 0 -72\r3 0 -73\r4 0 -74\r", "\r"))}},
       .actions = {"name=trace", "load", "state"},
       .state = {Samples({"-70", "-71", "-72", "-73", "-74"}), R"("acqTime": 1,)"}},
      {.name = "text_trace_with_comma_decimals",
       .setup = {{"trace", FileOf(TextTrace("0 0 -70,5\r\n"))}},
       .actions = {"name=trace", "load"},
       .status = 1,
       .err = Message("Invalid numeric input")},
      // The 10 header lines may hold anything; NUL in the data separates numbers.
      {.name = "text_trace_with_binary_header_lines",
       .setup = {{"trace", FileOf(binary_header + "0" + nul + "0" + nul + "-70\r\n")}},
       .actions = {"name=trace", "load", "state"},
       .state = {Samples({"-70"})}},
      {.name = "text_trace_with_non_ascii_data",
       .setup = {{"trace", FileOf(TextTrace("0 0 -70\xB0\r\n"))}},
       .actions = {"name=trace", "load"},
       .status = 1,
       .err = Message("Invalid numeric input")},
  };
}

// Files that are directories, cannot be read or cannot be written. Permissions do not hold back
// root, under which the tests also run: each permission case has a variant that fails for root
// as well (a directory where a file is due, a path through a file, a file under /proc).
std::vector<BadInputCase> PlaceCases() {
  const Files small = {{"rec.wcp", FileOf(SmallRecording())}};
  auto small_and = [&small](const std::string& name, const Entry& entry) {
    Files files = small;
    files.emplace_back(name, entry);
    return files;
  };
  return {
      // A directory is not a file: the name is not found, and a load of it reads nothing.
      {.name = "directory_as_the_recording_name",
       .setup = {{"good.wcp", FileOf(SmallRecording())},
                 {"rec", Directory()},
                 {"rec.wcp", Directory()}},
       .actions = {"name=good", "load", "name=rec", "load", "state:brief"},
       .state = {R"("recordingName": "rec")", R"("lastIndex": 8, "acqTime": 1, "recordNo": 1,)",
                 R"("V": 0,)"}},
      {.name = "missing_recording_with_v_dat_ticked",
       .actions = {"name=rec", "check:vdat", "load", "state:brief"},
       .after = {{"V.dat", FileOf("")}},
       .state = {R"("recordingName": "rec")", R"("lastIndex": -1,)", R"("plotStep": 5,)"}},
      {.name = "directory_as_the_table_that_stat_reads",
       .setup = {{"tables", Directory()}},
       .actions = {"check:read", "name=tables", "stat"},
       .status = 1,
       .err = Message("File not found")},
      {.name = "directory_as_the_file_that_stat_writes",
       .setup = {{"1IDm", Directory()}},
       .actions = {"check:read", "name=1ID", "stat"},
       .status = 1,
       .err = Message("File access denied")},
      // Record 1 creates the tables in order: 1IID is emptied, then 1mean cannot be created.
      // No header line has been written at that point.
      {.name = "directory_as_a_table_of_record_1",
       .setup = small_and("1mean", Directory()),
       .actions = {"--keep-going", "name=rec", "load", "spikes", "name=1", "iid", "state:brief"},
       .status = 1,
       .err = Message("File access denied"),
       .after = {{"1IID", FileOf("")}},
       .state = {R"("resultBaseName": "1")", R"("ID": 0, "IID": 0})"}},
      // Record 2 appends: 1IID is opened and left as it was; 1mean is not a file to append to.
      {.name = "directory_as_a_table_of_record_2",
       .setup = small_and("1mean", Directory()),
       .actions = {"name=rec", "Analyse=2", "load", "name=1", "iid"},
       .status = 1,
       .err = Message("File not found")},
      // Record 1 empties 1IID and stops; record 2 appends to it and stops at 1mean.
      {.name = "directory_as_a_table_through_each_record",
       .setup = small_and("1mean", Directory()),
       .actions = {"--keep-going", "name=rec", "load", "name=1", "each-record", "state:brief"},
       .status = 1,
       .err = Message("File access denied") + Message("File not found"),
       .after = {{"1IID", FileOf("")}},
       .state = {R"("Analyse": "2")", R"("recordNo": 2,)"}},
      {.name = "each_record_stops_at_the_first_failure",
       .setup = small_and("1mean", Directory()),
       .actions = {"name=rec", "load", "name=1", "each-record"},
       .status = 1,
       .err = Message("File access denied"),
       .after = {{"1IID", FileOf("")}}},
      {.name = "directory_as_v_dat",
       .setup = small_and("V.dat", Directory()),
       .actions = {"--keep-going", "name=rec", "check:vdat", "load", "state:brief"},
       .status = 1,
       .err = Message("File access denied"),
       .state = {R"("headerLabel": "Label1")", R"("lastIndex": -1,)", R"("plotStep": 5,)"}},
      {.name = "directory_as_the_rin_table",
       .setup = small_and("1Rin", Directory()),
       .actions = {"name=rec", "load", "name=1", "rin"},
       .status = 1,
       .err = Message("File access denied")},
      {.name = "unreadable_recording",
       .setup = small,
       .actions = {"--keep-going", "name=rec", "load", "state:brief"},
       .status = 1,
       .err = Message("File access denied"),
       .state = {R"("recordingName": "rec", "resultBaseName": "", "headerLabel": "Label1")",
                 R"("lastIndex": -1, "acqTime": 0, "recordNo": 0,)"},
       .unreadable = {"rec.wcp"}},
      // Write-only for everybody, root included.
      {.name = "recording_that_nobody_may_read",
       .actions = {"--keep-going", "name=/proc/sys/vm/drop_caches", "load", "state:brief"},
       .status = 1,
       .err = Message("File access denied"),
       .state = {R"("lastIndex": -1,)", kDefaultFactors},
       .system_file = "/proc/sys/vm/drop_caches"},
      // Opens, but a read at offset 0 of the process's own memory fails.
      {.name = "recording_that_fails_to_read",
       .actions = {"--keep-going", "name=/proc/self/mem", "load", "state:brief"},
       .status = 1,
       .err = Message("I/O error 5"),
       .state = {R"("lastIndex": -1,)", kDefaultFactors},
       .system_file = "/proc/self/mem"},
      // Nothing new can be created in the folder; the recording is read from it all the same.
      {.name = "folder_that_cannot_be_written",
       .setup = small,
       .actions = {"--keep-going", "name=rec", "load", "name=trace", "iid", "rin", "check:read",
                   "name=1mean", "stat", "state:brief"},
       .status = 1,
       .err = Message("File access denied") + Message("File access denied") +
              Message("File access denied"),
       .state = {R"("lastIndex": 8,)", R"("resultBaseName": "trace")"},
       .read_only_folder = true},
      {.name = "result_names_through_a_file",
       .setup = small,
       .actions = {"--keep-going", "name=rec", "load", "name=1IID/x", "iid", "rin", "check:read",
                   "name=1IID/x", "stat"},
       .status = 1,
       .err = Message("File not found") + Message("File not found") + Message("File not found")},
      // The lines go to a device that takes none: the run stops at the write.
      // The header line of "mean" fails: "IID" has its header, the tables after "mean" are
      // created but stay empty, and no chart point is drawn.
      {.name = "discharge_table_on_a_full_disk",
       .setup = small_and("recmean", LinkTo("/dev/full")),
       .actions = {"--keep-going", "name=rec", "load", "spikes", "iid", "state:brief"},
       .status = 1,
       .err = Message("Disk full"),
       .after = {{"recIID", FileOf(kIidHeader)},
                 {"recID", FileOf("")},
                 {"rec_sp", FileOf("")},
                 {"rec_1sp", FileOf("")}},
       .state = {R"("ID": 0, "IID": 0)"},
       .system_file = "/dev/full"},
      {.name = "rin_table_on_a_full_disk",
       .setup = small_and("1Rin", LinkTo("/dev/full")),
       .actions = {"name=rec", "load", "name=1", "rin"},
       .status = 1,
       .err = Message("Disk full"),
       .system_file = "/dev/full"},
  };
}

std::vector<BadInputCase> StatCases() {
  const std::vector<std::string> read_1id = {"check:read", "name=1ID", "stat"};
  const std::string row_10s = DischargeRow(1, 1, "10.000000", "0.030 0.060 3");
  const std::string row_50s = DischargeRow(1, 2, "50.000000", "0.030 0.060 3");
  std::string twenty_rows_stat =
      kStatHeader + "20 10.00 0.00 0.01 0.00 0.50 0.00 45.00 0.00 1.000\r\n" + kStatRowsHeader;
  for (int k = 1; k <= 20; ++k) {
    twenty_rows_stat += std::to_string(k) + (k < 20 ? " 10.00" : " 0.00") + " 0.01 0.50 45\r\n";
  }
  return {
      {.name = "stat_table_with_letters",
       .setup = {{"1ID", FileOf(kDischargeHeader + row_10s + "1 2 abc 0.030 0.060 3\r\n")}},
       .actions = read_1id,
       .status = 1,
       .err = Message("Invalid numeric input")},
      {.name = "stat_row_missing_a_column",
       .setup = {{"1ID", FileOf(kDischargeHeader + row_10s + "1 2 50.000000 0.030 0.060\r\n")}},
       .actions = read_1id,
       .status = 1,
       .err = Message("Invalid numeric input")},
      {.name = "stat_table_of_one_discharge",
       .setup = {{"1ID", FileOf(kDischargeHeader + row_10s)}},
       .actions = read_1id,
       .status = 1,
       .err = Message("Invalid floating point operation")},
      {.name = "stat_table_of_no_discharge",
       .setup = {{"1ID", FileOf(kDischargeHeader)}},
       .actions = read_1id,
       .status = 1,
       .err = Message("Invalid floating point operation")},
      {.name = "stat_table_of_21_discharges",
       .setup = {{"1ID", FileOf(IdTableOfRows(21))}},
       .actions = read_1id,
       .status = 1,
       .err = Message("Too many discharges: at most 20 can be summarised")},
      {.name = "stat_table_of_20_discharges",
       .setup = {{"1ID", FileOf(IdTableOfRows(20))}},
       .actions = read_1id,
       .after = {{"1IDm", FileOf(twenty_rows_stat)}}},
      // The ratio is formed once the file holds its first header line.
      {.name = "stat_first_discharge_without_spikes",
       .setup = {{"1ID", FileOf(kDischargeHeader +
                                DischargeRow(1, 1, "10.000000", "0.030 0.060 0") + row_50s)}},
       .actions = read_1id,
       .status = 1,
       .err = Message("Floating point division by zero"),
       .after = {{"1IDm", FileOf(kStatHeader)}}},
      {.name = "stat_table_with_cr_line_ends",
       .setup = {{"1ID", FileOf("tr nIID tIID,s ISImean,s Duration,s nspIntra\r"
                                "1 1 10.000000 0.030 0.060 3\r1 2 50.000000 0.030 0.060 3\r")}},
       .actions = read_1id,
       .after = {{"1IDm",
                  FileOf(kStatHeader + "2 40.00 0.00 0.03 0.00 0.06 0.00 3.00 0.00 1.000\r\n" +
                         kStatRowsHeader + "1 40.00 0.03 0.06 3\r\n2 0.00 0.03 0.06 3\r\n")}}},
      // Before any "IID" the table read is "ID".
      {.name = "stat_before_any_iid",
       .actions = {"stat"},
       .status = 1,
       .err = Message("File not found")},
  };
}

std::vector<BadInputCase> FieldCases() {
  const Files small = {{"rec.wcp", FileOf(SmallRecording())}};
  const Files three_samples = {{"1", FileOf(TextTrace("0 0 -70\r\n1 0 -71\r\n2 0 -72\r\n"))}};
  const Files constant_time = {{"1", FileOf(TextTrace(Repeat("0 0 -70\r\n", 20)))}};
  return {
      // The reload stops at sample 3, the first that would be drawn: samples 0 to 3 are those
      // of record 1, the later ones still those of record 2.
      {.name = "step_v_zero",
       .setup = small,
       .actions = {"--keep-going", "name=rec", "Analyse=2", "load", "step_V=0", "Analyse=1",
                   "reload", "state"},
       .status = 1,
       .err = Message("Division by zero"),
       .state = {Samples({"0", Mv(100), Mv(200), Mv(-21299), Mv(1000), Mv(1000), Mv(1000), Mv(1000),
                          Mv(1000)}),
                 R"("recordNo": 1,)", R"("plotStep": 0,)", R"("series": {"V": [], "I": [])"}},
      // Both dumps are created before the drawing fails, and stay empty.
      {.name = "step_v_zero_with_dumps",
       .setup = small,
       .actions = {"--keep-going", "name=rec", "check:vdat", "step_V=0", "load", "two-traces",
                   "state:brief"},
       .status = 1,
       .err = Message("Division by zero") + Message("Division by zero"),
       .after = {{"V.dat", FileOf("")}, {"V2.dat", FileOf("")}},
       .state = {R"("lastIndex": 8, "acqTime": 1, "recordNo": 2,)", R"("V": 0,)"}},
      {.name = "tau_zero",
       .setup = small,
       .actions = {"--keep-going", "tau=0", "name=rec", "load", "tau=0.0", "check:filter", "load",
                   "state:brief"},
       .status = 1,
       .err = Message("Invalid floating point operation") +
              Message("Floating point division by zero") +
              Message("Floating point division by zero"),
       .state = {R"("tau": "0.0", "a": "0.80")", R"("filterCoef": 0,)", R"("lastIndex": 8,)",
                 R"("V": 0,)"}},
      {.name = "comma_decimal_in_a_field_reads_as_zero",
       .setup = small,
       .actions = {"--keep-going", "name=rec", "load", "tau=0,5", "state:brief"},
       .status = 1,
       .err = Message("Floating point division by zero"),
       .state = {R"("tau": "0,5", "a": "0.80")"}},
      // A stimulation timing never refreshed is all zeros: a blank of no samples that never
      // moves on.
      {.name = "stimhz_zero",
       .setup = small,
       .actions = {"--keep-going", "StimHz=0", "check:stimulation", "name=rec", "load",
                   "uncheck:stimulation", "load", "check:stimulation", "spikes", "state:brief"},
       .status = 1,
       .err = Message("Floating point division by zero") +
              Message("Floating point division by zero") +
              Message("Floating point division by zero") +
              Message("Stimulation interval must be positive"),
       .state = {R"("StimInterval": "0.2")", R"("stimulation": true)",
                 R"("stimTiming": {"intervalMs": 0, "delayMs": 0, "durationMs": 0})",
                 R"("lastIndex": 8,)", R"("spikes": {"count": 0,)"}},
      // "Filter" copies the AcqTime field into the trace before the load; three lines of text
      // give no time step of their own.
      {.name = "acqtime_zero_in_the_field",
       .setup = three_samples,
       .actions = {"--keep-going", "AcqTime=0", "check:filter", "name=1", "load", "spikes", "rin",
                   "state:brief"},
       .status = 1,
       .err = Message("Floating point division by zero"),
       .state = {R"("lastIndex": 2, "acqTime": 0,)", R"("a": "1.00")", R"("filterCoef": 1,)"}},
      {.name = "acqtime_zero_from_the_time_column",
       .setup = constant_time,
       .actions = {"--keep-going", "name=1", "load", "spikes", "rin", "state:brief"},
       .status = 1,
       .err =
           Message("Invalid floating point operation") + Message("Floating point division by zero"),
       .state = {R"("lastIndex": 19, "acqTime": 0,)", R"("spikes": {"count": 0,)"}},
      {.name = "rin_before_any_load",
       .actions = {"name=1", "rin"},
       .status = 1,
       .err = Message("Floating point division by zero")},
  };
}

// ---------------------------------------------------------------------------------------------

using testing::ProgramResult;

void Put(const fs::path& path, const Entry& entry) {
  fs::remove_all(path);
  switch (entry.kind) {
    case Entry::Kind::kFile:
      testing::WriteFile(path.string(), entry.bytes);
      break;
    case Entry::Kind::kDirectory:
      fs::create_directory(path);
      break;
    case Entry::Kind::kSymlink:
      fs::create_symlink(entry.bytes, path);
      break;
  }
}

std::map<std::string, Entry> Snapshot(const fs::path& folder) {
  std::map<std::string, Entry> entries;
  for (const fs::directory_entry& item : fs::directory_iterator(folder)) {
    const std::string name = item.path().filename().string();
    if (item.is_symlink()) {
      entries[name] = LinkTo(fs::read_symlink(item.path()).string());
    } else if (item.is_directory()) {
      entries[name] = Directory();
    } else {
      entries[name] = FileOf(testing::ReadFile(item.path().string()));
    }
  }
  return entries;
}

class BadInputTest : public ::testing::TestWithParam<BadInputCase> {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("ictalscope_bad_" + std::to_string(::getpid()) + "_" + GetParam().name);
    folder_ = root_ / "work";
    fs::remove_all(root_);
    fs::create_directories(folder_);
  }
  void TearDown() override {
    AllowAccess();
    fs::remove_all(root_);
  }

  // Writes the earlier results and the case's files; returns what the folder then holds.
  std::map<std::string, Entry> Prepare(const BadInputCase& c) {
    std::map<std::string, Entry> entries = EarlierResults();
    for (const auto& [name, entry] : c.setup) entries[name] = entry;
    for (const auto& [name, entry] : entries) Put(folder_ / name, entry);
    for (const std::string& name : c.unreadable) {
      fs::permissions(folder_ / name, fs::perms::none);
    }
    if (c.read_only_folder) {
      fs::permissions(folder_, fs::perms::owner_read | fs::perms::owner_exec |
                                   fs::perms::group_read | fs::perms::group_exec |
                                   fs::perms::others_read | fs::perms::others_exec);
    }
    return entries;
  }

  void AllowAccess() {
    const BadInputCase& c = GetParam();
    std::error_code ignored;
    fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add, ignored);
    for (const std::string& name : c.unreadable) {
      fs::permissions(folder_ / name, fs::perms::owner_read | fs::perms::owner_write, ignored);
    }
  }

  ProgramResult Run(const std::vector<std::string>& args) {
    return testing::RunBatchProgram(folder_, args, root_ / "stderr");
  }

  fs::path root_;
  fs::path folder_;
};

TEST_P(BadInputTest, ReportsTheFailureAndKeepsWhatWasDone) {
  const BadInputCase& c = GetParam();
  if (!c.system_file.empty() && !fs::exists(c.system_file)) {
    GTEST_SKIP() << c.system_file << " is not there";
  }
  if ((c.read_only_folder || !c.unreadable.empty()) && ::geteuid() == 0) {
    GTEST_SKIP() << "permissions do not hold back root";
  }
  std::map<std::string, Entry> expected = Prepare(c);
  const ProgramResult result = Run(c.actions);
  AllowAccess();

  EXPECT_EQ(result.status, c.status);
  EXPECT_EQ(result.err, c.err);
  for (const std::string& fragment : c.state) {
    EXPECT_NE(result.out.find(fragment), std::string::npos) << fragment << "\nin\n"
                                                            << result.out.substr(0, 4000);
  }
  for (const auto& [name, entry] : c.after) expected[name] = entry;
  const std::map<std::string, Entry> actual = Snapshot(folder_);
  for (const auto& [name, entry] : expected) {
    const auto found = actual.find(name);
    if (found == actual.end()) {
      ADD_FAILURE() << name << " is gone";
    } else {
      EXPECT_EQ(found->second, entry) << name;
    }
  }
  for (const auto& [name, entry] : actual) {
    EXPECT_TRUE(expected.contains(name)) << name << " was created";
  }
}

std::string CaseName(const ::testing::TestParamInfo<BadInputCase>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(RecordingFile, BadInputTest, ::testing::ValuesIn(RecordingFileCases()),
                         CaseName);
INSTANTIATE_TEST_SUITE_P(Header, BadInputTest, ::testing::ValuesIn(HeaderCases()), CaseName);
INSTANTIATE_TEST_SUITE_P(RecordNumber, BadInputTest, ::testing::ValuesIn(RecordNumberCases()),
                         CaseName);
INSTANTIATE_TEST_SUITE_P(TextTrace, BadInputTest, ::testing::ValuesIn(TextTraceCases()), CaseName);
INSTANTIATE_TEST_SUITE_P(Place, BadInputTest, ::testing::ValuesIn(PlaceCases()), CaseName);
INSTANTIATE_TEST_SUITE_P(Stat, BadInputTest, ::testing::ValuesIn(StatCases()), CaseName);
INSTANTIATE_TEST_SUITE_P(Field, BadInputTest, ::testing::ValuesIn(FieldCases()), CaseName);

}  // namespace
}  // namespace ictalscope
