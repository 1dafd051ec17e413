// Runs the ictalscope-batch program on recordings written for the test and compares what it
// prints and the files it writes.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "batch_program.h"
#include "support/scratch_directory.h"
#include "writer/recording_writer.h"

namespace ictalscope {
namespace {

namespace fs = std::filesystem;

using testing::ProgramResult;

class BatchEndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("ictalscope_e2e_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Standard error goes through a file beside the folder, so that it never lists there.
  ProgramResult Run(const std::vector<std::string>& actions) {
    return testing::RunBatchProgram(dir_, actions, dir_.string() + ".stderr");
  }

  std::string File(const std::string& name) const { return testing::ReadFile(dir_ / name); }

  // A two-record recording of the classic rig at 0.0625 ms whose records load 17 samples each
  // (65 ms, N = 1040).
  void WriteSmallRecording() {
    writer::WcpHeader header;
    header.nbd = 8.125;
    header.nr = 2;
    writer::WcpRecord first;
    first.ch0.assign(1040, 0);
    const std::vector<int16_t> counts = {0, 100, 200, -21299, 6554, -22937, 1000, -1000, 32767};
    std::copy(counts.begin(), counts.end(), first.ch0.begin());
    writer::WcpRecord second;
    second.ch0.assign(1040, 1000);
    writer::WriteWcpFile((dir_ / "rec.wcp").string(), writer::WcpHeaderText(header),
                         {first, second});
  }

  fs::path dir_;
};

TEST_F(BatchEndToEndTest, LoadsARecordShowsItsHeaderAndDumpsTheDrawnSamples) {
  WriteSmallRecording();
  const ProgramResult result = Run({"name=rec", "step_V=1", "check:vdat", "load", "state:brief"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "load: rec.wcp record 1 of 2, 17 samples at 0.0625 ms (classic layout)\n");
  for (const char* part :
       {R"("Duration": "65.00")", R"("AcqTime": "0.06250")", R"("NR": " 2")",
        R"("CalibV": "0.0030518509")", R"("CalibI": "0.6103701895")", R"("YG0": "0.0001000000")",
        R"("recordingName": "rec")",
        R"("headerLabel": "WCP 9, classic layout: 2 records at 0.0625 ms; channels: 1 Vm (mV) )"
        R"(analysed, 2 Im (pA)\r\nVER=9\r\n)",
        R"("trace": {"lastIndex": 16, "acqTime": 0.0625, "recordNo": 1, "nr": 2, "v": 17})",
        R"("plotStep": 1)", R"("V": 14, "I": 0)",
        R"("recording": {"format": "wcp", "file": "rec.wcp", "version": "9", "mode": "", )"
        R"("layout": "classic", "records": 2, "channels": [{"name": "Vm", "unit": "mV"}, )"
        R"({"name": "Im", "unit": "pA"}], "analysedChannel": 1, "voltageChannelFound": true, )"
        R"("samplingIntervalMs": 0.0625, "record": 1})"}) {
    EXPECT_NE(result.out.find(part), std::string::npos) << part << "\n" << result.out;
  }
  // Sample k at k * 0.0625 / 1000 s, 6 decimals rounded half away from zero.
  EXPECT_EQ(File("V.dat"),
            "0.000188 -65.00\r\n0.000250 20.00\r\n0.000313 -70.00\r\n"
            "0.000375 3.05\r\n0.000438 -3.05\r\n0.000500 100.00\r\n"
            "0.000563 0.00\r\n0.000625 0.00\r\n0.000688 0.00\r\n0.000750 0.00\r\n"
            "0.000813 0.00\r\n0.000875 0.00\r\n0.000938 0.00\r\n0.001000 0.00\r\n");
}

TEST_F(BatchEndToEndTest, ReadsTheRequestedRecordAndRefusesOnePastTheLast) {
  WriteSmallRecording();
  const ProgramResult second = Run({"name=rec", "Analyse=2", "load", "state"});
  ASSERT_EQ(second.status, 0) << second.err;
  EXPECT_NE(second.out.find(R"("recordNo": 2)"), std::string::npos);
  // 1000 counts at 0.01 / 3.2767 mV a count, both products rounded to 64 then 53 bits.
  EXPECT_NE(second.out.find(R"("v": [3.0518509475997191, 3.0518509475997191)"), std::string::npos)
      << second.out.substr(0, 2000);

  const ProgramResult past = Run({"--keep-going", "name=rec", "Analyse=3", "load", "state"});
  EXPECT_EQ(past.status, 1);
  EXPECT_EQ(past.err, "error: Record 3 does not exist: rec.wcp holds 2 records\n");
  EXPECT_NE(past.out.find(R"("lastIndex": -1, "acqTime": 0.0625, "recordNo": 3, "nr": 2, "v": [])"),
            std::string::npos)
      << past.out.substr(0, 2000);
}

// A name that matches no file is reported, and the trace of the recording loaded before is
// dropped: no analysis runs on it under the new name.
TEST_F(BatchEndToEndTest, ReportsAMissingRecordingAndLeavesNoRecord) {
  WriteSmallRecording();
  const ProgramResult result =
      Run({"--keep-going", "name=rec", "load", "name=nothing", "load", "iid", "state:brief"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err,
            "load: rec.wcp record 1 of 2, 17 samples at 0.0625 ms (classic layout)\n"
            "error: File not found: nothing (nor nothing.wcp, nothing.abf)\n"
            "error: No recording loaded\n");
  EXPECT_NE(result.out.find(R"("recordingName": "nothing")"), std::string::npos);
  EXPECT_NE(result.out.find(R"("lastIndex": -1,)"), std::string::npos);
  EXPECT_NE(result.out.find(R"("V": 0)"), std::string::npos);
  EXPECT_NE(result.out.find(R"("recording": null)"), std::string::npos);
  EXPECT_NE(result.out.find(R"("spikes": {"count": 0,)"), std::string::npos);
}

TEST_F(BatchEndToEndTest, ReportsAFailingLoadAndKeepsWhatItDid) {
  writer::WcpHeader header;
  header.extra = {{"AD", "10,5"}};
  writer::WriteWcpFile((dir_ / "bad.wcp").string(), writer::WcpHeaderText(header), {});
  const ProgramResult result = Run({"--keep-going", "name=bad", "load", "state:brief"});
  EXPECT_EQ(result.status, 1);
  // A second "AD=" appends to the value of the first one.
  EXPECT_EQ(result.err, "error: '1010,5' is not a valid floating point value\n");
  // The header's own AD= came first and was applied.
  EXPECT_NE(result.out.find(R"("AD": "10.00")"), std::string::npos);
}

TEST_F(BatchEndToEndTest, NamesTheNulCharactersOfAShortFileInTheMessage) {
  testing::WriteFile((dir_ / "short.wcp").string(), "NC=2\r\nNBD=64\r\nDT=6.25E-5\r\nAD=5");
  const ProgramResult result = Run({"name=short", "load"});
  EXPECT_EQ(result.status, 1);
  // The value runs on through the NUL characters that stand for the missing bytes, up to the
  // 11 characters that "AD=" takes.
  EXPECT_EQ(result.err,
            "error: '5" + std::string(10, '\0') + "' is not a valid floating point value\n");
}

// A text trace of exact binary values: flat at -70 mV, spikes that rise by 10 mV a sample to
// +20 mV and fall by 1.125 mV a sample back to -70 mV (0.0625 ms a sample, 500 ms).
void WriteSpikeTrace(const fs::path& path, const std::vector<int>& onsets) {
  std::vector<double> v(8000, -70);
  for (int onset : onsets) {
    for (int r = 0; r <= 8; ++r) v[onset + r] = -60 + 10 * r;
    for (int m = 1; m <= 80; ++m) v[onset + 8 + m] = 20 - 1.125 * m;
  }
  std::vector<std::string> lines;
  char line[64];
  for (size_t k = 0; k < v.size(); ++k) {
    std::snprintf(line, sizeof line, "%.4f 0 %.3f", k * 0.0625, v[k]);
    lines.push_back(line);
  }
  writer::WriteTextTrace(path.string(), std::vector<std::string>(10, "header"), lines);
}

TEST_F(BatchEndToEndTest, TheUsualWorkWritesEveryTableByteForByte) {
  WriteSpikeTrace(dir_ / "trace", {1600, 2080, 2560});  // onsets at 100, 130 and 160 ms
  const ProgramResult result =
      Run({"name=trace", "NminSpikes=2", "load", "spikes", "iid", "Analyse=2", "reload", "spikes",
           "iid", "rin", "stat", "state:brief"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.out.find(R"("resultBaseName": "trace")"), std::string::npos);
  EXPECT_NE(result.out.find(R"("th": 3, " peak        ": 2, "V_min": 3, "ID": 1, "IID": 1)"),
            std::string::npos)
      << result.out;

  const std::string spike1 = " 1 -60.00 20.00 -70.00 -5.00 -70.00 10.00\r\n";
  const std::string spike2 = " 2 -60.00 20.00 -70.00 -5.00 -70.00 10.00\r\n";
  const std::string spike3 = " 3 -60.00 20.00 -70.00 -5.00 -70.00 10.00\r\n";
  const std::string spike_header = "tr nIID tsp,s nsp VT Vpeak Vrest Vr-Vsilent Vmin AHP\r\n";
  EXPECT_EQ(File("trace_1sp"), spike_header + "1 0 0.100000" + spike1 + "2 0 0.100000" + spike1);
  EXPECT_EQ(File("trace_sp"), spike_header + "1 0 0.100000" + spike1 + "1 1 0.130000" + spike2 +
                                  "2 0 0.100000" + spike1 + "2 1 0.130000" + spike2);
  EXPECT_EQ(File("traceIID"),
            "tr nIID nspIntra ISI tsp,s nsp VT Vpeak Vrest Vr-Vsilent Vmin AHP\r\n"
            "1 1 1 0.000 0.100000" +
                spike1 + "1 1 2 0.030 0.130000" + spike2 + "1 1 3 0.030 0.160000" + spike3 +
                "2 1 1 0.000 0.100000" + spike1 + "2 1 2 0.030 0.130000" + spike2 +
                "2 1 3 0.030 0.160000" + spike3);
  const std::string discharges =
      "tr nIID tIID,s ISImean,s Duration,s nspIntra\r\n"
      "1 1 0.100000 0.030 0.060 3\r\n"
      "2 1 0.100000 0.030 0.060 3\r\n";
  EXPECT_EQ(File("tracemean"), discharges);
  EXPECT_EQ(File("traceID"), discharges);
  // Record 2 is 300 s after record 1: from 0.1 s in one to 0.1 s in the next.
  EXPECT_EQ(File("traceIDm"),
            "N_ID InterIDm InterIDsem IntraIDm IntraIDsem Durm Dursem Nspm NSpsem Nsplast/Nsp1\r\n"
            "2 300.00 0.00 0.03 0.00 0.06 0.00 3.00 0.00 1.000\r\n"
            "N_ID InterID IntraID Dur Nsp\r\n"
            "1 300.00 0.03 0.06 3\r\n"
            "2 0.00 0.03 0.06 3\r\n");
  // 500 ms hold no complete step of the 10-s protocol; the recording itself is untouched.
  EXPECT_EQ(File("traceRin"), "n_step t Vrest V1 Rin\r\n");
  EXPECT_EQ(File("trace").substr(0, 7), "header\r");
}

TEST_F(BatchEndToEndTest, EachRecordRunsEveryRecordOfTheRecording) {
  fs::copy_file(fs::path(ICTALSCOPE_EXAMPLES_DIR) / "1.wcp", dir_ / "1.wcp");
  const ProgramResult result = Run({"name=1", "load", "each-record", "stat", "state:brief"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.out.find(R"("Analyse": "6", )"), std::string::npos);
  EXPECT_NE(result.out.find(R"("recordNo": 6)"), std::string::npos);
  // One header line and the first spike of each of the five records with spikes.
  const std::string first_spikes = File("1_1sp");
  EXPECT_EQ(std::count(first_spikes.begin(), first_spikes.end(), '\n'), 6) << first_spikes;
  for (const char* table : {"1IID", "1mean", "1ID", "1_sp", "1IDm"}) {
    EXPECT_TRUE(fs::exists(dir_ / table)) << table;
  }
  const std::string id = File("1ID");
  EXPECT_EQ(id.substr(0, id.find('\n') + 1), "tr nIID tIID,s ISImean,s Duration,s nspIntra\r\n");
  EXPECT_EQ(File("1IDm").substr(0, 6), "N_ID I");
}

}  // namespace
}  // namespace ictalscope
