// Runs the ictalscope-batch program on ABF files: a real current-clamp recording through load,
// spikes, IID and each-record, and a written file through "two traces".
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "batch_program.h"
#include "support/scratch_directory.h"
#include "writer/abf_writer.h"

namespace ictalscope {
namespace {

namespace fs = std::filesystem;

using testing::ProgramResult;

// The numbers of the JSON list that follows `"key": [` (the first such key from `from`).
std::vector<double> ListAfter(const std::string& json, const std::string& key, size_t from = 0) {
  std::vector<double> values;
  const std::string start = "\"" + key + "\": [";
  size_t at = json.find(start, from);
  if (at == std::string::npos) return values;
  at += start.size();
  const char* p = json.c_str() + at;
  while (*p != ']' && *p != '\0') {
    char* end = nullptr;
    values.push_back(std::strtod(p, &end));
    if (end == p) break;
    p = end;
    while (*p == ',' || *p == ' ') ++p;
  }
  return values;
}

// The number after `"key": ` (the first such key from `from`).
double NumberAfter(const std::string& json, const std::string& key, size_t from = 0) {
  const std::string start = "\"" + key + "\": ";
  const size_t at = json.find(start, from);
  if (at == std::string::npos) return NAN;
  return std::strtod(json.c_str() + at + start.size(), nullptr);
}

// The [x, y] points of series "V".
std::vector<std::pair<double, double>> VPoints(const std::string& json) {
  std::vector<std::pair<double, double>> points;
  const std::string start = "\"series\": {\"V\": [";
  size_t at = json.find(start);
  if (at == std::string::npos) return points;
  const char* p = json.c_str() + at + start.size();
  while (*p == '[') {
    char* end = nullptr;
    const double x = std::strtod(p + 1, &end);
    const double y = std::strtod(end + 1, &end);
    points.emplace_back(x, y);
    p = end + 1;  // past "]"
    while (*p == ',' || *p == ' ') ++p;
  }
  return points;
}

// The rows of a table file, split into their blank-separated cells; the header line first.
std::vector<std::vector<std::string>> Rows(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::stringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::stringstream cells(line);
    std::vector<std::string>& row = rows.emplace_back();
    for (std::string cell; cells >> cell;) row.push_back(cell);
  }
  return rows;
}

// Upward crossings of `level` (ms): where a spike from a resting cell passes it.
std::vector<double> UpwardCrossingsMs(const std::vector<double>& v, double level, double acq_ms) {
  std::vector<double> times;
  for (size_t k = 1; k < v.size(); ++k) {
    if (v[k - 1] < level && v[k] >= level) times.push_back(k * acq_ms);
  }
  return times;
}

constexpr const char* kBase = "pyabf_File_axon_3";
const std::string kSpikeHeader = "tr nIID tsp,s nsp VT Vpeak Vrest Vr-Vsilent Vmin AHP\r\n";
const std::string kDischargeSpikeHeader =
    "tr nIID nspIntra ISI tsp,s nsp VT Vpeak Vrest Vr-Vsilent Vmin AHP\r\n";
const std::string kDischargeHeader = "tr nIID tIID,s ISImean,s Duration,s nspIntra\r\n";

class AbfEndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("ictalscope_abf_e2e_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  ProgramResult Run(const std::vector<std::string>& actions) {
    return testing::RunBatchProgram(dir_, actions, dir_.string() + ".stderr");
  }
  std::string File(const std::string& name) const { return testing::ReadFile(dir_ / name); }

  void CopyRealFile() {
    fs::copy_file(fs::path(ICTALSCOPE_REAL_DATA_DIR) / (std::string(kBase) + ".abf"),
                  dir_ / (std::string(kBase) + ".abf"));
  }

  // The voltage of a sweep as the program loads it, and its interval.
  std::vector<double> SweepVoltage(int sweep, double& acq_ms) {
    const ProgramResult result =
        Run({std::string("name=") + kBase, "Analyse=" + std::to_string(sweep), "load", "state"});
    EXPECT_EQ(result.status, 0) << result.err;
    acq_ms = NumberAfter(result.out, "acqTime");
    return ListAfter(result.out, "v");
  }

  fs::path dir_;
};

// Sweep 1 of the real file: the voltage is channel 2 (mV; channel 1 is the stimulus in V).
// Its spikes rise from about -50 mV; each upward crossing of -20 mV must lie between the onset
// and the peak of a spike of the table. The detector settles a spike only when the next one
// begins, so the last one of the record may be an event that never reached -20 mV.
TEST_F(AbfEndToEndTest, FindsTheSpikesOfTheRealSweepAndWritesTheTables) {
  CopyRealFile();
  double acq_ms = 0;
  const std::vector<double> v = SweepVoltage(1, acq_ms);
  ASSERT_EQ(v.size(), 20644u);
  EXPECT_EQ(acq_ms, 0.05);
  const std::vector<double> crossings = UpwardCrossingsMs(v, -20, acq_ms);
  ASSERT_GE(crossings.size(), 2u) << "sweep 1 shows too few spikes for the tables";

  const ProgramResult result =
      Run({std::string("name=") + kBase, "load", "spikes", "iid", "state:brief"});
  ASSERT_EQ(result.status, 0) << result.err;
  // Each handler says what it did; the tables are named after the name typed.
  EXPECT_EQ(result.err.substr(0, result.err.find('\n')),
            "load: " + std::string(kBase) +
                ".abf record 1 of 5, 20644 samples at 0.05 ms (ABF 1.83, episodic "
                "stimulation)");
  EXPECT_NE(result.err.find("\nspikes: "), std::string::npos);
  EXPECT_NE(result.err.find("\niid: 1 discharge, 0 of them ID; rows written: "), std::string::npos);
  const std::string& out = result.out;
  for (const char* part : {
           R"("recording": {"format": "abf", "file": "pyabf_File_axon_3.abf", "version": "1.83", )"
           R"("mode": "episodic stimulation", "layout": "", "records": 5, "channels": )"
           R"([{"name": "stim", "unit": "V"}, {"name": "VmRK", "unit": "mV"}], )"
           R"("analysedChannel": 2, "voltageChannelFound": true, )"
           R"("samplingIntervalMs": 0.050000000000000003, "record": 1})",
           R"("headerLabel": "ABF 1.83, episodic stimulation: 5 sweeps at 0.05 ms; channels: )"
           R"(1 stim (V), 2 VmRK (mV) analysed")",
           R"("trace": {"lastIndex": 20643, "acqTime": 0.050000000000000003, "recordNo": 1, )"
           R"("nr": 5, "v": 20644})",
           // 20644 samples of 0.05 ms; no channel is a current, so CalibI is 0.
           R"("AcqTime": "0.05000", "NR": " 5", "Analyse": " 1", "Duration": "1032.20")",
           R"("CalibI": "0.0000000000")",
       }) {
    EXPECT_NE(out.find(part), std::string::npos) << part << "\n" << out.substr(0, 3000);
  }
  // CalibV is the mV of one count: every sample (no offsets here) is a whole number of them.
  const double calib_v = std::strtod(out.c_str() + out.find("\"CalibV\": \"") + 11, nullptr);
  ASSERT_GT(calib_v, 0);
  for (size_t k = 0; k < v.size(); ++k) {
    ASSERT_NEAR(v[k] / calib_v, std::round(v[k] / calib_v), 1e-6) << "sample " << k;
  }

  const size_t spikes_at = out.find("\"spikes\": ");
  const int count = static_cast<int>(NumberAfter(out, "count", spikes_at));
  const std::vector<double> tsp = ListAfter(out, "tsp", spikes_at);
  const std::vector<double> tpeak = ListAfter(out, "tpeak", spikes_at);
  ASSERT_EQ(tsp.size(), static_cast<size_t>(count));
  ASSERT_EQ(tpeak.size(), static_cast<size_t>(count));
  EXPECT_GE(count, static_cast<int>(crossings.size()));
  EXPECT_LE(count, static_cast<int>(crossings.size()) + 1);
  std::set<int> matched;
  for (double t : crossings) {
    int spike = -1;
    for (int i = 0; i < count; ++i) {
      if (tsp[i] <= t && t <= tpeak[i]) spike = i;
    }
    EXPECT_GE(spike, 0) << "no spike around the crossing at " << t << " ms";
    matched.insert(spike);
  }
  EXPECT_EQ(matched.size(), crossings.size()) << "two crossings in one spike";

  // The tables: "_1sp" the first spike, "_sp" every spike but the last (which is settled by
  // none), and, the spikes lying less than ISImax (1000 ms) apart and after 10 ms, one
  // discharge of them all in "IID" and "mean"; "ID" only lists discharges of more than
  // NminSpikes (40) spikes.
  ASSERT_GT(tsp.front(), 10);
  for (int i = 1; i < count; ++i) ASSERT_LT(tsp[i] - tsp[i - 1], 1000);
  ASSERT_LE(count, 40);
  const std::string base = kBase;
  EXPECT_EQ(File(base + "_1sp").substr(0, kSpikeHeader.size()), kSpikeHeader);
  EXPECT_EQ(File(base + "_sp").substr(0, kSpikeHeader.size()), kSpikeHeader);
  EXPECT_EQ(File(base + "IID").substr(0, kDischargeSpikeHeader.size()), kDischargeSpikeHeader);
  EXPECT_EQ(File(base + "mean").substr(0, kDischargeHeader.size()), kDischargeHeader);
  EXPECT_EQ(File(base + "ID"), kDischargeHeader);

  const auto one_sp = Rows(File(base + "_1sp"));
  ASSERT_EQ(one_sp.size(), 2u);
  EXPECT_EQ(one_sp[1][0], "1");                               // tr
  EXPECT_EQ(one_sp[1][3], "1");                               // nsp
  EXPECT_NEAR(std::stod(one_sp[1][2]), tsp[0] / 1000, 5e-7);  // tsp,s with 6 decimals
  const auto sp = Rows(File(base + "_sp"));
  ASSERT_EQ(sp.size(), static_cast<size_t>(count));
  for (int i = 1; i < count; ++i) {
    EXPECT_EQ(sp[i][0], "1");
    EXPECT_EQ(sp[i][3], std::to_string(i));
    EXPECT_NEAR(std::stod(sp[i][2]), tsp[i - 1] / 1000, 5e-7);
  }
  const auto iid = Rows(File(base + "IID"));
  ASSERT_EQ(iid.size(), static_cast<size_t>(count) + 1);
  for (int i = 1; i <= count; ++i) {
    EXPECT_EQ(iid[i][0], "1");                // tr
    EXPECT_EQ(iid[i][1], "1");                // nIID
    EXPECT_EQ(iid[i][2], std::to_string(i));  // nspIntra
    EXPECT_EQ(iid[i][5], std::to_string(i));  // nsp
    EXPECT_NEAR(std::stod(iid[i][4]), tsp[i - 1] / 1000, 5e-7);
  }
  const auto mean = Rows(File(base + "mean"));
  ASSERT_EQ(mean.size(), 2u);
  EXPECT_EQ(mean[1][0], "1");
  EXPECT_NEAR(std::stod(mean[1][2]), tsp[0] / 1000, 5e-7);                     // tIID,s
  EXPECT_NEAR(std::stod(mean[1][4]), (tsp[count - 1] - tsp[0]) / 1000, 5e-4);  // 3 decimals
  EXPECT_EQ(mean[1][5], std::to_string(count));
}

// each-record loads and analyses sweeps 1 to 5; every sweep with two spikes or more gets its
// first spike in "_1sp" and its rows, tr = the sweep, in "_sp" and "IID", in sweep order.
TEST_F(AbfEndToEndTest, EachRecordAnalysesEverySweep) {
  CopyRealFile();
  std::vector<int> with_spikes;
  for (int sweep = 1; sweep <= 5; ++sweep) {
    double acq_ms = 0;
    if (UpwardCrossingsMs(SweepVoltage(sweep, acq_ms), -20, acq_ms).size() >= 2) {
      with_spikes.push_back(sweep);
    }
  }
  ASSERT_FALSE(with_spikes.empty());

  const ProgramResult result =
      Run({std::string("name=") + kBase, "load", "each-record", "state:brief"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.out.find(R"("Analyse": "5", )"), std::string::npos);
  EXPECT_NE(result.out.find(R"("recordNo": 5, "nr": 5)"), std::string::npos);
  EXPECT_NE(result.out.find(R"("record": 5})"), std::string::npos);

  const std::string base = kBase;
  std::vector<int> first_spike_sweeps;
  for (const auto& row : Rows(File(base + "_1sp"))) {
    if (row[0] != "tr") first_spike_sweeps.push_back(std::stoi(row[0]));
  }
  EXPECT_EQ(first_spike_sweeps, with_spikes);
  for (const char* table : {"_sp", "IID"}) {
    SCOPED_TRACE(table);
    const auto rows = Rows(File(base + table));
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows[0][0], "tr");
    std::vector<int> sweeps;
    for (size_t i = 1; i < rows.size(); ++i) {
      const int tr = std::stoi(rows[i][0]);
      if (sweeps.empty() || sweeps.back() != tr) sweeps.push_back(tr);
    }
    EXPECT_EQ(sweeps, with_spikes);
  }
}

// "two traces" reads the sweep after Analyse and draws it 300 s to the right of the loaded
// one; after the last sweep there is none. Sweep s holds counts 1000 s + k of 10/32768/0.01 mV.
TEST_F(AbfEndToEndTest, TwoTracesDrawsTheNextSweepAt300Seconds) {
  writer::AbfDescription d;
  d.channels = {{.name = "IN 0", .unit = "mV", .instrument_scale = 0.01f}};
  for (int s = 1; s <= 3; ++s) {
    writer::AbfSweep& sweep = d.sweeps.emplace_back();
    sweep.counts.emplace_back();
    for (int k = 0; k < 40; ++k) sweep.counts[0].push_back(static_cast<int16_t>(1000 * s + k));
  }
  writer::WriteAbfFile((dir_ / "rec.abf").string(), d);
  auto mv = [](int sweep, double k) { return (1000 * sweep + k) * 10 / 32768 / 0.01; };
  const double acq_ms = 0.05;

  const ProgramResult result = Run({"name=rec", "Analyse=1", "load", "two-traces", "state"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.out.find(R"("recordNo": 2, "nr": 3, "v": [)"), std::string::npos);
  size_t first = 0, second = 0;
  for (const auto& [x, y] : VPoints(result.out)) {
    const bool next = x >= 300;
    const double k = std::round(((next ? x - 300 : x) * 1000) / acq_ms);
    EXPECT_NEAR((next ? x - 300 : x) * 1000, k * acq_ms, 1e-9) << x;
    EXPECT_NEAR(y, mv(next ? 2 : 1, k), 1e-9) << x;
    ++(next ? second : first);
  }
  EXPECT_GT(first, 0u);
  EXPECT_EQ(second, first);  // the same samples of the next sweep

  const ProgramResult past =
      Run({"--keep-going", "name=rec", "Analyse=3", "load", "two-traces", "state:brief"});
  EXPECT_EQ(past.status, 1);
  EXPECT_EQ(past.err,
            "load: rec.abf record 3 of 3, 40 samples at 0.05 ms (ABF 2.6.0.0, episodic "
            "stimulation)\nerror: Record 4 does not exist: rec.abf holds 3 records\n");
  EXPECT_NE(past.out.find(R"("lastIndex": -1,)"), std::string::npos) << past.out.substr(0, 2000);
}

}  // namespace
}  // namespace ictalscope
