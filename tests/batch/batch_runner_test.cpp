#include "batch/batch_runner.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

namespace ictalscope {
namespace {

namespace fs = std::filesystem;

struct BatchResult {
  int status;
  std::string out;
  std::string err;
};

class BatchRunnerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("ictalscope_batch_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    old_dir_ = fs::current_path();
  }
  void TearDown() override {
    fs::current_path(old_dir_);
    fs::remove_all(dir_);
  }

  BatchResult Run(std::vector<std::string> args) {
    args.insert(args.begin(), {"--dir", dir_.string()});
    std::ostringstream out, err;
    const int status = RunBatch(args, out, err);
    return {status, out.str(), err.str()};
  }

  fs::path dir_;
  fs::path old_dir_;
};

constexpr const char* kDefaultBriefState =
    R"({"panel": {"AD": "10.00", "YG0": "4.0000000000", "YG1": "4.0000000000", )"
    R"("CalibV": "4.0000000000", "CalibI": "4.0000000000", "AcqTime": "0.06250", "NR": "12", )"
    R"("Analyse": " 1", "Duration": "1.00", "StimHz": "0.20", "StimDelay": "1.0", )"
    R"("StimDuration": "1.0", "StimInterval": "0.2", "ISImax": "1000", "NminSpikes": "40", )"
    R"("tau": "0.30", "a": "0.80", "dt_Vrest": "50", "step_V": " 5", "Vsilent": "-65", )"
    R"("Channel": " 0"}, )"
    R"("checks": {"filter": false, "vdat": false, "stimulation": false, "rewrite": false, )"
    R"("time-through-traces": false, "read": false}, "nameBox": "1", "recordingName": "", )"
    R"("resultBaseName": "", "headerLabel": "", )"
    R"("trace": {"lastIndex": -1, "acqTime": 0, "recordNo": 0, "nr": 0, "v": 0}, )"
    R"("plotStep": 0, "filterCoef": 0, )"
    R"("stimTiming": {"intervalMs": 0, "delayMs": 0, "durationMs": 0}, )"
    R"("spikes": {"count": 0, "VT": [], "tsp": [], "Vpeak": [], "tpeak": [], "Vrest": [], )"
    R"("Vmin": [], "AHP": []}, )"
    R"("series": {"V": 0, "I": 0, "th": 0, " peak        ": 0, "V_min": 0, "ID": 0, "IID": 0}, )"
    R"("recording": null})"
    "\n";

TEST_F(BatchRunnerTest, PrintsTheStartStateExactly) {
  const BatchResult result = Run({"state:brief"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, kDefaultBriefState);
  EXPECT_EQ(result.err, "");
}

TEST_F(BatchRunnerTest, RefusesUnknownWordsBeforeRunningAnything) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{"state", "bogus"},
                                               {"state", "Foo=1"},
                                               {"state", "check:Filter"},
                                               {"state", "uncheck:nothing"},
                                               {"state", "pdf"},
                                               {"--verbose", "state"},
                                               {}}) {
    std::ostringstream out, err;
    EXPECT_EQ(RunBatch(args, out, err), 2);
    EXPECT_EQ(out.str(), "");
    EXPECT_NE(err.str().find("usage: ictalscope-batch"), std::string::npos);
  }
}

TEST_F(BatchRunnerTest, StopsAtTheFirstFailureUnlessToldToGoOn) {
  // No table "ID" in the folder: "stat" fails with the file layer's message.
  const BatchResult stop = Run({"stat", "name=2", "state:brief"});
  EXPECT_EQ(stop.status, 1);
  EXPECT_EQ(stop.err, "error: File not found: ID\n");
  EXPECT_EQ(stop.out, "");

  const BatchResult go_on = Run({"--keep-going", "stat", "name=2", "stat", "state:brief"});
  EXPECT_EQ(go_on.status, 1);
  EXPECT_EQ(go_on.err, "error: File not found: ID\nerror: File not found: ID\n");
  EXPECT_NE(go_on.out.find(R"("nameBox": "2")"), std::string::npos);
}

TEST_F(BatchRunnerTest, SetsTextsAsTypedAndRunsTheFieldHandlers) {
  const BatchResult result =
      Run({"name=rec 7", "ISImax=abc", "StimHz=4", "check:stimulation", "check:rewrite",
           "uncheck:rewrite", "tau=0.5", "Vsilent=", "state:brief"});
  EXPECT_EQ(result.status, 0) << result.err;
  // A text that is no number is set all the same, and said.
  // and the handlers that ran say what they did.
  EXPECT_EQ(result.err,
            "warning: ISImax: 'abc' is not a number; it reads as 0\n"
            "stimulation: every 250.0 ms from 1.0 ms, 1.0 ms blanked\n"
            "tau: a = 1.00\n"
            "warning: Vsilent: '' is not a number; it reads as 0\n");
  EXPECT_NE(result.out.find(R"("nameBox": "rec 7")"), std::string::npos);
  EXPECT_NE(result.out.find(R"("ISImax": "abc")"), std::string::npos);
  // Ticking "Stimulation" refreshed the timing: 1000 / 4 Hz.
  EXPECT_NE(result.out.find(R"("StimInterval": "250.0")"), std::string::npos);
  EXPECT_NE(result.out.find(R"("intervalMs": 250, "delayMs": 1, "durationMs": 1)"),
            std::string::npos);
  EXPECT_NE(result.out.find(R"("rewrite": false)"), std::string::npos);
  // The tau handler ran with no trace loaded yet: exp(-0 / 0.5) = 1.
  EXPECT_NE(result.out.find(R"("a": "1.00")"), std::string::npos);
  EXPECT_NE(result.out.find(R"("filterCoef": 1)"), std::string::npos);
}

TEST_F(BatchRunnerTest, ReportsAZeroTauAtTheKeystroke) {
  const BatchResult result = Run({"tau=0", "state:brief"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "error: Invalid floating point operation\n");
}

TEST_F(BatchRunnerTest, ReportsAMissingDirectory) {
  std::ostringstream out, err;
  EXPECT_EQ(RunBatch({"--dir", (dir_ / "missing").string(), "state"}, out, err), 1);
  EXPECT_EQ(err.str(), "error: File not found: " + (dir_ / "missing").string() + "\n");
  EXPECT_EQ(out.str(), "");
}

}  // namespace
}  // namespace ictalscope
