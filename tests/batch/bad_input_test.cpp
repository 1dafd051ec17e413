// Bad input through the ictalscope-batch program: for each case the exact message, the exit
// status, what the handlers had done before they stopped (from the state), and every file of
// the folder afterwards. Each case starts from a folder that already holds the results of an
// earlier session (the tables of recording 1, its statistics and input resistance, V.dat and
// V2.dat); a file that the case does not name must still be there, byte for byte. Recordings
// come in three formats, told apart by their content: .wcp files (read by the classic loader
// when they fit the classic rig, by their header otherwise), ABF files and text traces.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "batch_program.h"
#include "support/scratch_directory.h"
#include "writer/abf_writer.h"
#include "writer/recording_writer.h"
#include "writer/wcp_setup_writer.h"

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
  std::string dir{};  // the folder given to --dir, below the case's folder (default: that one)
};

// Stands for the case's folder in an expected message.
const std::string kFolderMark = "<folder>";

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

// The small recording fits the classic rig (two channels, 0.0625 ms), so the classic loader
// reads it with all its quirks. NBD 8.125 gives 65 ms, N = 65 / 0.0625 = 1040 pairs a record,
// of which N - 1023 = 17 samples are loaded (LastIndex 16); records lie 4N + 1024 = 5184 bytes
// apart from byte 1024.
const std::vector<std::string> kSmallHeader = {"VER=9",  "NC=2",       "NR=2",       "NBD=8.125",
                                               "AD=10",  "DT=6.25E-5", "YG0=0.0001", "YG1=0.0005",
                                               "YN0=Vm", "YU0=mV",     "YN1=Im",     "YU1=pA"};
constexpr size_t kSmallPairs = 1040;
constexpr size_t kSmallSamples = 17;
const std::vector<int16_t> kRecord1 = {0, 100, 200, -21299, 6554, -22937, 1000, -1000, 32767};
const std::string kSmallSummary =
    "WCP 9, classic layout: 2 records at 0.0625 ms; channels: 1 Vm (mV) analysed, 2 Im (pA)";

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

writer::WcpRecord Record(std::vector<int16_t> counts, size_t pairs = kSmallPairs) {
  writer::WcpRecord record;
  record.ch0 = std::move(counts);
  record.ch0.resize(pairs, 0);
  return record;
}

// The small recording: record 1 holds kRecord1, record 2 holds 1000 counts throughout.
std::string SmallRecording(const std::string& header = Header(kSmallHeader)) {
  return writer::WcpFileBytes(header,
                              {Record(kRecord1), Record(std::vector<int16_t>(kSmallPairs, 1000))});
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

// `count` copies of `value` after `first`.
std::vector<std::string> PaddedWith(std::vector<std::string> first, size_t count,
                                    const std::string& value) {
  first.insert(first.end(), count, value);
  return first;
}

// Record 1 of the small recording as loaded: kRecord1, then the zeros of the rest.
std::vector<std::string> SmallRecord1() {
  std::vector<std::string> values;
  for (int16_t count : kRecord1) values.push_back(Mv(count));
  return PaddedWith(values, kSmallSamples - values.size(), "0");
}

std::string Samples(const std::vector<std::string>& values) {
  std::string text = "\"v\": [";
  for (size_t k = 0; k < values.size(); ++k) text += (k > 0 ? ", " : "") + values[k];
  return text + "]";
}

// A recording read by its header: two channels, the current first, so that the analysed voltage
// channel is channel 2; NBD 1 gives 128 samples a record, at 0.1 ms. VMax 128 V over ADCMAX 2048
// and YG1 1 make 0.0625 mV a count, exact in binary, as are all the samples below.
writer::WcpSetup HeaderSetup() {
  writer::WcpSetup setup;
  setup.nbd = 1;
  setup.adcmax = "2048";
  setup.channels[1].gain = "1";
  return setup;
}
constexpr size_t kHeaderSamples = 128;
const std::vector<int16_t> kHeaderVm1 = {-1120, -1136, -1152, -1168, 0, 320, -1120};
const std::string kHeaderSummary =
    "WCP 9, header layout: 2 records at 0.1 ms; channels: 1 Im (pA), 2 Vm (mV) analysed";

// Record 1 holds kHeaderVm1 on the voltage channel, record 2 holds -960 counts (-60 mV); the
// current channel holds 100 counts. `vmax` goes into every channel's analysis-block entry.
std::string HeaderRecording(const writer::WcpSetup& setup = HeaderSetup(), float vmax = 128,
                            size_t voltage_channel = 1) {
  std::vector<writer::WcpSetupRecord> records(2);
  for (size_t r = 0; r < records.size(); ++r) {
    records[r].samples.assign(setup.channels.size(), std::vector<int16_t>(kHeaderSamples, 100));
    records[r].samples[voltage_channel] =
        r == 0 ? kHeaderVm1 : std::vector<int16_t>(kHeaderSamples, -960);
    records[r].vmax.assign(setup.channels.size(), vmax);
  }
  return writer::WcpSetupFileBytes(setup, records);
}

// HeaderSetup() changed by `change`.
template <typename Change>
writer::WcpSetup HeaderSetupWith(Change&& change) {
  writer::WcpSetup setup = HeaderSetup();
  change(setup);
  return setup;
}

// HeaderSetup() with the line of `key` written as `value` (after the other lines).
writer::WcpSetup HeaderSetupWithLine(const std::string& key, const std::string& value) {
  return HeaderSetupWith([&](writer::WcpSetup& setup) {
    setup.dropped.push_back(key);
    setup.extra.emplace_back(key, value);
  });
}

// The same channels with the voltage first and 0.0625 ms: a file that fits the classic rig,
// which the classic loader reads while the Channel field is below 1.
writer::WcpSetup ClassicFitSetup() {
  writer::WcpSetup setup = HeaderSetup();
  setup.dt = "6.25E-5";
  std::swap(setup.channels[0], setup.channels[1]);
  return setup;
}

// Record 1 of HeaderRecording() as loaded with `mv_per_count`.
std::vector<std::string> HeaderRecord1(double mv_per_count) {
  std::vector<std::string> values;
  for (int16_t count : kHeaderVm1) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", count * mv_per_count);
    values.push_back(text);
  }
  return PaddedWith(values, kHeaderSamples - values.size(), "0");
}

// The bytes of a recording written by WcpSetupFileBytes with the CR LF of its header lines
// replaced by `line_end`, the header kept at 1024 bytes.
std::string WithHeaderLineEnds(const std::string& bytes, const std::string& line_end) {
  std::string header = bytes.substr(0, 1024);
  header = header.substr(0, header.find('\0'));
  std::string changed;
  for (size_t at = 0; at < header.size();) {
    const size_t end = header.find("\r\n", at);
    changed += header.substr(at, end - at) + line_end;
    at = end + 2;
  }
  changed.resize(1024, '\0');
  return changed + bytes.substr(1024);
}

// Three records read by their header (the current first), 8064 samples each at 0.0625 ms and
// 0.0625 mV a count, each flat at -70 mV with three spikes, at 100, 130 and 160 ms: from the
// onset the voltage rises 10 mV a sample from -60 to +20 mV, then falls 1.125 mV a sample back
// to -70 mV.
std::string SpikingRecording() {
  writer::WcpSetup setup = HeaderSetup();
  setup.nbd = 63;  // 63 x 512 / 4 samples
  setup.dt = "6.25E-5";
  const size_t samples = static_cast<size_t>(writer::WcpSetupSamples(setup));
  std::vector<int16_t> vm(samples, -1120);
  for (size_t onset : {1600, 2080, 2560}) {
    for (int r = 0; r <= 8; ++r) vm[onset + r] = static_cast<int16_t>(-960 + 160 * r);
    for (int m = 1; m <= 80; ++m) vm[onset + 8 + m] = static_cast<int16_t>(320 - 18 * m);
  }
  writer::WcpSetupRecord record;
  record.samples = {std::vector<int16_t>(samples, 100), vm};
  record.vmax = {128, 128};
  return writer::WcpSetupFileBytes(setup, {record, record, record});
}

// The rows that "IID" writes for record `tr` of SpikingRecording() into the table NAME +
// `table`, with NminSpikes 2: the three spikes make one discharge, of more than 2 spikes. Each
// spike: VT -60 at the onset, Vpeak +20, Vrest -70, Vr-Vsilent -70 - (-65), Vmin -70 where the
// fall ends, AHP = VT - Vmin; intervals of 30 ms, 60 ms from the first spike to the last.
std::string SpikingRows(const std::string& table, int tr) {
  const std::string t = std::to_string(tr);
  const std::string v = " -60.00 20.00 -70.00 -5.00 -70.00 10.00\r\n";
  if (table == "IID") {
    return t + " 1 1 0.000 0.100000 1" + v + t + " 1 2 0.030 0.130000 2" + v + t +
           " 1 3 0.030 0.160000 3" + v;
  }
  if (table == "mean" || table == "ID") return t + " 1 0.100000 0.030 0.060 3\r\n";
  // The last spike of the record is no row of "_sp"; "_1sp" holds the first spike.
  if (table == "_sp") return t + " 0 0.100000 1" + v + t + " 1 0.130000 2" + v;
  return t + " 0 0.100000 1" + v;
}

// The table `table` as "IID" writes it for the records first .. last, run in that order from
// record 1 (or from a record whose tables do not exist yet): the header line, then the rows.
Entry SpikingTable(const std::string& table, int first, int last) {
  std::string text = table == "IID"                     ? kIidHeader
                     : table == "mean" || table == "ID" ? kDischargeHeader
                                                        : kSpikeHeader;
  for (int tr = first; tr <= last; ++tr) text += SpikingRows(table, tr);
  return FileOf(text);
}

Files SpikingTables(const std::string& base, int first, int last) {
  Files files;
  for (const char* table : {"IID", "mean", "ID", "_sp", "_1sp"}) {
    files.emplace_back(base + table, SpikingTable(table, first, last));
  }
  return files;
}

// One channel in mV at 1 ms (f = 0.0625 mV a count), one record of 800256 samples that repeat
// a spike every 8 ms: about 100030 spikes, each rising 70 mV.
std::string SpikeTrainRecording() {
  writer::WcpSetup setup;
  setup.nc = 1;
  setup.nbd = 3126;  // 3126 x 512 / 2 samples
  setup.dt = "0.001";
  setup.adcmax = "2048";
  setup.channels = {{"Vm", "mV", "1", "0", std::nullopt}};
  const int16_t period[] = {-1120, -1120, -480, 0, -640, -1120, -1200, -1152};  // x 0.0625 mV
  writer::WcpSetupRecord record;
  record.samples.resize(1);
  for (int64_t k = 0; k < writer::WcpSetupSamples(setup); ++k) {
    record.samples[0].push_back(period[k % 8]);
  }
  record.vmax = {128};
  return writer::WcpSetupFileBytes(setup, {record});
}

// A text trace: 10 header lines, then the data as given.
std::string TextTrace(const std::string& data, const std::string& line_end = "\r\n") {
  std::string text;
  for (int i = 0; i < 10; ++i) text += "header " + std::to_string(i) + line_end;
  return text + data;
}

// A text trace of 60 samples at 1 ms with two spikes (onsets at 15 and 35 ms).
std::string SpikingTextTrace() {
  std::vector<double> v(60, -70);
  for (int onset : {15, 35}) {
    const double shape[] = {-30, 0, -40, -70, -75, -74, -73};
    for (int i = 0; i < 7; ++i) v[onset + i] = shape[i];
  }
  std::string data;
  for (size_t k = 0; k < v.size(); ++k) {
    data += std::to_string(k) + " 0 " + std::to_string(static_cast<int>(v[k])) + "\r\n";
  }
  return TextTrace(data);
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

// What "stat" writes for IdTableOfRows(rows): discharges 10 s apart within record 1, so that
// InterID = (1 - 1 - 1) * 300 + tIID(k+1) + (300 - tIID(k)) = 10 s, the last row 0.
std::string StatOfRows(int rows) {
  std::string table = kStatHeader + std::to_string(rows) +
                      " 10.00 0.00 0.01 0.00 0.50 0.00 45.00 0.00 1.000\r\n" + kStatRowsHeader;
  for (int k = 1; k <= rows; ++k) {
    table += std::to_string(k) + (k < rows ? " 10.00" : " 0.00") + " 0.01 0.50 45\r\n";
  }
  return table;
}

std::string Message(const std::string& text) { return "error: " + text + "\n"; }

std::string NotFound(const std::string& name) {
  return Message("File not found: " + name + " (nor " + name + ".wcp, " + name + ".abf)");
}

const std::string kPanelFactors = R"("CalibV": "0.0030518509", "CalibI": "0.6103701895")";
const std::string kDefaultFactors = R"("CalibV": "4.0000000000", "CalibI": "4.0000000000")";
// After a failed lookup of a recording, record or channel: no record, no spikes.
const std::string kNoRecord = R"("lastIndex": -1,)";
const std::string kNoSpikes = R"("spikes": {"count": 0, "VT": [])";
const std::string kNoRecording = R"("recording": null})";

// ---------------------------------------------------------------------------------------------
// The cases, grouped by what is wrong.

std::vector<BadInputCase> RecordingFileCases() {
  const std::string header = Header(kSmallHeader);
  std::string cut_in_a_pair = writer::WcpFileBytes(header, {Record({0, 0, 0, 0, 1000}, 5)});
  cut_in_a_pair += '\x07';
  writer::WcpRecord leading_block_only = Record({}, 0);
  leading_block_only.leading_fill = 1000;
  const std::string empty_text_trace_label =
      R"("headerLabel": "Text trace: 1 record at 0 ms; channel: 1 V (mV) analysed")";
  return {
      // A file is read by its content: without "NC=" and "NBD=" lines it is a text trace,
      // whatever its name.
      {.name = "empty_wcp_file_is_an_empty_text_trace",
       .setup = {{"rec.wcp", FileOf("")}},
       .actions = {"name=rec", "load", "state:brief"},
       .state = {R"("trace": {"lastIndex": -1, "acqTime": 0, "recordNo": 1, "nr": 1, "v": 0})",
                 R"("CalibV": "0.0000000000", "CalibI": "0.0000000000")",
                 R"("AcqTime": "0.00000", "NR": " 1")", empty_text_trace_label,
                 R"("recording": {"format": "text", "file": "rec.wcp",)"}},
      {.name = "empty_text_trace_loads_no_sample",
       .setup = {{"trace", FileOf("")}},
       .actions = {"name=trace", "load", "state:brief"},
       .state = {R"("trace": {"lastIndex": -1, "acqTime": 0, "recordNo": 1, "nr": 1, "v": 0})",
                 R"("CalibV": "0.0000000000", "CalibI": "0.0000000000")",
                 R"("AcqTime": "0.00000", "NR": " 1")", empty_text_trace_label,
                 R"("recording": {"format": "text", "file": "trace",)"}},
      // Record 1 would start at byte 1024: the file holds none. The factors and the record
      // number are taken before the check.
      {.name = "header_only_holds_no_record",
       .setup = {{"rec.wcp", FileOf(header)}},
       .actions = {"--keep-going", "name=rec", "load", "state"},
       .status = 1,
       .err = Message("Record 1 does not exist: rec.wcp holds 0 records"),
       .state = {R"("lastIndex": -1, "acqTime": 0.0625, "recordNo": 1, "nr": 2, "v": [])",
                 kPanelFactors, R"("Duration": "65.00")", kNoSpikes}},
      // The header is read as if padded with NUL: NBD 64 gives 512 ms, N = 8192.
      {.name = "file_shorter_than_512_bytes_holds_no_record",
       .setup = {{"rec.wcp", FileOf("NC=2\r\nNBD=64\r\nDT=6.25E-5\r\n")}},
       .actions = {"--keep-going", "name=rec", "load", "state:brief"},
       .status = 1,
       .err = Message("Record 1 does not exist: rec.wcp holds 0 records"),
       .state = {R"("trace": {"lastIndex": -1, "acqTime": 0.0625, "recordNo": 1, "nr": 0,)",
                 R"("Duration": "512.00")",
                 R"("CalibV": "0.0000000763", "CalibI": "0.0000762963")"}},
      {.name = "short_file_value_runs_into_the_nul_characters",
       .setup = {{"rec.wcp", FileOf("NC=2\r\nNBD=64\r\nDT=6.25E-5\r\nNR=3")}},
       .actions = {"--keep-going", "name=rec", "load", "state:brief"},
       .status = 1,
       .err = Message("'3" + std::string(7, '\0') + "' is not a valid integer value"),
       // "NBD=" and "DT=" were applied; the factors were not shown and nothing was read.
       .state = {R"("Duration": "512.00")", R"("AcqTime": "0.06250", "NR": "12")", kDefaultFactors,
                 R"("lastIndex": -1, "acqTime": 0.0625, "recordNo": 0,)"}},
      // Record 1 starts before the end of the file, so it exists; the file ends inside it.
      {.name = "truncated_record_repeats_its_last_sample",
       .setup = {{"rec.wcp",
                  FileOf(writer::WcpFileBytes(header, {Record({0, 0, 0, 0, 1000}, 5)}))}},
       .actions = {"name=rec", "load", "state"},
       .state = {Samples(PaddedWith({"0", "0", "0", "0"}, kSmallSamples - 4, Mv(1000))),
                 R"("lastIndex": 16,)"}},
      // The leading block and channel 0 share one value: its last count stands for every sample.
      {.name = "file_ending_in_the_leading_block",
       .setup = {{"rec.wcp", FileOf(writer::WcpFileBytes(header, {leading_block_only}))}},
       .actions = {"name=rec", "load", "state"},
       .state = {Samples(std::vector<std::string>(kSmallSamples, Mv(1000)))}},
      // One byte of the next pair: it replaces the low byte of the last count (0x03E8 -> 0x0307).
      {.name = "record_cut_inside_a_pair",
       .setup = {{"rec.wcp", FileOf(cut_in_a_pair)}},
       .actions = {"name=rec", "load", "state"},
       .state = {Samples(
           PaddedWith({"0", "0", "0", "0", Mv(1000)}, kSmallSamples - 5, Mv(0x307)))}},
      // The .wcp content is recognised under any name.
      {.name = "wcp_content_under_a_name_without_extension",
       .setup = {{"rec", FileOf(SmallRecording())}},
       .actions = {"name=rec", "load", "state"},
       .state = {Samples(SmallRecord1()), R"("recording": {"format": "wcp", "file": "rec",)",
                 "\"headerLabel\": \"" + kSmallSummary + "\\r\\nVER=9\\r\\nNC=2\\r\\n"}},
  };
}

// The name is looked up as typed, then with ".wcp", then with ".abf"; only regular files count.
std::vector<BadInputCase> LookupCases() {
  const Files small = {{"rec.wcp", FileOf(SmallRecording())}};
  const Files spiking_and_small = {{"spiky", FileOf(SpikingTextTrace())},
                                   {"rec.wcp", FileOf(SmallRecording())}};
  return {
      {.name = "missing_recording",
       .actions = {"--keep-going", "name=gone", "load", "state:brief"},
       .status = 1,
       .err = NotFound("gone"),
       .state = {R"("recordingName": "gone")", kNoRecord, kNoSpikes, kNoRecording}},
      // "V.dat" is created before the recording is looked for, and stays empty.
      {.name = "missing_recording_with_v_dat_ticked",
       .actions = {"--keep-going", "name=rec", "check:vdat", "load", "state:brief"},
       .status = 1,
       .err = NotFound("rec"),
       .after = {{"V.dat", FileOf("")}},
       .state = {R"("recordingName": "rec")", kNoRecord, R"("plotStep": 5,)", kNoRecording}},
      // The spikes of the record loaded before are forgotten with it. The trace holds no sample
      // then, so "IID" refuses before it takes the name or creates a table.
      {.name = "missing_recording_forgets_the_spikes_and_iid_refuses",
       .setup = spiking_and_small,
       .actions = {"--keep-going", "name=spiky", "load", "spikes", "state:brief", "name=gone",
                   "load", "iid", "state:brief"},
       .status = 1,
       .err = NotFound("gone") + Message("No recording loaded"),
       .state = {R"("spikes": {"count": 2,)", kNoSpikes, R"("recordNo": 1,)",
                 R"("resultBaseName": "",)", R"("ID": 0, "IID": 0}, "recording": null})"}},
      // The tables of the last "IID" stay as they were, and so does its name.
      {.name = "missing_recording_keeps_the_result_name_of_the_last_iid",
       .setup = small,
       .actions = {"--keep-going", "name=rec", "load", "iid", "name=gone", "load", "iid",
                   "state:brief"},
       .status = 1,
       .err = NotFound("gone") + Message("No recording loaded"),
       .after = {{"recIID", FileOf(kIidHeader)},
                 {"recmean", FileOf(kDischargeHeader)},
                 {"recID", FileOf(kDischargeHeader)},
                 {"rec_sp", FileOf(kSpikeHeader)},
                 {"rec_1sp", FileOf(kSpikeHeader)}},
       .state = {R"("recordingName": "gone", "resultBaseName": "rec",)", kNoRecord}},
      // Before any record there is no sample: "IID" refuses, and no table of "gone" appears.
      {.name = "missing_recording_in_a_new_session_then_iid_refuses",
       .actions = {"--keep-going", "name=gone", "load", "iid"},
       .status = 1,
       .err = NotFound("gone") + Message("No recording loaded")},
      // A directory is not a file, under none of the three names.
      {.name = "directory_as_the_recording_name",
       .setup = {{"good.wcp", FileOf(SmallRecording())},
                 {"rec", Directory()},
                 {"rec.wcp", Directory()},
                 {"rec.abf", Directory()}},
       .actions = {"--keep-going", "name=good", "load", "name=rec", "load", "state:brief"},
       .status = 1,
       .err = NotFound("rec"),
       .state = {R"("recordingName": "rec")", kNoRecord, R"("V": 0,)", kNoRecording}},
      {.name = "name_typed_with_its_extension",
       .setup = small,
       .actions = {"name=rec.wcp", "load", "state"},
       .state = {Samples(SmallRecord1()), R"("recordingName": "rec.wcp")",
                 R"("recording": {"format": "wcp", "file": "rec.wcp", "version": "9",)"}},
      // The name as typed comes first: a text trace "rec" hides "rec.wcp".
      {.name = "name_as_typed_before_the_wcp_file",
       .setup = {{"rec.wcp", FileOf(SmallRecording())},
                 {"rec", FileOf(TextTrace("0 0 -70\r\n1 0 -71\r\n"))}},
       .actions = {"name=rec", "load", "state"},
       .state = {Samples({"-70", "-71"}), R"("recording": {"format": "text", "file": "rec",)"}},
      {.name = "two_traces_of_a_missing_recording",
       .setup = small,
       .actions = {"--keep-going", "name=rec", "load", "name=gone", "load", "two-traces",
                   "state:brief"},
       .status = 1,
       .err = NotFound("gone") + NotFound("gone"),
       .state = {kNoRecord, kNoRecording}},
      // Before any load the recording name is empty, and so is the name looked for.
      {.name = "two_traces_before_any_load",
       .actions = {"two-traces"},
       .status = 1,
       .err = NotFound("")},
  };
}

// Headers that the classic loader reads: they fit the classic rig, so every quirk of its scan
// holds.
std::vector<BadInputCase> HeaderCases() {
  const std::string rec = "rec.wcp";
  auto with = [](const std::string& key, const std::string& line) {
    return SmallRecording(Header(SmallHeaderWith(key, line)));
  };
  std::vector<std::string> dt_first = SmallHeaderWith("NBD", "");
  dt_first.push_back("NBD=8.125");
  std::vector<std::string> with_note = kSmallHeader;
  with_note.push_back("NOTE=cell 3, 20 \xB5V noise");
  return {
      // N = 79,999,999,992 ms / 0.0625 ms.
      {.name = "nbd_huge_is_refused_before_the_factors",
       .setup = {{rec, FileOf(with("NBD", "NBD=9999999999"))}},
       .actions = {"--keep-going", "name=rec", "load", "state:brief"},
       .status = 1,
       .err = Message("Record too long: 1279999998849 samples (at most 10000001)"),
       .state = {R"("Duration": "79999999992.00")", R"("YG1": "0.0005000000")", kDefaultFactors,
                 R"("lastIndex": -1, "acqTime": 0.0625, "recordNo": 0, "nr": 2,)"}},
      {.name = "nbd_beyond_the_integer_range",
       .setup = {{rec, FileOf(with("NBD", "NBD=1e30"))}},
       .actions = {"--keep-going", "name=rec", "load", "state:brief"},
       .status = 1,
       .err = Message("Invalid floating point operation"),
       .state = {R"("Duration": "8000000000000000160000000000000.00")", R"("NR": " 2")",
                 R"("lastIndex": -1, "acqTime": 0, "recordNo": 0, "nr": 2,)"}},
      // N = -1040: the stride 4N + 1024 is negative, so every record starts before the end of
      // the file; record 1 holds N - 1023 < 0 samples.
      {.name = "nbd_negative_loads_no_sample",
       .setup = {{rec, FileOf(with("NBD", "NBD=-8.125"))}},
       .actions = {"name=rec", "load", "state:brief"},
       .state = {R"("Duration": "-65.00")",
                 R"("lastIndex": -2064, "acqTime": 0.0625, "recordNo": 1,)", R"("V": 0,)"}},
      // Record 2 would start before the file.
      {.name = "nbd_negative_record_2",
       .setup = {{rec, FileOf(with("NBD", "NBD=-8.125"))}},
       .actions = {"--keep-going", "name=rec", "Analyse=2", "load", "state:brief"},
       .status = 1,
       .err = Message("I/O error 131: rec.wcp"),
       .state = {kPanelFactors, R"("lastIndex": -1, "acqTime": 0.0625, "recordNo": 2,)"}},
      // Without "DT=" the file still fits the classic rig; N stays 0, so records lie 1024 bytes
      // apart: 11 of them start before the end of the 11392-byte file.
      {.name = "dt_absent_loads_no_sample",
       .setup = {{rec, FileOf(with("DT", ""))}},
       .actions = {"--keep-going", "name=rec", "load", "state:brief", "Analyse=12", "load"},
       .status = 1,
       .err = Message("Record 12 does not exist: rec.wcp holds 11 records"),
       .state = {R"("Duration": "65.00")", R"("lastIndex": -1024, "acqTime": 0, "recordNo": 1,)",
                 R"("V": 0,)", R"("headerLabel": "WCP 9, classic layout: 11 records at 0 ms;)"}},
      // N is computed at "DT=", while the duration is still 0.
      {.name = "dt_before_nbd_loads_no_sample",
       .setup = {{rec, FileOf(SmallRecording(Header(dt_first)))}},
       .actions = {"name=rec", "load", "state:brief"},
       .state = {R"("Duration": "65.00")", R"("AcqTime": "0.06250")",
                 R"("lastIndex": -1024, "acqTime": 0.0625, "recordNo": 1,)", R"("V": 0,)"}},
      {.name = "yg0_zero_in_the_header",
       .setup = {{rec, FileOf(with("YG0", "YG0=0"))}},
       .actions = {"--keep-going", "name=rec", "load", "state:brief"},
       .status = 1,
       .err = Message("Floating point division by zero"),
       .state = {R"("YG0": "0.0000000000", "YG1": "4.0000000000", "CalibV": "4.0000000000")",
                 R"("lastIndex": -1, "acqTime": 0.0625,)"}},
      // The factors are recomputed at position 1 already, before any key of the header; the
      // label shows the header bytes, set before the scan.
      {.name = "yg0_zero_in_the_panel",
       .setup = {{rec, FileOf(SmallRecording())}},
       .actions = {"--keep-going", "YG0=0", "name=rec", "load", "state:brief"},
       .status = 1,
       .err = Message("Floating point division by zero"),
       .state = {R"("headerLabel": "VER=9\r\nNC=2\r\nNR=2\r\nNBD=8.125\r\n)",
                 R"("Duration": "1.00")", R"("NR": "12")", R"("YG0": "0")"}},
      {.name = "comma_decimal_in_dt_reads_as_a_point",
       .setup = {{rec, FileOf(with("DT", "DT=6,25E-5"))}},
       .actions = {"name=rec", "load", "state:brief"},
       .state = {R"("AcqTime": "0.06250")", R"("lastIndex": 16, "acqTime": 0.0625,)",
                 R"("layout": "classic")"}},
      // ",0000625" fits the rig (the comma read as a point), but the scan keeps the comma that
      // starts a "DT=" value.
      {.name = "comma_first_in_dt_stays_a_comma",
       .setup = {{rec, FileOf(with("DT", "DT=,0000625"))}},
       .actions = {"name=rec", "load"},
       .status = 1,
       .err = Message("',0000625' is not a valid floating point value")},
      {.name = "comma_decimal_in_nbd",
       .setup = {{rec, FileOf(with("NBD", "NBD=8,125"))}},
       .actions = {"--keep-going", "name=rec", "load", "state:brief"},
       .status = 1,
       .err = Message("'8,125' is not a valid floating point value"),
       .state = {R"("NR": " 2")", R"("Duration": "1.00")"}},
      // The lines that decide the format end at the NUL; the scan reads on past it.
      {.name = "nul_inside_a_header_value",
       .setup = {{rec, FileOf(with("AD", std::string("AD=1") + '\0' + "0"))}},
       .actions = {"--keep-going", "name=rec", "load", "state:brief"},
       .status = 1,
       .err = Message(std::string("'1") + '\0' + "0' is not a valid floating point value"),
       .state = {R"("AD": "10.00")", R"("Duration": "65.00")"}},
      {.name = "non_ascii_outside_the_values_is_shown_only",
       .setup = {{rec, FileOf(SmallRecording(Header(with_note)))}},
       .actions = {"name=rec", "load", "state:brief"},
       .state = {R"(NOTE=cell 3, 20 \u00b5V noise\r\n)", R"("lastIndex": 16,)"}},
      {.name = "non_ascii_inside_a_header_value",
       .setup = {{rec, FileOf(with("YG0", "YG0=0.0001\xB5"))}},
       .actions = {"--keep-going", "name=rec", "load", "state:brief"},
       .status = 1,
       .err = Message("'0.0001\xB5' is not a valid floating point value"),
       .state = {R"("YG0": "4.0000000000")", R"("lastIndex": -1, "acqTime": 0.0625,)"}},
      // A value ends at a CR only: with LF line ends it runs on into the next line.
      {.name = "lf_line_ends_in_the_header",
       .setup = {{rec, FileOf(SmallRecording(Header(kSmallHeader, "\n")))}},
       .actions = {"--keep-going", "name=rec", "load", "state:brief"},
       .status = 1,
       .err = Message("'2\nNBD=8.' is not a valid integer value"),
       .state = {R"("NR": "12")"}},
      {.name = "cr_line_ends_in_the_header",
       .setup = {{rec, FileOf(SmallRecording(Header(kSmallHeader, "\r")))}},
       .actions = {"name=rec", "load", "state:brief"},
       .state = {R"("lastIndex": 16, "acqTime": 0.0625, "recordNo": 1, "nr": 2,)"}},
      // A classic-fit file read by the classic loader: NBD 1 gives 8 ms, N = 128, so the record
      // that the header layout would give in full loads no sample at all.
      {.name = "classic_fit_file_keeps_the_classic_cut",
       .setup = {{rec, FileOf(HeaderRecording(ClassicFitSetup(), 128, 0))}},
       .actions = {"name=rec", "load", "state:brief"},
       .state = {R"("Duration": "8.00")", R"("lastIndex": -896, "acqTime": 0.0625,)",
                 R"("headerLabel": "WCP 9, classic layout: 2 records at 0.0625 ms; channels: )"
                 R"(1 Vm (mV) analysed, 2 Im (pA)\r\nVER=9\r\n)"}},
  };
}

std::vector<BadInputCase> RecordNumberCases() {
  const Files small = {{"rec.wcp", FileOf(SmallRecording())}};
  return {
      // The factors are shown and the record number taken before the record is looked for.
      {.name = "analyse_zero_names_no_record",
       .setup = small,
       .actions = {"--keep-going", "name=rec", "Analyse=0", "load", "state:brief"},
       .status = 1,
       .err = Message("Record 0 does not exist: rec.wcp holds 2 records"),
       .state = {kPanelFactors, R"("lastIndex": -1, "acqTime": 0.0625, "recordNo": 0, "nr": 2,)",
                 R"("V": 0,)", kNoSpikes}},
      {.name = "analyse_negative_names_no_record",
       .setup = small,
       .actions = {"--keep-going", "name=rec", "Analyse=-1", "load", "state:brief"},
       .status = 1,
       .err = Message("Record -1 does not exist: rec.wcp holds 2 records"),
       .state = {R"("lastIndex": -1, "acqTime": 0.0625, "recordNo": -1,)"}},
      {.name = "analyse_beyond_the_integer_range",
       .setup = small,
       .actions = {"--keep-going", "name=rec", "Analyse=1e20", "load", "state:brief"},
       .status = 1,
       .err = Message("Invalid floating point operation"),
       .state = {kPanelFactors, R"("recordNo": 0,)"}},
      // Record 3 of 2 is refused; the record number is 3 by then, but the trace holds no
      // sample, so "IID" refuses before it takes the name or opens a table.
      {.name = "analyse_past_the_last_record_then_iid_refuses",
       .setup = small,
       .actions = {"--keep-going", "name=rec", "load", "Analyse=3", "reload", "iid", "state"},
       .status = 1,
       .err = Message("Record 3 does not exist: rec.wcp holds 2 records") +
              Message("No recording loaded"),
       .state = {R"("lastIndex": -1, "acqTime": 0.0625, "recordNo": 3,)", kNoSpikes,
                 R"("resultBaseName": "",)"}},
      // "two traces" reads record Analyse + 1 = 0; V2.dat would be created only once the record
      // is found. The points that the load drew stay.
      {.name = "two_traces_before_the_first_record",
       .setup = small,
       .actions = {"--keep-going", "name=rec", "load", "check:vdat", "Analyse=-1", "two-traces",
                   "state:brief"},
       .status = 1,
       .err = Message("Record 0 does not exist: rec.wcp holds 2 records"),
       .state = {R"("lastIndex": -1, "acqTime": 0.0625, "recordNo": 0,)", R"("V": 3,)"}},
      {.name = "two_traces_past_the_last_record",
       .setup = small,
       .actions = {"--keep-going", "name=rec", "Analyse=2", "load", "check:vdat", "two-traces",
                   "state:brief"},
       .status = 1,
       .err = Message("Record 3 does not exist: rec.wcp holds 2 records"),
       .state = {R"("lastIndex": -1, "acqTime": 0.0625, "recordNo": 3,)", R"("V": 3,)"}},
  };
}

// .wcp files that do not fit the classic rig, and every file while Channel is 1 or more, are
// read by their header.
std::vector<BadInputCase> HeaderLayoutCases() {
  const std::string rec = "rec.wcp";
  auto file = [](const writer::WcpSetup& setup) {
    return Files{{"rec.wcp", FileOf(HeaderRecording(setup))}};
  };
  auto line = [&file](const std::string& key, const std::string& value) {
    return file(HeaderSetupWithLine(key, value));
  };
  const std::vector<std::string> load = {"--keep-going", "name=rec", "load", "state:brief"};
  writer::WcpSetup too_long = HeaderSetup();
  too_long.nbd = 78126;  // 78126 x 512 / 4 = 10,000,128 samples
  writer::WcpSetup no_voltage = HeaderSetup();
  no_voltage.channels = {{"I1", "pA", "0.5", "0", std::nullopt},
                         {"I2", "nA", "0.5", "0", std::nullopt}};
  writer::WcpSetup microvolt_first = HeaderSetup();
  microvolt_first.channels[0] = {"Ve", "\xB5V", "1", "0", std::nullopt};
  // Record 2 ends 4 bytes short: its samples do not lie wholly in the file.
  std::string cut_record_2 = HeaderRecording();
  cut_record_2.resize(cut_record_2.size() - 4);
  return {
      // What the other cases change: the first mV channel, its factor, the fields in order.
      {.name = "header_layout_reads_the_first_mv_channel",
       .setup = file(HeaderSetup()),
       .actions = {"name=rec", "load", "state"},
       .state = {Samples(HeaderRecord1(0.0625)),
                 R"("lastIndex": 127, "acqTime": 0.10000000000000001, "recordNo": 1, "nr": 2,)",
                 R"("CalibV": "0.0625000000", "CalibI": )",
                 R"("AcqTime": "0.10000", "NR": " 2", "Analyse": " 1", "Duration": "12.80")",
                 "\"headerLabel\": \"" + kHeaderSummary + "\\r\\nVER=9\\r\\nNC=2\\r\\n",
                 R"("recording": {"format": "wcp", "file": "rec.wcp", "version": "9",)",
                 R"("layout": "header", "records": 2,)",
                 R"("analysedChannel": 2, "voltageChannelFound": true,)"}},
      // VMax 0 is no voltage range: "AD=" (10 V) takes its place, 10 / 2048 mV a count.
      {.name = "vmax_outside_its_range_gives_way_to_ad",
       .setup = {{rec, FileOf(HeaderRecording(HeaderSetup(), 0))}},
       .actions = {"name=rec", "load", "state"},
       .state = {Samples(HeaderRecord1(10.0 / 2048)), R"("CalibV": "0.0048828125")"}},
      {.name = "vmax_and_ad_both_unusable",
       .setup = {{rec, FileOf(HeaderRecording(
                           HeaderSetupWith([](writer::WcpSetup& s) { s.ad.clear(); }), 0))}},
       .actions = load,
       .status = 1,
       .err = Message("The header has no valid AD="),
       .state = {kDefaultFactors}},
      {.name = "nc_zero",
       .setup = line("NC", "0"),
       .actions = load,
       .status = 1,
       .err = Message("The header has no valid NC="),
       .state = {kNoRecord, R"("NR": "12")"}},
      {.name = "nc_empty_reads_as_zero",
       .setup = line("NC", ""),
       .actions = load,
       .status = 1,
       .err = Message("The header has no valid NC=")},
      {.name = "nc_not_a_number",
       .setup = line("NC", "abc"),
       .actions = load,
       .status = 1,
       .err = Message("'abc' is not a valid integer value")},
      {.name = "nbd_zero",
       .setup = line("NBD", "0"),
       .actions = load,
       .status = 1,
       .err = Message("The header has no valid NBD=")},
      {.name = "nbd_not_whole",
       .setup = line("NBD", "2.5"),
       .actions = load,
       .status = 1,
       .err = Message("'2.5' is not a valid integer value")},
      {.name = "nba_negative",
       .setup = line("NBA", "-1"),
       .actions = load,
       .status = 1,
       .err = Message("The header has no valid NBA=")},
      {.name = "nr_negative",
       .setup = line("NR", "-1"),
       .actions = load,
       .status = 1,
       .err = Message("The header has no valid NR=")},
      // The first channel is in pA, so the file does not fit the classic rig without "DT=".
      {.name = "dt_missing",
       .setup = file(HeaderSetupWith([](writer::WcpSetup& s) { s.dropped = {"DT"}; })),
       .actions = load,
       .status = 1,
       .err = Message("The header has no valid DT=")},
      {.name = "dt_zero",
       .setup = line("DT", "0"),
       .actions = load,
       .status = 1,
       .err = Message("The header has no valid DT="),
       .state = {kNoRecord, R"("AcqTime": "0.06250")"}},
      // "V.dat" is created before the file is looked at, and stays empty.
      {.name = "dt_zero_with_v_dat_ticked",
       .setup = line("DT", "0"),
       .actions = {"name=rec", "check:vdat", "load"},
       .status = 1,
       .err = Message("The header has no valid DT="),
       .after = {{"V.dat", FileOf("")}}},
      {.name = "dt_negative",
       .setup = line("DT", "-0.0001"),
       .actions = load,
       .status = 1,
       .err = Message("The header has no valid DT=")},
      {.name = "dt_not_a_number",
       .setup = line("DT", "abc"),
       .actions = load,
       .status = 1,
       .err = Message("'abc' is not a valid floating point value")},
      // 1e-9 s is 0.000001 ms: the AcqTime field shows 0, the trace keeps the interval.
      {.name = "dt_too_small_for_the_field",
       .setup = line("DT", "1e-9"),
       .actions = {"name=rec", "load", "state:brief"},
       .state = {R"("AcqTime": "0.00000")",
                 R"("lastIndex": 127, "acqTime": 9.9999999999999995e-07,)"}},
      {.name = "comma_first_in_a_header_dt_reads_as_a_point",
       .setup = line("DT", ",0001"),
       .actions = {"name=rec", "load", "state:brief"},
       .state = {R"("AcqTime": "0.10000")",
                 R"("lastIndex": 127, "acqTime": 0.10000000000000001,)"}},
      // Blanks around a value are dropped, and the later of two lines counts (where the
      // classic scan would join them).
      {.name = "repeated_key_takes_the_later_line",
       .setup = file(HeaderSetupWith([](writer::WcpSetup& s) {
         s.extra = {{"DT", " 0.0002 "}};
       })),
       .actions = {"name=rec", "load", "state:brief"},
       .state = {R"("AcqTime": "0.20000")", R"("lastIndex": 127, "acqTime": 0.20000000000000001,)",
                 R"("Duration": "25.60")"}},
      {.name = "adcmax_missing",
       .setup = file(HeaderSetupWith([](writer::WcpSetup& s) { s.dropped = {"ADCMAX"}; })),
       .actions = load,
       .status = 1,
       .err = Message("The header has no valid ADCMAX=")},
      {.name = "adcmax_zero",
       .setup = file(HeaderSetupWith([](writer::WcpSetup& s) { s.adcmax = "0"; })),
       .actions = load,
       .status = 1,
       .err = Message("The header has no valid ADCMAX=")},
      {.name = "yg_of_the_analysed_channel_zero",
       .setup = file(HeaderSetupWith([](writer::WcpSetup& s) { s.channels[1].gain = "0"; })),
       .actions = load,
       .status = 1,
       .err = Message("The header has no valid YG1="),
       .state = {kDefaultFactors, kNoRecord}},
      // The current channel gives CalibI: its gain is required too.
      {.name = "yg_of_the_current_channel_missing",
       .setup = file(HeaderSetupWith([](writer::WcpSetup& s) { s.channels[0].gain = ""; })),
       .actions = load,
       .status = 1,
       .err = Message("The header has no valid YG0=")},
      {.name = "yg_not_a_number",
       .setup = file(HeaderSetupWith([](writer::WcpSetup& s) { s.channels[1].gain = "x1"; })),
       .actions = load,
       .status = 1,
       .err = Message("'x1' is not a valid floating point value")},
      // A frame of two int16 has the positions 0 and 1. The lines are written as text: the
      // samples stay where the writer puts channel 2.
      {.name = "yo_past_the_frame",
       .setup = line("YO1", "2"),
       .actions = load,
       .status = 1,
       .err = Message("The header has no valid YO1=")},
      {.name = "yo_before_the_frame",
       .setup = line("YO1", "-1"),
       .actions = load,
       .status = 1,
       .err = Message("The header has no valid YO1=")},
      {.name = "yo_not_whole",
       .setup = line("YO1", "0.5"),
       .actions = load,
       .status = 1,
       .err = Message("'0.5' is not a valid integer value")},
      // No channel in a voltage unit: channel 1 is analysed, and the label says so.
      {.name = "no_voltage_channel",
       .setup = {{rec, FileOf(HeaderRecording(no_voltage, 128, 0))}},
       .actions = {"name=rec", "load", "state"},
       .state = {Samples(HeaderRecord1(0.125)),
                 R"("headerLabel": "WCP 9, header layout: 2 records at 0.1 ms; channels: )"
                 R"(1 I1 (pA) analysed, 2 I2 (nA); no voltage channel found\r\nVER=9\r\n)",
                 R"("analysedChannel": 1, "voltageChannelFound": false,)"}},
      // The first mV channel comes before an earlier channel in µV.
      {.name = "mv_channel_before_an_earlier_microvolt_one",
       .setup = file(microvolt_first),
       .actions = {"name=rec", "load", "state"},
       .state = {Samples(HeaderRecord1(0.0625)), R"("analysedChannel": 2,)"}},
      {.name = "record_past_the_last",
       .setup = file(HeaderSetup()),
       .actions = {"--keep-going", "name=rec", "Analyse=3", "load", "state:brief"},
       .status = 1,
       .err = Message("Record 3 does not exist: rec.wcp holds 2 records"),
       // The fields before the check are written; the factors come after it.
       .state = {R"("AD": "10.00", "YG0": "0.0005000000", "YG1": "1.0000000000", )"
                 R"("CalibV": "4.0000000000", "CalibI": "4.0000000000", )"
                 R"("AcqTime": "0.10000", "NR": " 2", "Analyse": "3", "Duration": "12.80")",
                 R"("lastIndex": -1, "acqTime": 0.10000000000000001,)", kNoSpikes}},
      // NR limits the records to those it states.
      {.name = "nr_below_the_records_of_the_file",
       .setup = file(HeaderSetupWith([](writer::WcpSetup& s) { s.nr = 1; })),
       .actions = {"--keep-going", "name=rec", "Analyse=2", "load", "state:brief"},
       .status = 1,
       .err = Message("Record 2 does not exist: rec.wcp holds 1 records"),
       .state = {R"("NR": " 1")", R"("nr": 1,)"}},
      // NR above what the file holds: the file decides.
      {.name = "nr_above_the_records_of_the_file",
       .setup = file(HeaderSetupWith([](writer::WcpSetup& s) { s.nr = 5; })),
       .actions = {"--keep-going", "name=rec", "Analyse=3", "load", "state:brief"},
       .status = 1,
       .err = Message("Record 3 does not exist: rec.wcp holds 2 records"),
       .state = {R"("NR": " 2")", R"("nr": 2,)"}},
      {.name = "record_cut_short",
       .setup = {{rec, FileOf(cut_record_2)}},
       .actions = {"--keep-going", "name=rec", "load", "state:brief", "Analyse=2", "load"},
       .status = 1,
       .err = Message("Record 2 does not exist: rec.wcp holds 1 records"),
       .state = {R"("lastIndex": 127,)", R"("NR": " 1")"}},
      // Refused before the record is looked for: the file holds no record at all.
      {.name = "record_too_long",
       .setup = {{rec, FileOf(writer::WcpSetupFileBytes(too_long, {}))}},
       .actions = load,
       .status = 1,
       .err = Message("Record too long: 10000128 samples (at most 10000001)"),
       .state = {R"("AcqTime": "0.10000", "NR": " 0", "Analyse": " 1", "Duration": "1000012.80")",
                 kDefaultFactors}},
      {.name = "channel_beyond_the_channel_count",
       .setup = file(HeaderSetup()),
       .actions = {"--keep-going", "name=rec", "load", "Channel=3", "load", "state:brief"},
       .status = 1,
       .err = Message("Channel 3 does not exist: rec.wcp has 2 channels"),
       .state = {kNoRecord, kNoSpikes}},
      // Channel 1 or more reads a classic-fit file by its header: all 128 samples.
      {.name = "channel_field_reads_a_classic_fit_file_by_its_header",
       .setup = {{rec, FileOf(HeaderRecording(ClassicFitSetup(), 128, 0))}},
       .actions = {"Channel=1", "name=rec", "load", "state"},
       .state = {Samples(HeaderRecord1(0.0625)), R"("lastIndex": 127, "acqTime": 0.0625,)",
                 R"("headerLabel": "WCP 9, header layout: 2 records at 0.0625 ms; channels: )"
                 R"(1 Vm (mV) analysed, 2 Im (pA)\r\n)"}},
      {.name = "channel_beyond_the_count_of_a_classic_fit_file",
       .setup = {{rec, FileOf(HeaderRecording(ClassicFitSetup(), 128, 0))}},
       .actions = {"--keep-going", "Channel=3", "name=rec", "load", "state:brief"},
       .status = 1,
       .err = Message("Channel 3 does not exist: rec.wcp has 2 channels"),
       .state = {kNoRecord, kNoSpikes}},
      // The small recording has no "ADCMAX=": read by its header, it is refused.
      {.name = "channel_field_on_the_small_recording",
       .setup = {{rec, FileOf(SmallRecording(Header(SmallHeaderWith("NBD", "NBD=8"))))}},
       .actions = {"--keep-going", "Channel=1", "name=rec", "load", "state:brief"},
       .status = 1,
       .err = Message("The header has no valid ADCMAX=")},
      // The header ends at its first NUL: a "DT=" line after it is not read.
      {.name = "key_after_a_nul_is_not_read",
       .setup = file(HeaderSetupWith([](writer::WcpSetup& s) {
         s.dropped = {"DT"};
         s.extra = {{"NOTE", std::string("a\0b", 3)}, {"DT", "0.0001"}};
       })),
       .actions = load,
       .status = 1,
       .err = Message("The header has no valid DT=")},
      {.name = "lf_line_ends_in_a_header_layout",
       .setup = {{rec, FileOf(WithHeaderLineEnds(HeaderRecording(), "\n"))}},
       .actions = {"name=rec", "load", "state"},
       .state = {Samples(HeaderRecord1(0.0625)), R"("NR": " 2")"}},
      {.name = "cr_line_ends_in_a_header_layout",
       .setup = {{rec, FileOf(WithHeaderLineEnds(HeaderRecording(), "\r"))}},
       .actions = {"name=rec", "load", "state"},
       .state = {Samples(HeaderRecord1(0.0625)), R"("NR": " 2")"}},
      // The samples of a record follow its NBA blocks, whatever NBA is.
      {.name = "one_analysis_block_a_record",
       .setup = file(HeaderSetupWith([](writer::WcpSetup& s) { s.nba = 1; })),
       .actions = {"name=rec", "Analyse=2", "load", "state"},
       .state = {Samples(std::vector<std::string>(kHeaderSamples, "-60"))}},
      // YO gives the frame position: here the voltage comes first in each frame.
      {.name = "yo_swaps_the_frame_positions",
       .setup = file(HeaderSetupWith([](writer::WcpSetup& s) {
         s.channels[0].position = 1;
         s.channels[1].position = 0;
       })),
       .actions = {"name=rec", "load", "state"},
       .state = {Samples(HeaderRecord1(0.0625))}},
      // V = (raw - YZ) x f.
      {.name = "yz_shifts_the_counts",
       .setup = file(HeaderSetupWith([](writer::WcpSetup& s) { s.channels[1].zero = "-1120"; })),
       .actions = {"name=rec", "load", "state"},
       .state = {Samples(
           PaddedWith({"0", "-1", "-2", "-3", "70", "90", "0"}, kHeaderSamples - 7, "70"))}},
      // A channel in V is the voltage when no channel is in mV: 1000 mV a volt.
      {.name = "volt_channel_is_shown_in_mv",
       .setup = file(HeaderSetupWith([](writer::WcpSetup& s) { s.channels[1].unit = "V"; })),
       .actions = {"name=rec", "load", "state"},
       .state = {Samples(HeaderRecord1(62.5)), R"("CalibV": "62.5000000000")",
                 R"("analysedChannel": 2, "voltageChannelFound": true,)"}},
      // More spikes than the table holds: the first 100000 are kept.
      {.name = "spike_table_full",
       .setup = {{rec, FileOf(SpikeTrainRecording())}},
       .actions = {"--keep-going", "name=rec", "load", "spikes", "state:brief"},
       .status = 1,
       .err = Message("Spike table full: only the first 100000 spikes are kept"),
       .state = {R"("spikes": {"count": 100000,)"}},
  };
}

std::vector<BadInputCase> TextTraceCases() {
  const std::string rec_kept = R"("lastIndex": 16, "acqTime": 0.5, "recordNo": 1,)";
  const std::string nul(1, '\0');
  const std::string binary_header =
      "Zelle 3 \xB5V\r\n" + nul + "\r\n\xFF\xFE\r\n" + Repeat("\r\n", 7);
  std::string twelve_lines;
  for (int k = 0; k < 12; ++k) {
    twelve_lines +=
        std::to_string(k * 5 / 10) + (k % 2 ? ".5" : "") + " 0 " + std::to_string(-70 - k) + "\r\n";
  }
  const std::string twelve_samples = TextTrace(twelve_lines);
  return {
      // The samples before the bad line are stored; LastIndex is set only at the end, so the
      // trace keeps the length of the record loaded before, and its later samples.
      {.name = "text_trace_with_letters",
       .setup = {{"rec.wcp", FileOf(SmallRecording())},
                 {"trace", FileOf(TextTrace("0 0 -70\r\n0.5 0 -71\r\n1.0 0 -72\r\n1.5 0 -73\r\n"
                                            "2.0 0 abc\r\n"))}},
       .actions = {"--keep-going", "name=rec", "load", "name=trace", "load", "state"},
       .status = 1,
       .err = Message("Invalid numeric input: trace"),
       .state = {Samples(PaddedWith({"-70", "-71", "-72", "-73", Mv(6554), Mv(-22937), Mv(1000),
                                     Mv(-1000), Mv(32767)},
                                    kSmallSamples - kRecord1.size(), "0")),
                 rec_kept, kPanelFactors, R"("recordingName": "trace")"}},
      {.name = "text_trace_missing_a_column_at_the_end",
       .setup = {{"trace", FileOf(TextTrace("0 0 -70\r\n1 0 -71\r\n2 0\r\n"))}},
       .actions = {"--keep-going", "name=trace", "load", "state:brief"},
       .status = 1,
       .err = Message("Invalid numeric input: trace"),
       .state = {R"("lastIndex": -1, "acqTime": 0,)", kDefaultFactors}},
      // Numbers run on across line ends: two columns a line pair up into samples of three.
      {.name = "text_trace_of_two_columns",
       .setup = {{"trace", FileOf(TextTrace("0 -70\r\n1 -71\r\n2 -72\r\n3 -73\r\n"))}},
       .actions = {"name=trace", "load", "state"},
       .state = {Samples({"1", "3"}), R"("acqTime": 0, "recordNo": 1, "nr": 1,)",
                 R"("AcqTime": "0.00000", "NR": " 1")", R"("series": {"V": [], "I": [])"}},
      {.name = "text_trace_with_cr_line_ends",
       .setup = {{"trace",
                  FileOf(TextTrace("0 0 -70\r1 0 -71\r2 0 -72\r3 0 -73\r4 0 -74\r", "\r"))}},
       .actions = {"name=trace", "load", "state"},
       .state = {Samples({"-70", "-71", "-72", "-73", "-74"}), R"("acqTime": 1,)",
                 R"("AcqTime": "1.00000")"}},
      {.name = "text_trace_with_comma_decimals",
       .setup = {{"trace", FileOf(TextTrace("0 0 -70,5\r\n"))}},
       .actions = {"name=trace", "load"},
       .status = 1,
       .err = Message("Invalid numeric input: trace")},
      // The 10 header lines may hold anything; NUL in the data separates numbers.
      {.name = "text_trace_with_binary_header_lines",
       .setup = {{"trace", FileOf(binary_header + "0" + nul + "0" + nul + "-70\r\n")}},
       .actions = {"name=trace", "load", "state"},
       .state = {Samples({"-70"})}},
      {.name = "text_trace_with_non_ascii_data",
       .setup = {{"trace", FileOf(TextTrace("0 0 -70\xB0\r\n"))}},
       .actions = {"name=trace", "load"},
       .status = 1,
       .err = Message("Invalid numeric input: trace")},
      // Drawn like a record: every PlotStep-th sample from 3 on (5 and 10), at k * 0.5 ms, and
      // dumped into "V.dat".
      {.name = "text_trace_is_drawn_and_dumped_like_a_record",
       .setup = {{"trace", FileOf(twelve_samples)}},
       .actions = {"name=trace", "check:vdat", "load", "state"},
       .after = {{"V.dat", FileOf("0.002500 -75.00\r\n0.005000 -80.00\r\n")}},
       .state = {R"("series": {"V": [[0.0025000000000000001, -75], [0.0050000000000000001, -80]],)",
                 R"("AcqTime": "0.50000", "NR": " 1")", R"("lastIndex": 11, "acqTime": 0.5,)"}},
      // A text trace holds record 1 only; V2.dat is not touched.
      {.name = "text_trace_then_two_traces",
       .setup = {{"trace", FileOf(twelve_samples)}},
       .actions = {"--keep-going", "name=trace", "check:vdat", "load", "two-traces", "state:brief"},
       .status = 1,
       .err = Message("Record 2 does not exist: trace holds 1 records"),
       .after = {{"V.dat", FileOf("0.002500 -75.00\r\n0.005000 -80.00\r\n")}},
       .state = {kNoRecord, kNoSpikes, R"("V": 2,)"}},
      // A load ignores Analyse for a text trace.
      {.name = "text_trace_loads_whatever_analyse_says",
       .setup = {{"trace", FileOf(twelve_samples)}},
       .actions = {"name=trace", "Analyse=7", "load", "state:brief"},
       .state = {R"("lastIndex": 11, "acqTime": 0.5,)", R"("nr": 1,)"}},
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
      {.name = "directory_as_the_table_that_stat_reads",
       .setup = {{"tables", Directory()}},
       .actions = {"check:read", "name=tables", "stat"},
       .status = 1,
       .err = Message("File not found: tables")},
      {.name = "directory_as_the_file_that_stat_writes",
       .setup = {{"1IDm", Directory()}},
       .actions = {"check:read", "name=1ID", "stat"},
       .status = 1,
       .err = Message("File access denied: 1IDm")},
      // Record 1 creates the tables in order: 1IID is emptied, then 1mean cannot be created.
      // No header line has been written at that point.
      {.name = "directory_as_a_table_of_record_1",
       .setup = small_and("1mean", Directory()),
       .actions = {"--keep-going", "name=rec", "load", "spikes", "name=1", "iid", "state:brief"},
       .status = 1,
       .err = Message("File access denied: 1mean"),
       .after = {{"1IID", FileOf("")}},
       .state = {R"("resultBaseName": "1")", R"("ID": 0, "IID": 0})"}},
      // Record 2 appends to 1IID, which exists, and leaves it as it was; 1mean is no file, so
      // record 2 creates it, and cannot.
      {.name = "directory_as_a_table_that_record_2_creates",
       .setup = small_and("1mean", Directory()),
       .actions = {"name=rec", "Analyse=2", "load", "name=1", "iid"},
       .status = 1,
       .err = Message("File access denied: 1mean")},
      // Record 1 empties 1IID and stops; record 2 appends to it and stops at 1mean, which it
      // creates.
      {.name = "directory_as_a_table_through_each_record",
       .setup = small_and("1mean", Directory()),
       .actions = {"--keep-going", "name=rec", "load", "name=1", "each-record", "state:brief"},
       .status = 1,
       .err = Message("File access denied: 1mean") + Message("File access denied: 1mean"),
       .after = {{"1IID", FileOf("")}},
       .state = {R"("Analyse": "2")", R"("recordNo": 2,)"}},
      {.name = "each_record_stops_at_the_first_failure",
       .setup = small_and("1mean", Directory()),
       .actions = {"name=rec", "load", "name=1", "each-record"},
       .status = 1,
       .err = Message("File access denied: 1mean"),
       .after = {{"1IID", FileOf("")}}},
      // V.dat is created before the recording is looked at: no load has read anything.
      {.name = "directory_as_v_dat",
       .setup = small_and("V.dat", Directory()),
       .actions = {"--keep-going", "name=rec", "check:vdat", "load", "state:brief"},
       .status = 1,
       .err = Message("File access denied: V.dat"),
       .state = {R"("headerLabel": "",)", R"("lastIndex": -1,)", R"("plotStep": 5,)"}},
      {.name = "directory_as_the_rin_table",
       .setup = small_and("1Rin", Directory()),
       .actions = {"name=rec", "load", "name=1", "rin"},
       .status = 1,
       .err = Message("File access denied: 1Rin")},
      // "rec" is not there; "rec.wcp" is found and cannot be opened.
      {.name = "unreadable_recording",
       .setup = small,
       .actions = {"--keep-going", "name=rec", "load", "state:brief"},
       .status = 1,
       .err = Message("File access denied: rec.wcp"),
       .state = {R"("recordingName": "rec", "resultBaseName": "", "headerLabel": "",)",
                 R"("lastIndex": -1, "acqTime": 0, "recordNo": 0,)"},
       .unreadable = {"rec.wcp"}},
      // Write-only for everybody, root included.
      {.name = "recording_that_nobody_may_read",
       .actions = {"--keep-going", "name=/proc/sys/vm/drop_caches", "load", "state:brief"},
       .status = 1,
       .err = Message("File access denied: /proc/sys/vm/drop_caches"),
       .state = {R"("lastIndex": -1,)", kDefaultFactors},
       .system_file = "/proc/sys/vm/drop_caches"},
      // Opens, but a read at offset 0 of the process's own memory fails.
      {.name = "recording_that_fails_to_read",
       .actions = {"--keep-going", "name=/proc/self/mem", "load", "state:brief"},
       .status = 1,
       .err = Message("I/O error 5: /proc/self/mem"),
       .state = {R"("lastIndex": -1,)", kDefaultFactors},
       .system_file = "/proc/self/mem"},
      // Nothing new can be created in the folder; the recording is read from it all the same.
      {.name = "folder_that_cannot_be_written",
       .setup = small,
       .actions = {"--keep-going", "name=rec", "load", "name=trace", "iid", "rin", "check:read",
                   "name=1mean", "stat", "state:brief"},
       .status = 1,
       .err = Message("File access denied: traceIID") + Message("File access denied: traceRin") +
              Message("File access denied: 1meanm"),
       .state = {R"("lastIndex": 16,)", R"("resultBaseName": "trace")"},
       .read_only_folder = true},
      {.name = "result_names_through_a_file",
       .setup = small,
       .actions = {"--keep-going", "name=rec", "load", "name=1IID/x", "iid", "rin", "check:read",
                   "name=1IID/x", "stat"},
       .status = 1,
       .err = Message("File not found: 1IID/xIID") + Message("File not found: 1IID/xRin") +
              Message("File not found: 1IID/x")},
      // The lines go to a device that takes none: the run stops at the write.
      // The header line of "mean" fails: "IID" has its header, the tables after "mean" are
      // created but stay empty, and no chart point is drawn.
      {.name = "discharge_table_on_a_full_disk",
       .setup = small_and("recmean", LinkTo("/dev/full")),
       .actions = {"--keep-going", "name=rec", "load", "spikes", "iid", "state:brief"},
       .status = 1,
       .err = Message("Disk full: recmean"),
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
       .err = Message("Disk full: 1Rin"),
       .system_file = "/dev/full"},
      // The folder given to --dir, as given, when the run cannot work in it; nothing is run.
      {.name = "dir_folder_missing",
       .actions = {"name=rec", "load"},
       .status = 1,
       .err = Message("File not found: " + kFolderMark + "/gone"),
       .dir = "gone"},
      {.name = "dir_folder_through_a_file",
       .actions = {"name=rec", "load"},
       .status = 1,
       .err = Message("File not found: " + kFolderMark + "/1ID/sub"),
       .dir = "1ID/sub"},
      {.name = "dir_folder_that_cannot_be_entered",
       .setup = {{"locked", Directory()}},
       .actions = {"name=rec", "load"},
       .status = 1,
       .err = Message("File access denied: " + kFolderMark + "/locked"),
       .unreadable = {"locked"},
       .dir = "locked"},
  };
}

std::vector<BadInputCase> StatCases() {
  const std::vector<std::string> read_1id = {"check:read", "name=1ID", "stat"};
  const std::string row_10s = DischargeRow(1, 1, "10.000000", "0.030 0.060 3");
  const std::string row_50s = DischargeRow(1, 2, "50.000000", "0.030 0.060 3");
  return {
      {.name = "stat_table_with_letters",
       .setup = {{"1ID", FileOf(kDischargeHeader + row_10s + "1 2 abc 0.030 0.060 3\r\n")}},
       .actions = read_1id,
       .status = 1,
       .err = Message("Invalid numeric input: 1ID")},
      {.name = "stat_row_missing_a_column",
       .setup = {{"1ID", FileOf(kDischargeHeader + row_10s + "1 2 50.000000 0.030 0.060\r\n")}},
       .actions = read_1id,
       .status = 1,
       .err = Message("Invalid numeric input: 1ID")},
      // Fewer than two discharges: refused before 1IDm is touched.
      {.name = "stat_table_of_one_discharge",
       .setup = {{"1ID", FileOf(kDischargeHeader + row_10s)}},
       .actions = read_1id,
       .status = 1,
       .err = Message("stat needs at least two discharges: 1ID holds 1")},
      {.name = "stat_table_of_no_discharge",
       .setup = {{"1ID", FileOf(kDischargeHeader)}},
       .actions = read_1id,
       .status = 1,
       .err = Message("stat needs at least two discharges: 1ID holds 0")},
      {.name = "stat_empty_table",
       .setup = {{"1ID", FileOf("")}},
       .actions = read_1id,
       .status = 1,
       .err = Message("stat needs at least two discharges: 1ID holds 0")},
      // The table's name as read: "./" is kept, and the output would be "./1IDm".
      {.name = "stat_names_the_table_as_typed",
       .setup = {{"1ID", FileOf(kDischargeHeader + row_10s)}},
       .actions = {"check:read", "name=./1ID", "stat"},
       .status = 1,
       .err = Message("stat needs at least two discharges: ./1ID holds 1")},
      // Without "read" the table is the "ID" table of the last "IID": record 2 creates the
      // missing tables with their header lines, and a record without spikes gives them no row.
      {.name = "stat_of_the_iid_tables_of_a_record_without_spikes",
       .setup = {{"rec.wcp", FileOf(SmallRecording())}},
       .actions = {"name=rec", "Analyse=2", "load", "spikes", "name=new", "iid", "stat"},
       .status = 1,
       .err = Message("stat needs at least two discharges: newID holds 0"),
       .after = {{"newIID", FileOf(kIidHeader)},
                 {"newmean", FileOf(kDischargeHeader)},
                 {"newID", FileOf(kDischargeHeader)},
                 {"new_sp", FileOf(kSpikeHeader)},
                 {"new_1sp", FileOf(kSpikeHeader)}}},
      // Any number of discharges is summarised.
      {.name = "stat_table_of_20_discharges",
       .setup = {{"1ID", FileOf(IdTableOfRows(20))}},
       .actions = read_1id,
       .after = {{"1IDm", FileOf(StatOfRows(20))}}},
      {.name = "stat_table_of_21_discharges",
       .setup = {{"1ID", FileOf(IdTableOfRows(21))}},
       .actions = read_1id,
       .after = {{"1IDm", FileOf(StatOfRows(21))}}},
      {.name = "stat_table_of_300_discharges",
       .setup = {{"1ID", FileOf(IdTableOfRows(300))}},
       .actions = read_1id,
       .after = {{"1IDm", FileOf(StatOfRows(300))}}},
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
       .err = Message("File not found: ID")},
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
       .state = {Samples(
                     PaddedWith({"0", Mv(100), Mv(200), Mv(-21299)}, kSmallSamples - 4, Mv(1000))),
                 R"("recordNo": 1,)", R"("plotStep": 0,)", R"("series": {"V": [], "I": [])"}},
      // Both dumps are created before the drawing fails, and stay empty.
      {.name = "step_v_zero_with_dumps",
       .setup = small,
       .actions = {"--keep-going", "name=rec", "check:vdat", "step_V=0", "load", "two-traces",
                   "state:brief"},
       .status = 1,
       .err = Message("Division by zero") + Message("Division by zero"),
       .after = {{"V.dat", FileOf("")}, {"V2.dat", FileOf("")}},
       .state = {R"("lastIndex": 16, "acqTime": 0.0625, "recordNo": 2,)", R"("V": 0,)"}},
      {.name = "tau_zero",
       .setup = small,
       .actions = {"--keep-going", "tau=0", "name=rec", "load", "tau=0.0", "check:filter", "load",
                   "state:brief"},
       .status = 1,
       .err = Message("Invalid floating point operation") +
              Message("Floating point division by zero") +
              Message("Floating point division by zero"),
       .state = {R"("tau": "0.0", "a": "0.80")", R"("filterCoef": 0,)", R"("lastIndex": 16,)",
                 R"("V": 0,)"}},
      {.name = "comma_decimal_in_a_field_reads_as_zero",
       .setup = small,
       .actions = {"--keep-going", "name=rec", "load", "tau=0,5", "state:brief"},
       .status = 1,
       .err = "warning: tau: '0,5' is not a number; it reads as 0\n" +
              Message("Floating point division by zero"),
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
                 R"("lastIndex": 16,)", R"("spikes": {"count": 0,)"}},
      // "Filter" copies the AcqTime field into the trace before the load; three lines of text
      // give no time step of their own. Smoothing with a = 1 holds the first sample throughout.
      {.name = "acqtime_zero_in_the_field",
       .setup = three_samples,
       .actions = {"--keep-going", "AcqTime=0", "check:filter", "name=1", "load", "spikes", "rin",
                   "state"},
       .status = 1,
       .err = Message("Floating point division by zero"),
       .state = {R"("lastIndex": 2, "acqTime": 0,)", R"("a": "1.00")", R"("filterCoef": 1,)",
                 Samples({"-70", "-70", "-70"}), R"("AcqTime": "0.00000")"}},
      {.name = "acqtime_zero_from_the_time_column",
       .setup = constant_time,
       .actions = {"--keep-going", "name=1", "load", "spikes", "rin", "state:brief"},
       .status = 1,
       .err =
           Message("Invalid floating point operation") + Message("Floating point division by zero"),
       .state = {R"("lastIndex": 19, "acqTime": 0,)", R"("spikes": {"count": 0,)",
                 R"("AcqTime": "0.00000")", R"("V": 3,)"}},
      // A text that reads as no number is set as typed, said, and read as 0.
      {.name = "field_texts_that_read_as_no_number",
       .actions = {"ISImax=", "NminSpikes= ", "dt_Vrest=1,5", "Vsilent=abc", "state:brief"},
       .err = "warning: ISImax: '' is not a number; it reads as 0\n"
              "warning: NminSpikes: ' ' is not a number; it reads as 0\n"
              "warning: dt_Vrest: '1,5' is not a number; it reads as 0\n"
              "warning: Vsilent: 'abc' is not a number; it reads as 0\n",
       .state = {R"("ISImax": "", "NminSpikes": " ", "tau": "0.30", "a": "0.80", )"
                 R"("dt_Vrest": "1,5", "step_V": " 5", "Vsilent": "abc",)"}},
      {.name = "analyse_that_reads_as_no_number_names_record_0",
       .setup = small,
       .actions = {"--keep-going", "name=rec", "Analyse=abc", "load", "state:brief"},
       .status = 1,
       .err = "warning: Analyse: 'abc' is not a number; it reads as 0\n" +
              Message("Record 0 does not exist: rec.wcp holds 2 records"),
       .state = {R"("Analyse": "abc")", R"("recordNo": 0,)"}},
  };
}

// "Spikes", "IID" and "Rin" on a trace that holds no sample refuse before anything else: no
// table is created or emptied, and the spike table and the name of the last "IID" stay.
std::vector<BadInputCase> NoRecordingCases() {
  const std::string no_recording = Message("No recording loaded");
  // A classic-fit file whose records are 128 pairs long: N - 1023 < 0 samples are loaded.
  const Files short_records = {{"short.wcp", FileOf(HeaderRecording(ClassicFitSetup(), 128, 0))}};
  Files spiking_and_short = short_records;
  spiking_and_short.emplace_back("rec.wcp", FileOf(SpikingRecording()));
  return {
      // The name box holds "1" at start: 1IID, 1Rin and the other tables stay as they were.
      {.name = "spikes_before_any_load",
       .actions = {"--keep-going", "spikes", "state:brief"},
       .status = 1,
       .err = no_recording,
       .state = {kNoRecord, kNoSpikes, R"("headerLabel": "",)"}},
      {.name = "iid_before_any_load",
       .actions = {"--keep-going", "iid", "state:brief"},
       .status = 1,
       .err = no_recording,
       .state = {R"("nameBox": "1", "recordingName": "", "resultBaseName": "", "headerLabel": "",)",
                 R"("ID": 0, "IID": 0})"}},
      {.name = "rin_before_any_load",
       .actions = {"--keep-going", "name=1", "rin", "state:brief"},
       .status = 1,
       .err = no_recording,
       .state = {R"("headerLabel": "",)"}},
      {.name = "every_command_before_any_load",
       .actions = {"--keep-going", "spikes", "iid", "rin", "stat"},
       .status = 1,
       .err = no_recording + no_recording + no_recording + Message("File not found: ID")},
      {.name = "spikes_after_a_missing_recording",
       .actions = {"--keep-going", "name=gone", "load", "spikes", "rin"},
       .status = 1,
       .err = NotFound("gone") + no_recording + no_recording},
      // A record that the classic loader reads no sample of (lastIndex -896) loads; the spikes of
      // the record before and the tables of its "IID" stay.
      {.name = "commands_on_a_classic_record_without_samples",
       .setup = spiking_and_short,
       .actions = {"--keep-going", "name=rec", "NminSpikes=2", "load", "spikes", "iid",
                   "name=short", "load", "spikes", "iid", "rin", "state:brief"},
       .status = 1,
       .err = no_recording + no_recording + no_recording,
       .after = SpikingTables("rec", 1, 1),
       .state = {R"("lastIndex": -896, "acqTime": 0.0625, "recordNo": 1,)",
                 R"("spikes": {"count": 3,)",
                 R"("nameBox": "short", "recordingName": "short", "resultBaseName": "rec",)"}},
      // A failed lookup of the record leaves no sample either.
      {.name = "commands_after_a_record_past_the_last",
       .setup = {{"rec.wcp", FileOf(SmallRecording())}},
       .actions = {"--keep-going", "name=rec", "Analyse=3", "load", "spikes", "iid", "rin"},
       .status = 1,
       .err = Message("Record 3 does not exist: rec.wcp holds 2 records") + no_recording +
              no_recording + no_recording},
  };
}

// "IID" on record 1, or with "rewrite", recreates the five tables; a later record appends to
// the tables that exist and creates each missing one with its header line.
std::vector<BadInputCase> IidTableCases() {
  const Files spiking = {{"rec.wcp", FileOf(SpikingRecording())}};
  // The tables "IID" and "ID" of record 1.
  Files spiking_and_two_tables = spiking;
  spiking_and_two_tables.emplace_back("recIID", SpikingTable("IID", 1, 1));
  spiking_and_two_tables.emplace_back("recID", SpikingTable("ID", 1, 1));
  return {
      // What the other cases change: record 1 writes every table with its header line.
      {.name = "iid_of_record_1_writes_the_tables_with_header_lines",
       .setup = spiking,
       .actions = {"name=rec", "NminSpikes=2", "load", "spikes", "iid", "state:brief"},
       .after = SpikingTables("rec", 1, 1),
       .state = {R"("spikes": {"count": 3,)", R"("resultBaseName": "rec",)",
                 R"("ID": 1, "IID": 1})"}},
      {.name = "iid_of_record_3_first_creates_the_tables_with_header_lines",
       .setup = spiking,
       .actions = {"name=rec", "NminSpikes=2", "Analyse=3", "load", "spikes", "iid", "state:brief"},
       .after = SpikingTables("rec", 3, 3),
       .state = {R"("recordNo": 3,)", R"("resultBaseName": "rec",)"}},
      // recIID and recID exist: record 2 appends to them; the other three it creates.
      {.name = "iid_of_record_2_appends_to_the_tables_there_and_creates_the_others",
       .setup = spiking_and_two_tables,
       .actions = {"name=rec", "NminSpikes=2", "Analyse=2", "load", "spikes", "iid"},
       .after = {{"recIID", SpikingTable("IID", 1, 2)},
                 {"recID", SpikingTable("ID", 1, 2)},
                 {"recmean", SpikingTable("mean", 2, 2)},
                 {"rec_sp", SpikingTable("_sp", 2, 2)},
                 {"rec_1sp", SpikingTable("_1sp", 2, 2)}}},
      // Every record through each-record: one header line a table, then the rows of each record.
      {.name = "iid_through_each_record_writes_one_header_line_a_table",
       .setup = spiking,
       .actions = {"name=rec", "NminSpikes=2", "load", "each-record"},
       .after = SpikingTables("rec", 1, 3)},
      // "rewrite" recreates the tables of record 2 without header lines, as before.
      {.name = "iid_of_record_2_with_rewrite_recreates_the_tables_without_header_lines",
       .setup = spiking_and_two_tables,
       .actions = {"name=rec", "NminSpikes=2", "Analyse=2", "check:rewrite", "load", "spikes",
                   "iid"},
       .after = {{"recIID", FileOf(SpikingRows("IID", 2))},
                 {"recmean", FileOf(SpikingRows("mean", 2))},
                 {"recID", FileOf(SpikingRows("ID", 2))},
                 {"rec_sp", FileOf(SpikingRows("_sp", 2))},
                 {"rec_1sp", FileOf(SpikingRows("_1sp", 2))}}},
  };
}

// ---------------------------------------------------------------------------------------------
// ABF files.

// Three sweeps of 8 samples at 50 us on two channels, the voltage first. Instrument scale
// 0.0625 with an ADC range of 8 V over 32768 counts makes 1/256 mV a count, exact in binary.
writer::AbfDescription AbfRecording(int major_version = 2) {
  writer::AbfDescription d;
  d.major_version = major_version;
  d.adc_range_v = 8;
  d.adc_resolution = 32768;
  d.channels = {{.name = "IN 0", .unit = "mV", .instrument_scale = 0.0625f},
                {.name = "IN 1", .unit = "pA", .instrument_scale = 0.0625f}};
  const std::vector<int16_t> current(8, 100);
  d.sweeps = {
      {.counts = {{-17920, -18176, -18432, 0, 5120, -17920, -17920, -17920}, current},
       .values = {}},
      {.counts = {std::vector<int16_t>(8, -15360), current}, .values = {}},
      {.counts = {std::vector<int16_t>(8, -12800), current}, .values = {}},
  };
  return d;
}
const std::vector<std::string> kAbfSweep1 = {"-70", "-71", "-72", "0", "20", "-70", "-70", "-70"};

std::string AbfBytes(const writer::AbfDescription& d = AbfRecording()) {
  return writer::AbfFileBytes(d);
}

// AbfBytes() with a T written at `offset`.
template <typename T>
std::string AbfPatched(int64_t offset, T value, const writer::AbfDescription& d = AbfRecording()) {
  std::string bytes = AbfBytes(d);
  writer::PatchAbf<T>(bytes, offset, value);
  return bytes;
}

// The ABF 2 section map entry of `section`, field `field`.
int64_t SectionField(int section, int64_t field) {
  return writer::abf2::SectionEntry(section) + field;
}

std::string Invalid(const std::string& problem) {
  return Message("Invalid ABF file rec.abf: " + problem);
}

std::vector<BadInputCase> AbfCases() {
  const writer::AbfLayout layout = writer::AbfLayoutOf(AbfRecording());
  const writer::AbfLayout layout1 = writer::AbfLayoutOf(AbfRecording(1));
  const int64_t protocol = layout.protocol_offset;
  const int64_t sweep_bytes = 8 * 2 * 2;
  auto abf = [](const std::string& bytes) { return Files{{"rec.abf", FileOf(bytes)}}; };
  auto cut = [](std::string bytes, int64_t size) {
    bytes.resize(static_cast<size_t>(size));
    return bytes;
  };
  const std::vector<std::string> load = {"--keep-going", "name=rec", "load", "state:brief"};
  writer::AbfDescription no_voltage = AbfRecording();
  no_voltage.channels[0].unit = "nA";
  writer::AbfDescription no_gain = AbfRecording();
  no_gain.channels[1].instrument_scale = 0;
  std::string text_after_abf2 = "ABF2" + TextTrace("0 0 -70\r\n1 0 -71\r\n");
  return {
      // What the other cases change: the sweeps are the records, the voltage channel analysed.
      {.name = "abf_found_by_its_extension",
       .setup = abf(AbfBytes()),
       .actions = {"name=rec", "load", "state"},
       .state = {Samples(kAbfSweep1),
                 R"("lastIndex": 7, "acqTime": 0.050000000000000003, "recordNo": 1, "nr": 3,)",
                 R"("headerLabel": "ABF 2.6.0.0, episodic stimulation: 3 sweeps at 0.05 ms; )"
                 R"x(channels: 1 IN 0 (mV) analysed, 2 IN 1 (pA)")x",
                 R"("CalibV": "0.0039062500")", R"("AcqTime": "0.05000", "NR": " 3")",
                 R"("recording": {"format": "abf", "file": "rec.abf", "version": "2.6.0.0", )"
                 R"("mode": "episodic stimulation", "layout": "", "records": 3,)"}},
      {.name = "abf1_found_by_its_extension",
       .setup = abf(AbfBytes(AbfRecording(1))),
       .actions = {"name=rec", "Analyse=3", "load", "state"},
       .state = {Samples(std::vector<std::string>(8, "-50")),
                 R"("headerLabel": "ABF 1.83, episodic stimulation: 3 sweeps at 0.05 ms; )"}},
      // ".wcp" comes before ".abf".
      {.name = "wcp_file_before_the_abf_file",
       .setup = {{"rec.wcp", FileOf(SmallRecording())}, {"rec.abf", FileOf(AbfBytes())}},
       .actions = {"name=rec", "load", "state:brief"},
       .state = {R"("lastIndex": 16,)", R"("file": "rec.wcp",)"}},
      {.name = "abf_cut_inside_its_header",
       .setup = abf(cut(AbfBytes(), 100)),
       .actions = load,
       .status = 1,
       .err = Invalid("the file ends inside its header")},
      {.name = "abf1_cut_inside_its_header",
       .setup = abf(cut(AbfBytes(AbfRecording(1)), 1000)),
       .actions = load,
       .status = 1,
       .err = Invalid("the file ends inside its header")},
      // Version 1.6 and later: the header runs on to the telegraph fields.
      {.name = "abf1_cut_before_its_telegraph_fields",
       .setup = abf(cut(AbfBytes(AbfRecording(1)), 3000)),
       .actions = load,
       .status = 1,
       .err = Invalid("the file ends inside its header")},
      // Sweep 3 is cut: the file holds two sweeps.
      {.name = "abf_cut_inside_the_data",
       .setup = abf(cut(AbfBytes(), layout.data_offset + 2 * sweep_bytes + 10)),
       .actions = {"--keep-going", "name=rec", "Analyse=2", "load", "state:brief", "Analyse=3",
                   "load", "state:brief"},
       .status = 1,
       .err = Message("Record 3 does not exist: rec.abf holds 2 records"),
       .state = {R"("lastIndex": 7, "acqTime": 0.050000000000000003, "recordNo": 2, "nr": 2,)",
                 R"("lastIndex": -1, "acqTime": 0.050000000000000003, "recordNo": 3, "nr": 2,)",
                 kNoSpikes}},
      {.name = "abf1_cut_inside_the_first_sweep",
       .setup = abf(cut(AbfBytes(AbfRecording(1)), layout1.data_offset + 6)),
       .actions = load,
       .status = 1,
       .err = Message("Record 1 does not exist: rec.abf holds 0 records"),
       .state = {kNoRecord}},
      // The data section ends where the file ends: it holds no byte of the first sample.
      {.name = "abf_cut_at_its_data",
       .setup = abf(cut(AbfBytes(), layout.data_offset)),
       .actions = load,
       .status = 1,
       .err = Invalid("the data section lies past the end of the file")},
      // Not an ABF signature: the file is a text trace, read as such.
      {.name = "abf3_signature_is_a_text_trace",
       .setup = abf("ABF3" + TextTrace("0 0 -70\r\n1 0 -71\r\n")),
       .actions = {"name=rec", "load", "state"},
       .state = {Samples({"-70", "-71"}), R"("recording": {"format": "text", "file": "rec.abf",)"}},
      {.name = "lower_case_signature_is_a_text_trace",
       .setup = abf("abf2" + TextTrace("0 0 -70\r\n1 0 abc\r\n")),
       .actions = {"name=rec", "load"},
       .status = 1,
       .err = Message("Invalid numeric input: rec.abf")},
      // An ABF signature makes the file ABF, whatever follows.
      {.name = "abf2_signature_on_a_text_trace",
       .setup = abf(text_after_abf2),
       .actions = load,
       .status = 1,
       .err = Invalid("the file ends inside its header")},
      {.name = "abf_protocol_section_past_the_end",
       .setup = abf(AbfPatched<uint32_t>(SectionField(0, writer::abf2::kSectionBlock), 1000)),
       .actions = load,
       .status = 1,
       .err = Invalid("the protocol section lies past the end of the file")},
      {.name = "abf_adc_section_past_the_end",
       .setup = abf(AbfPatched<uint32_t>(SectionField(1, writer::abf2::kSectionBlock), 1000)),
       .actions = load,
       .status = 1,
       .err = Invalid("the ADC section lies past the end of the file")},
      {.name = "abf_strings_section_past_the_end",
       .setup = abf(AbfPatched<uint32_t>(SectionField(9, writer::abf2::kSectionBlock), 1000)),
       .actions = load,
       .status = 1,
       .err = Invalid("the strings section lies past the end of the file")},
      {.name = "abf_data_section_past_the_end",
       .setup = abf(AbfPatched<uint32_t>(SectionField(10, writer::abf2::kSectionBlock), 1000)),
       .actions = load,
       .status = 1,
       .err = Invalid("the data section lies past the end of the file")},
      {.name = "abf1_data_section_past_the_end",
       .setup = abf(AbfPatched<int32_t>(writer::abf1::kDataBlock, 1000, AbfRecording(1))),
       .actions = load,
       .status = 1,
       .err = Invalid("the data section lies past the end of the file")},
      {.name = "abf_without_channels",
       .setup = abf(AbfPatched<int64_t>(SectionField(1, writer::abf2::kSectionEntries), 0)),
       .actions = load,
       .status = 1,
       .err = Invalid("it has no channels")},
      {.name = "abf1_without_channels",
       .setup = abf(AbfPatched<int16_t>(writer::abf1::kChannelCount, 0, AbfRecording(1))),
       .actions = load,
       .status = 1,
       .err = Invalid("it has no channels")},
      // Counts far beyond the file: the records are those that lie wholly in it.
      {.name = "abf_data_entries_beyond_the_file",
       .setup =
           abf(AbfPatched<int64_t>(SectionField(10, writer::abf2::kSectionEntries), INT64_MAX)),
       .actions = {"--keep-going", "name=rec", "Analyse=3", "load", "state:brief", "Analyse=4",
                   "load"},
       .status = 1,
       .err = Message("Record 4 does not exist: rec.abf holds 3 records"),
       .state = {R"("lastIndex": 7, "acqTime": 0.050000000000000003, "recordNo": 3, "nr": 3,)"}},
      {.name = "abf_sweep_count_beyond_the_file",
       .setup = abf(AbfPatched<uint32_t>(writer::abf2::kEpisodes, UINT32_MAX)),
       .actions = {"--keep-going", "name=rec", "Analyse=4", "load", "state:brief"},
       .status = 1,
       .err = Message("Record 4 does not exist: rec.abf holds 3 records"),
       .state = {R"("NR": " 3")"}},
      // 2^31 - 2 samples per episode: one sweep would be 2^30 - 1 frames, more than the file.
      {.name = "abf_samples_per_episode_beyond_the_file",
       .setup =
           abf(AbfPatched<int32_t>(protocol + writer::abf2::kSamplesPerEpisode, INT32_MAX - 1)),
       .actions = load,
       .status = 1,
       .err = Message("Record 1 does not exist: rec.abf holds 0 records")},
      {.name = "abf_samples_per_episode_not_a_multiple_of_the_channels",
       .setup = abf(AbfPatched<int32_t>(protocol + writer::abf2::kSamplesPerEpisode, INT32_MAX)),
       .actions = load,
       .status = 1,
       .err = Invalid("its samples per episode (2147483647) are not a positive multiple of its 2 "
                      "channels")},
      {.name = "abf_data_entries_negative",
       .setup = abf(AbfPatched<int64_t>(SectionField(10, writer::abf2::kSectionEntries), -1)),
       .actions = load,
       .status = 1,
       .err = Invalid("the data section has a negative size")},
      {.name = "abf1_acquisition_length_negative",
       .setup =
           abf(AbfPatched<int32_t>(writer::abf1::kAcquisitionLength, INT32_MIN, AbfRecording(1))),
       .actions = load,
       .status = 1,
       .err = Invalid("the data section has a negative size")},
      {.name = "abf1_sweep_count_negative",
       .setup = abf(AbfPatched<int32_t>(writer::abf1::kEpisodes, -1, AbfRecording(1))),
       .actions = load,
       .status = 1,
       .err = Invalid("its number of sweeps is negative")},
      {.name = "abf_operation_mode_unknown",
       .setup = abf(AbfPatched<int16_t>(protocol + writer::abf2::kOperationMode, 9)),
       .actions = load,
       .status = 1,
       .err = Invalid("its operation mode 9 is unknown")},
      {.name = "abf_sample_interval_zero",
       .setup = abf(AbfPatched<float>(protocol + writer::abf2::kInterval, 0)),
       .actions = load,
       .status = 1,
       .err = Invalid("its sample interval is not a positive number")},
      {.name = "abf_gains_of_a_channel_multiply_to_zero",
       .setup = abf(AbfBytes(no_gain)),
       .actions = load,
       .status = 1,
       .err = Invalid("the gains of channel 2 multiply to 0")},
      {.name = "abf_channel_beyond_the_channel_count",
       .setup = abf(AbfBytes()),
       .actions = {"--keep-going", "name=rec", "load", "Channel=3", "load", "state:brief"},
       .status = 1,
       .err = Message("Channel 3 does not exist: rec.abf has 2 channels"),
       .state = {kNoRecord, kNoSpikes}},
      {.name = "abf1_channel_beyond_the_channel_count",
       .setup = abf(AbfBytes(AbfRecording(1))),
       .actions = {"--keep-going", "Channel=5", "name=rec", "load", "state:brief"},
       .status = 1,
       .err = Message("Channel 5 does not exist: rec.abf has 2 channels"),
       .state = {kNoRecord, kNoSpikes}},
      // Channel 2 asked for: the current is analysed, in its own units.
      {.name = "abf_channel_field_picks_the_current",
       .setup = abf(AbfBytes()),
       .actions = {"Channel=2", "name=rec", "load", "state"},
       .state = {Samples(std::vector<std::string>(8, "0.390625")),
                 R"("analysedChannel": 2, "voltageChannelFound": false,)"}},
      {.name = "abf_without_a_voltage_channel",
       .setup = abf(AbfBytes(no_voltage)),
       .actions = {"name=rec", "load", "state:brief"},
       .state = {R"(channels: 1 IN 0 (nA) analysed, 2 IN 1 (pA); no voltage channel found")",
                 R"("analysedChannel": 1, "voltageChannelFound": false,)"}},
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

  // Quiet: standard error holds the warnings and errors alone (the status lines of the
  // handlers that succeed are tested with the batch runner).
  ProgramResult Run(std::vector<std::string> args) {
    args.insert(args.begin(), "--quiet");
    const std::string& dir = GetParam().dir;
    return testing::RunBatchProgram(dir.empty() ? folder_ : folder_ / dir, args, root_ / "stderr");
  }

  // `text` with kFolderMark replaced by the case's folder.
  std::string WithFolder(std::string text) const {
    for (size_t at = text.find(kFolderMark); at != std::string::npos;
         at = text.find(kFolderMark, at)) {
      text.replace(at, kFolderMark.size(), folder_.string());
      at += folder_.string().size();
    }
    return text;
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
  EXPECT_EQ(result.err, WithFolder(c.err));
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
INSTANTIATE_TEST_SUITE_P(Lookup, BadInputTest, ::testing::ValuesIn(LookupCases()), CaseName);
INSTANTIATE_TEST_SUITE_P(Header, BadInputTest, ::testing::ValuesIn(HeaderCases()), CaseName);
INSTANTIATE_TEST_SUITE_P(HeaderLayout, BadInputTest, ::testing::ValuesIn(HeaderLayoutCases()),
                         CaseName);
INSTANTIATE_TEST_SUITE_P(RecordNumber, BadInputTest, ::testing::ValuesIn(RecordNumberCases()),
                         CaseName);
INSTANTIATE_TEST_SUITE_P(TextTrace, BadInputTest, ::testing::ValuesIn(TextTraceCases()), CaseName);
INSTANTIATE_TEST_SUITE_P(Place, BadInputTest, ::testing::ValuesIn(PlaceCases()), CaseName);
INSTANTIATE_TEST_SUITE_P(Stat, BadInputTest, ::testing::ValuesIn(StatCases()), CaseName);
INSTANTIATE_TEST_SUITE_P(Field, BadInputTest, ::testing::ValuesIn(FieldCases()), CaseName);
INSTANTIATE_TEST_SUITE_P(NoRecording, BadInputTest, ::testing::ValuesIn(NoRecordingCases()),
                         CaseName);
INSTANTIATE_TEST_SUITE_P(IidTables, BadInputTest, ::testing::ValuesIn(IidTableCases()), CaseName);
INSTANTIATE_TEST_SUITE_P(Abf, BadInputTest, ::testing::ValuesIn(AbfCases()), CaseName);

}  // namespace
}  // namespace ictalscope
