// Runs ictalscope-batch --recordings on small experiments of recordings written for the test
// and compares what it writes with single-recording runs, across failures, crashes, skipping,
// an interrupted run, the provenance and the summary.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "batch/experiment_provenance.h"
#include "batch/sha256.h"
#include "batch_program.h"
#include "support/scratch_directory.h"
#include "writer/abf_writer.h"
#include "writer/recording_writer.h"
#include "writer/wcp_setup_writer.h"

#if __has_include("ictalscope_build_info.h")
#include "ictalscope_build_info.h"
#endif

extern char** environ;

namespace ictalscope {
namespace {

namespace fs = std::filesystem;

using testing::ProgramResult;
using testing::Quoted;
using testing::ReadFile;
using testing::RunShellCommand;

// ---- Recordings ----

// The membrane voltage at `dt_ms` a sample: -65 mV with a spike at each time (its upstroke
// rising to +20 mV over 0.5 ms, repolarising to -72 mV over 1 ms, then recovering).
std::vector<double> SpikyMillivolts(int64_t samples, double dt_ms,
                                    const std::vector<double>& spikes_ms) {
  std::vector<double> mv(static_cast<size_t>(samples), -65.0);
  for (double onset : spikes_ms) {
    const int64_t first = static_cast<int64_t>(std::ceil(onset / dt_ms));
    for (int64_t k = std::max<int64_t>(0, first); k < samples; ++k) {
      const double s = k * dt_ms - onset;
      if (s > 30) break;
      double v;
      if (s < 0.5) {
        v = -65 + 85 * (1 - std::cos(M_PI * s / 0.5)) / 2;
      } else if (s < 1.5) {
        v = 20 - 92 * (1 - std::cos(M_PI * (s - 0.5))) / 2;
      } else {
        v = -65 - 7 * std::exp(-(s - 1.5) / 3);
      }
      mv[static_cast<size_t>(k)] += v + 65;
    }
  }
  return mv;
}

// `count` spikes `interval_ms` apart from `first_ms`.
std::vector<double> Train(double first_ms, int count, double interval_ms) {
  std::vector<double> times;
  for (int n = 0; n < count; ++n) times.push_back(first_ms + n * interval_ms);
  return times;
}

// A record of about 4 s (90 spikes): an ictal discharge of 45 spikes 12 ms apart, an
// interictal one of 3 spikes 30 ms apart and a second ictal one of 42 spikes, each more than
// ISImax (1 s) from the next, shifted by `shift_ms` (up to 40 ms, so that records differ).
std::vector<double> RecordSpikes(double shift_ms) {
  std::vector<double> times;
  for (const std::vector<double>& train :
       {Train(50 + shift_ms, 45, 12), Train(1600 + shift_ms, 3, 30),
        Train(2700 + shift_ms, 42, 12)}) {
    times.insert(times.end(), train.begin(), train.end());
  }
  return times;
}

// The classic rig: 16 kHz, records of 4 s (62,977 samples loaded).
void WriteClassicWcp(const fs::path& path, int records) {
  writer::WcpHeader header;
  header.nbd = 500;
  header.nr = records;
  std::vector<writer::WcpRecord> list;
  for (int r = 0; r < records; ++r) {
    writer::WcpRecord record;
    for (double v : SpikyMillivolts(64000, 0.0625, RecordSpikes(40.0 * r))) {
      record.ch0.push_back(writer::CountsForMillivolts(v, header));
    }
    list.push_back(std::move(record));
  }
  writer::WriteWcpFile(path.string(), writer::WcpHeaderText(header), list);
}

// Another set-up: two channels, current first, 10 kHz, read by its header.
void WriteSetUpWcp(const fs::path& path, int records) {
  writer::WcpSetup setup;
  setup.nbd = 320;  // 320 x 512 / 4 = 40,960 samples a channel
  const double mv_per_count = 10.0 / (32767 * 0.01);
  std::vector<writer::WcpSetupRecord> list;
  for (int r = 0; r < records; ++r) {
    writer::WcpSetupRecord record;
    record.samples.resize(2);
    for (double v : SpikyMillivolts(writer::WcpSetupSamples(setup), 0.1, RecordSpikes(25.0 * r))) {
      record.samples[1].push_back(static_cast<int16_t>(std::lround(v / mv_per_count)));
    }
    record.vmax = {10, 10};
    list.push_back(std::move(record));
  }
  testing::WriteFile(path.string(), writer::WcpSetupFileBytes(setup, list));
}

// ABF 2: episodic sweeps of float32 samples at 20 kHz, or one gap-free stream of int16 counts
// at 10 kHz holding `records` stretches of 5 s.
void WriteAbf(const fs::path& path, int records, bool gap_free) {
  writer::AbfDescription d;
  if (gap_free) {
    d.mode = writer::AbfMode::kGapFree;
    d.interval_us = 100;
    d.channels = {{.name = "IN 0", .unit = "mV", .instrument_scale = 0.01f}};
    writer::AbfSweep stream;
    stream.counts.resize(1);
    for (int r = 0; r < records; ++r) {
      for (double v : SpikyMillivolts(50000, 0.1, RecordSpikes(30.0 * r))) {
        stream.counts[0].push_back(static_cast<int16_t>(std::lround(v * 32768 * 0.01 / 10)));
      }
    }
    d.sweeps = {stream};
  } else {
    d.float_samples = true;
    d.channels = {{.name = "IN 0", .unit = "mV"}};
    for (int r = 0; r < records; ++r) {
      writer::AbfSweep sweep;
      const std::vector<double> mv = SpikyMillivolts(80000, 0.05, RecordSpikes(20.0 * r));
      sweep.values.emplace_back(mv.begin(), mv.end());
      d.sweeps.push_back(std::move(sweep));
    }
  }
  writer::WriteAbfFile(path.string(), d);
}

// A text trace (one record at 0.1 ms) in a file without extension.
void WriteTextTrace(const fs::path& path) {
  std::vector<std::string> header(10, "text trace written by the test");
  std::vector<std::string> lines;
  const std::vector<double> mv = SpikyMillivolts(40000, 0.1, RecordSpikes(0));
  for (size_t k = 0; k < mv.size(); ++k) {
    char line[64];
    std::snprintf(line, sizeof line, "%.1f 0 %.4f", k * 0.1, mv[k]);
    lines.push_back(line);
  }
  writer::WriteTextTrace(path.string(), header, lines);
}

// ---- Running the program ----

// The regular files below `folder` by relative path, with their contents.
std::map<std::string, std::string> FilesBelow(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) {
      files[entry.path().lexically_relative(folder).generic_string()] =
          ReadFile(entry.path().string());
    }
  }
  return files;
}

class ExperimentRunTest : public ::testing::Test {
 public:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("ictalscope_experiment_" + std::to_string(::getpid()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_ / "exp");
  }
  void TearDown() override { fs::remove_all(root_); }

  // The program in root_ with `args`.
  ProgramResult Run(const std::vector<std::string>& args) {
    std::string command = "cd " + Quoted(root_.string()) + " && " + Quoted(ICTALSCOPE_BATCH_EXE);
    for (const std::string& arg : args) command += " " + Quoted(arg);
    return RunShellCommand(std::move(command), root_.string() + ".stderr");
  }

  // An experiment run over exp/ into out/.
  ProgramResult RunExperiment(const std::vector<std::string>& options,
                              const std::vector<std::string>& actions) {
    std::vector<std::string> args = {"--recordings",  "exp/**/*.wcp", "exp/**/*.abf",
                                     "exp/**/trace*", "--out",        "out"};
    args.insert(args.end(), options.begin(), options.end());
    args.insert(args.end(), actions.begin(), actions.end());
    return Run(args);
  }

  fs::path Exp(const std::string& relative) {
    const fs::path path = root_ / "exp" / relative;
    fs::create_directories(path.parent_path());
    return path;
  }

  fs::path Out(const std::string& relative = "") const { return root_ / "out" / relative; }

  Provenance ProvenanceOf(const std::string& folder) {
    const std::optional<Provenance> provenance = ReadProvenance(Out(folder));
    EXPECT_TRUE(provenance.has_value()) << folder;
    return provenance.value_or(Provenance{});
  }

  fs::path root_;
};

const std::vector<std::string> kUsualWork = {"load", "each-record", "stat"};

// Each output folder holds exactly what a single run in a folder holding the recording writes,
// byte for byte, for every format and layout, in folders named after the recordings' places.
TEST_F(ExperimentRunTest, WritesWhatSingleRunsWriteForEveryFormat) {
  WriteClassicWcp(Exp("control/cellA/demo.wcp"), 2);
  WriteSetUpWcp(Exp("control/setup.wcp"), 2);
  WriteAbf(Exp("drug/episodic.abf"), 2, false);
  WriteAbf(Exp("drug/deep/er/gapfree.abf"), 1, true);
  WriteTextTrace(Exp("drug/trace1"));

  const ProgramResult run = RunExperiment({"-j", "2"}, kUsualWork);
  ASSERT_EQ(run.status, 0) << run.err;

  const std::map<std::string, std::string> folders = {
      {"control/cellA/demo.wcp", "control/cellA/demo"},
      {"control/setup.wcp", "control/setup"},
      {"drug/episodic.abf", "drug/episodic"},
      {"drug/deep/er/gapfree.abf", "drug/deep/er/gapfree"},
      {"drug/trace1", "drug/trace1"}};
  for (const auto& [recording, folder] : folders) {
    SCOPED_TRACE(recording);
    const fs::path single = root_ / "single" / folder;
    fs::create_directories(single);
    const fs::path copy = single / fs::path(recording).filename();
    fs::copy_file(root_ / "exp" / recording, copy);
    const std::string name = fs::path(recording).stem().string();
    const ProgramResult alone =
        Run({"--quiet", "--dir", single.string(), "name=" + name, "load", "each-record", "stat"});
    ASSERT_EQ(alone.status, 0) << alone.err;
    fs::remove(copy);

    std::map<std::string, std::string> written = FilesBelow(Out(folder));
    ASSERT_EQ(written.erase(kProvenanceFile), 1u);
    const std::map<std::string, std::string> expected = FilesBelow(single);
    EXPECT_EQ(written.size(), 6u);  // IID, mean, ID, _sp, _1sp, IDm
    EXPECT_EQ(written, expected);
  }
  // Nothing else under out/ but the summary.
  std::set<std::string> top;
  for (const auto& entry : fs::directory_iterator(Out())) {
    top.insert(entry.path().filename().string());
  }
  EXPECT_EQ(top, (std::set<std::string>{"control", "drug", "summary.csv"}));
}

// A recording that fails and one that crashes stop no other: the others are complete, the
// failed one has its folder with a provenance that says what failed, the crashed one leaves no
// folder, and the exit status is 1.
TEST_F(ExperimentRunTest, AFailingAndACrashingRecordingStopNoOther) {
  WriteClassicWcp(Exp("a.wcp"), 1);
  WriteClassicWcp(Exp("crash.wcp"), 1);
  WriteClassicWcp(Exp("z.wcp"), 1);
  testing::WriteFile(Exp("bad.abf").string(), "ABF2 this is no ABF file at all");

  const ProgramResult run = RunExperiment({"-j", "2", "--test-fault", "crash:crash"}, kUsualWork);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("exp/bad.abf: error: Invalid ABF file"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("exp/crash.wcp: error: crashed ("), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("4 recordings, 2 run, 0 skipped, 2 failed"), std::string::npos) << run.err;

  for (const char* good : {"a", "z"}) {
    const Provenance p = ProvenanceOf(good);
    EXPECT_FALSE(p.failed) << good;
    EXPECT_EQ(p.outputs.size(), 6u) << good;
  }
  const Provenance bad = ProvenanceOf("bad");
  EXPECT_TRUE(bad.failed);
  ASSERT_EQ(bad.actions.size(), 2u);  // name=bad, then the load that failed ends the run
  EXPECT_TRUE(bad.actions[1].failed);
  EXPECT_EQ(bad.actions[1].message.rfind("Invalid ABF file", 0), 0u) << bad.actions[1].message;
  EXPECT_EQ(bad.recording.format, "abf");

  EXPECT_FALSE(fs::exists(Out("crash")));
  EXPECT_FALSE(fs::exists(Out(".crash.partial")));
  const std::string summary = ReadFile(Out("summary.csv").string());
  EXPECT_NE(summary.find("\nexp/a.wcp,a,ok,1,"), std::string::npos) << summary;
  EXPECT_NE(summary.find("\nexp/bad.abf,bad,failed,,"), std::string::npos) << summary;
  EXPECT_NE(summary.find("\nexp/z.wcp,z,ok,1,"), std::string::npos) << summary;
  EXPECT_EQ(summary.find("crash"), std::string::npos) << summary;
}

// The same command again skips what is done and leaves it as it was; --force redoes it.
TEST_F(ExperimentRunTest, SkipsRecordingsDoneAndRedoesThemWithForce) {
  WriteClassicWcp(Exp("a.wcp"), 1);
  WriteAbf(Exp("b.abf"), 1, false);
  ASSERT_EQ(RunExperiment({}, kUsualWork).status, 0);
  const std::map<std::string, std::string> first = FilesBelow(Out());

  const ProgramResult again = RunExperiment({}, kUsualWork);
  EXPECT_EQ(again.status, 0) << again.err;
  EXPECT_NE(again.err.find("skipped 2 recordings already done (--force redoes them)"),
            std::string::npos)
      << again.err;
  EXPECT_NE(again.err.find("2 recordings, 0 run, 2 skipped, 0 failed"), std::string::npos);
  EXPECT_EQ(FilesBelow(Out()), first);

  const ProgramResult forced = RunExperiment({"--force"}, kUsualWork);
  EXPECT_EQ(forced.status, 0) << forced.err;
  EXPECT_EQ(forced.err.find("already done"), std::string::npos) << forced.err;
  EXPECT_NE(forced.err.find("2 recordings, 2 run, 0 skipped, 0 failed"), std::string::npos);
  std::map<std::string, std::string> redone = FilesBelow(Out());
  std::map<std::string, std::string> before = first;
  for (auto* files : {&redone, &before}) {
    files->erase("a/provenance.json");
    files->erase("b/provenance.json");
  }
  EXPECT_EQ(redone, before);
}

// A recording is run again when anything its provenance vouches for has changed.
TEST_F(ExperimentRunTest, RedoesARecordingWhoseRunNoLongerHolds) {
  struct Case {
    const char* what;
    std::function<void(ExperimentRunTest&)> change;
    std::vector<std::string> actions;
  };
  const std::vector<Case> cases = {
      {"the recording changed", [](ExperimentRunTest& t) { WriteClassicWcp(t.Exp("a.wcp"), 2); },
       kUsualWork},
      {"a table was edited",
       [](ExperimentRunTest& t) { std::ofstream(t.Out("a/aIID"), std::ios::app) << "x"; },
       kUsualWork},
      {"a table was removed", [](ExperimentRunTest& t) { fs::remove(t.Out("a/a_sp")); },
       kUsualWork},
      {"a file was added", [](ExperimentRunTest& t) { std::ofstream(t.Out("a/extra")) << "x"; },
       kUsualWork},
      {"the provenance is cut short",
       [](ExperimentRunTest& t) {
         const std::string text = ReadFile(t.Out("a/provenance.json").string());
         testing::WriteFile(t.Out("a/provenance.json").string(), text.substr(0, text.size() / 2));
       },
       kUsualWork},
      {"the actions differ", [](ExperimentRunTest&) {}, {"ISImax=500", "load", "each-record"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(root_ / "exp");
    fs::remove_all(Out());
    WriteClassicWcp(Exp("a.wcp"), 1);
    WriteClassicWcp(Exp("b.wcp"), 1);
    ASSERT_EQ(RunExperiment({}, kUsualWork).status, 0);
    c.change(*this);
    const ProgramResult again = RunExperiment({}, c.actions);
    EXPECT_EQ(again.status, 0) << again.err;
    const bool all_changed = c.actions != kUsualWork;
    EXPECT_NE(again.err.find(all_changed ? "2 recordings, 2 run, 0 skipped"
                                         : "2 recordings, 1 run, 1 skipped"),
              std::string::npos)
        << again.err;
    const Provenance a = ProvenanceOf("a");
    EXPECT_FALSE(a.failed);
    EXPECT_EQ(FilesOf(Out("a")), a.outputs);
  }
}

// A recording whose earlier run failed is run again.
TEST_F(ExperimentRunTest, RedoesARecordingThatFailed) {
  WriteClassicWcp(Exp("a.wcp"), 1);
  ASSERT_EQ(RunExperiment({}, {"Analyse=2", "load"}).status, 1);
  EXPECT_TRUE(ProvenanceOf("a").failed);
  const ProgramResult again = RunExperiment({}, {"Analyse=2", "load"});
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.err.find("1 recording, 0 run, 0 skipped, 1 failed"), std::string::npos)
      << again.err;
  EXPECT_NE(again.err.find("exp/a.wcp: error: Record 2 does not exist: "), std::string::npos)
      << again.err;
}

// A run killed half-way leaves no output folder that looks complete; the next run does what
// is missing and skips what was finished.
TEST_F(ExperimentRunTest, AKilledRunLeavesNoFolderThatLooksComplete) {
  WriteClassicWcp(Exp("fast.wcp"), 1);
  WriteClassicWcp(Exp("slow.wcp"), 1);
  const std::string log = (root_ / "killed.log").string();
  std::vector<std::string> args = {
      ICTALSCOPE_BATCH_EXE, "--recordings", "exp/*.wcp", "--out", "out", "-j", "2",
      "--test-fault",       "slow:sleep"};
  args.insert(args.end(), kUsualWork.begin(), kUsualWork.end());
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  posix_spawn_file_actions_addchdir_np(&actions, root_.c_str());
  pid_t pid = 0;
  ASSERT_EQ(::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);

  // Wait until the fast recording is done and the slow one has written its tables.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!(fs::exists(Out("fast/provenance.json")) && fs::exists(Out(".slow.partial/slowIDm"))) &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_TRUE(fs::exists(Out(".slow.partial/slowIDm"))) << ReadFile(log);
  ::kill(pid, SIGKILL);
  int status = 0;
  ::waitpid(pid, &status, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));

  EXPECT_FALSE(fs::exists(Out("slow")));
  EXPECT_FALSE(fs::exists(Out(".slow.partial/provenance.json")));
  EXPECT_TRUE(ReadProvenance(Out("fast")).has_value());

  const ProgramResult rerun =
      Run({"--recordings", "exp/*.wcp", "--out", "out", "load", "each-record", "stat"});
  EXPECT_EQ(rerun.status, 0) << rerun.err;
  EXPECT_NE(rerun.err.find("skipped 1 recording already done"), std::string::npos) << rerun.err;
  EXPECT_FALSE(ProvenanceOf("slow").failed);
  EXPECT_FALSE(fs::exists(Out(".slow.partial")));
  const std::string summary = ReadFile(Out("summary.csv").string());
  EXPECT_NE(summary.find("\nexp/fast.wcp,fast,ok,1,"), std::string::npos) << summary;
  EXPECT_NE(summary.find("\nexp/slow.wcp,slow,ok,1,"), std::string::npos) << summary;
}

// The provenance names the program and the recording, and tells for each action the panel it
// read, what it wrote, its failure and the figures of the records it touched.
TEST_F(ExperimentRunTest, ProvenanceTellsWhatEachActionReadAndWrote) {
  WriteClassicWcp(Exp("cell/rec.wcp"), 2);
  const ProgramResult run =
      RunExperiment({"--keep-going"}, {"ISImax=500", "check:rewrite", "load", "spikes", "iid",
                                       "Analyse=9", "reload", "Analyse=2", "reload", "spikes"});
  EXPECT_EQ(run.status, 1);
  const Provenance p = ProvenanceOf("rec");  // the common folder is exp/cell

  EXPECT_EQ(p.program, "ictalscope-batch");
#ifdef ICTALSCOPE_VERSION
  EXPECT_EQ(p.version, ICTALSCOPE_VERSION);
  EXPECT_EQ(p.revision, ICTALSCOPE_REVISION);
  EXPECT_EQ(p.build_type, ICTALSCOPE_BUILD_TYPE);
#endif
  EXPECT_TRUE(std::regex_match(p.date, std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)"))) << p.date;
  EXPECT_EQ(p.command_line.rfind("ictalscope-batch --recordings 'exp/**/*.wcp' ", 0), 0u)
      << p.command_line;
  EXPECT_TRUE(p.failed);

  const FileDigest digest = DigestFile((root_ / "exp/cell/rec.wcp").string());
  EXPECT_EQ(p.recording.path, "exp/cell/rec.wcp");
  EXPECT_EQ(p.recording.size, digest.size);
  EXPECT_EQ(p.recording.sha256, digest.sha256);
  EXPECT_EQ(p.recording.format, "wcp");
  EXPECT_EQ(p.recording.layout, "classic");
  EXPECT_EQ(p.recording.version, "9");
  EXPECT_EQ(p.recording.records, 2);

  std::vector<std::string> names;
  for (const ActionProvenance& a : p.actions) names.push_back(a.action);
  EXPECT_EQ(names, (std::vector<std::string>{"name=rec", "ISImax=500", "check:rewrite", "load",
                                             "spikes", "iid", "Analyse=9", "reload", "Analyse=2",
                                             "reload", "spikes"}));
  const auto panel_text = [&p](size_t action, const std::string& field) {
    for (const auto& [name, text] : p.actions[action].panel) {
      if (name == field) return text;
    }
    return std::string("(missing)");
  };
  const auto checked = [&p](size_t action, const std::string& box) {
    for (const auto& [name, ticked] : p.actions[action].checks) {
      if (name == box) return ticked;
    }
    return false;
  };
  EXPECT_EQ(p.actions[0].name_box, "1");  // before name=rec
  EXPECT_EQ(p.actions[1].name_box, "rec");
  EXPECT_EQ(panel_text(1, "ISImax"), "1000");  // before ISImax=500
  EXPECT_EQ(panel_text(2, "ISImax"), "500");
  EXPECT_FALSE(checked(2, "rewrite"));
  EXPECT_TRUE(checked(3, "rewrite"));
  EXPECT_EQ(panel_text(3, "NR"), "12");  // the load sets it
  EXPECT_EQ(panel_text(4, "NR"), " 2");
  EXPECT_EQ(p.actions[0].panel.size(), 21u);
  EXPECT_EQ(p.actions[0].checks.size(), 6u);

  // Only iid wrote files: the five tables, as the folder holds them at the end.
  std::set<std::string> iid_files;
  for (size_t i = 0; i < p.actions.size(); ++i) {
    if (i != 5) {
      EXPECT_TRUE(p.actions[i].wrote.empty()) << p.actions[i].action;
    }
  }
  for (const OutputFile& file : p.actions[5].wrote) iid_files.insert(file.file);
  EXPECT_EQ(iid_files, (std::set<std::string>{"recIID", "recmean", "recID", "rec_sp", "rec_1sp"}));
  EXPECT_EQ(p.actions[5].wrote, p.outputs);
  EXPECT_EQ(FilesOf(Out("rec")), p.outputs);

  EXPECT_TRUE(p.actions[7].failed);
  EXPECT_EQ(p.actions[7].message,
            "Record 9 does not exist: " + fs::absolute(root_ / "exp/cell/rec.wcp").string() +
                " holds 2 records");
  EXPECT_FALSE(p.actions[9].failed);

  ASSERT_EQ(p.actions[3].records.size(), 1u);
  EXPECT_EQ(p.actions[3].records[0].record, 1);
  EXPECT_EQ(p.actions[3].records[0].samples, 62977);
  EXPECT_EQ(p.actions[3].records[0].interval_ms, 0.0625);
  ASSERT_EQ(p.actions[4].records.size(), 1u);
  EXPECT_EQ(p.actions[4].records[0].spikes, 90);
  ASSERT_EQ(p.actions[5].records.size(), 1u);
  EXPECT_EQ(p.actions[5].records[0].iid_discharges, 3);
  EXPECT_EQ(p.actions[5].records[0].id_discharges, 2);
  ASSERT_TRUE(p.actions[5].records[0].mean_isi_s.has_value());
  EXPECT_NEAR(*p.actions[5].records[0].mean_isi_s, (0.012 + 0.030 + 0.012) / 3, 0.0005);
  EXPECT_TRUE(p.actions[7].records.empty());  // the failed reload
  ASSERT_EQ(p.actions[10].records.size(), 1u);
  EXPECT_EQ(p.actions[10].records[0].record, 2);
}

// The columns of one line of a table, split at blanks.
std::vector<std::string> Columns(std::string line) {
  if (!line.empty() && line.back() == '\r') line.pop_back();
  std::vector<std::string> columns;
  std::istringstream in(line);
  for (std::string word; in >> word;) columns.push_back(word);
  return columns;
}

std::vector<std::vector<std::string>> Rows(const std::string& text, char separator) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (separator == ' ') {
      rows.push_back(Columns(line));
      continue;
    }
    std::vector<std::string> fields;
    std::string field;
    std::istringstream cells(line);
    while (std::getline(cells, field, separator)) fields.push_back(field);
    if (!line.empty() && line.back() == separator) fields.emplace_back();
    rows.push_back(fields);
  }
  return rows;
}

// The summary holds a row per recording and record whose figures are those of the tables the
// run wrote, with the stat summary line of each recording; a later run over other recordings
// into the same folder adds theirs.
TEST_F(ExperimentRunTest, SummaryHoldsTheFiguresOfTheTablesOfEveryRecordingDone) {
  WriteClassicWcp(Exp("control/a.wcp"), 2);
  WriteAbf(Exp("drug/b.abf"), 3, false);
  ASSERT_EQ(Run({"--recordings", "exp/control/*.wcp", "exp/drug/*.abf", "--out", "out", "load",
                 "each-record", "stat"})
                .status,
            0);
  WriteSetUpWcp(Exp("later/c.wcp"), 1);
  ASSERT_EQ(Run({"--recordings", "exp/later/c.wcp", "--out", "out", "load", "spikes"}).status, 0);

  const auto rows = Rows(ReadFile(Out("summary.csv").string()), ',');
  ASSERT_EQ(rows.size(), 1u + 2 + 3 + 1);
  const std::vector<std::string>& header = rows[0];
  EXPECT_EQ(header.size(), 20u);
  const auto column = [&header](const std::string& name) {
    return static_cast<size_t>(std::find(header.begin(), header.end(), name) - header.begin());
  };
  for (const char* name :
       {"recording", "folder", "record", "samples", "sampling_interval_ms", "spikes",
        "iid_discharges", "id_discharges", "mean_isi_s", "stat_N_ID", "stat_Nsplast_Nsp1"}) {
    EXPECT_LT(column(name), header.size()) << name;
  }

  std::map<std::string, std::string> base_of = {{"control/a", "a"}, {"drug/b", "b"}};
  for (size_t i = 1; i < rows.size(); ++i) {
    const std::vector<std::string>& row = rows[i];
    ASSERT_EQ(row.size(), header.size()) << i;
    const std::string folder = row[column("folder")];
    SCOPED_TRACE(folder + " record " + row[column("record")]);
    if (folder == "c") {  // the only recording of its run: no folder above it
      // Only load and spikes ran: no discharge figures, no stat.
      EXPECT_EQ(row[column("recording")], "exp/later/c.wcp");
      EXPECT_EQ(row[column("spikes")], "90");
      EXPECT_EQ(row[column("iid_discharges")], "");
      EXPECT_EQ(row[column("stat_N_ID")], "");
      continue;
    }
    const std::string base = base_of.at(folder);
    const std::string record = row[column("record")];
    // Spikes: the rows of _sp of the record (all but its last spike) and one.
    int spikes = 1, discharges = 0, ids = 0;
    double isi_sum = 0;
    for (const auto& t : Rows(ReadFile(Out(folder + "/" + base + "_sp").string()), ' ')) {
      if (!t.empty() && t[0] == record) ++spikes;
    }
    for (const auto& t : Rows(ReadFile(Out(folder + "/" + base + "mean").string()), ' ')) {
      if (t.empty() || t[0] != record) continue;
      ++discharges;
      isi_sum += std::stod(t[3]);
    }
    for (const auto& t : Rows(ReadFile(Out(folder + "/" + base + "ID").string()), ' ')) {
      if (!t.empty() && t[0] == record) ++ids;
    }
    EXPECT_EQ(row[column("spikes")], std::to_string(spikes));
    EXPECT_EQ(row[column("iid_discharges")], std::to_string(discharges));
    EXPECT_EQ(row[column("id_discharges")], std::to_string(ids));
    EXPECT_NEAR(std::stod(row[column("mean_isi_s")]), isi_sum / discharges, 1e-6);
    EXPECT_EQ(row[column("status")], "ok");
    const auto stat = Rows(ReadFile(Out(folder + "/" + base + "IDm").string()), ' ');
    ASSERT_GE(stat.size(), 2u);
    for (size_t k = 0; k < stat[0].size(); ++k) {
      std::string name = "stat_" + stat[0][k];
      std::replace(name.begin(), name.end(), '/', '_');
      EXPECT_EQ(row[column(name)], stat[1][k]) << name;
    }
  }
  // Rows in folder order: c, control/a (2 records), drug/b (3).
  EXPECT_EQ(rows[1][column("folder")], "c");
  EXPECT_EQ(rows[2][column("samples")], "62977");
  EXPECT_EQ(rows[2][column("sampling_interval_ms")], "0.0625");
  EXPECT_EQ(rows[3][column("record")], "2");
  EXPECT_EQ(rows[4][column("sampling_interval_ms")], "0.05");
  EXPECT_EQ(rows[6][column("record")], "3");
}

// --list names each recording's folder; --summary rewrites the summary from the folders.
TEST_F(ExperimentRunTest, ListsFoldersAndRewritesTheSummary) {
  WriteClassicWcp(Exp("x/a.wcp"), 1);
  WriteAbf(Exp("y/z/b.abf"), 1, true);
  const ProgramResult list = RunExperiment({"--list"}, {});
  EXPECT_EQ(list.status, 0) << list.err;
  EXPECT_EQ(list.out, "exp/x/a.wcp\tx/a\nexp/y/z/b.abf\ty/z/b\n");
  EXPECT_FALSE(fs::exists(Out()));

  ASSERT_EQ(RunExperiment({"--quiet"}, {"load", "spikes"}).status, 0);
  const std::string summary = ReadFile(Out("summary.csv").string());
  fs::remove(Out("summary.csv"));
  const ProgramResult rewrite = Run({"--summary", "out"});
  EXPECT_EQ(rewrite.status, 0) << rewrite.err;
  EXPECT_EQ(rewrite.err, "summary: 2 rows in out/summary.csv\n");
  EXPECT_EQ(ReadFile(Out("summary.csv").string()), summary);
  EXPECT_EQ(Run({"--summary", "nowhere"}).status, 1);
}

// The standard output of every recording comes whole and in the recordings' order.
TEST_F(ExperimentRunTest, PassesOnEachRecordingsOutputInOrder) {
  for (const char* name : {"c", "a", "d", "b"}) WriteClassicWcp(Exp(std::string(name) + ".wcp"), 1);
  const ProgramResult run = Run(
      {"--recordings", "exp/*.wcp", "--out", "out", "-j", "3", "--quiet", "load", "state:brief"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  const auto lines = Rows(run.out, '\n');
  ASSERT_EQ(lines.size(), 4u) << run.out;
  for (size_t i = 0; i < 4; ++i) {
    const std::string name(1, static_cast<char>('a' + i));
    EXPECT_NE(lines[i][0].find("\"recordingName\": \"" + name + "\""), std::string::npos) << i;
  }
}

// What would go wrong is refused before anything runs.
TEST_F(ExperimentRunTest, RefusesExperimentsThatCannotRun) {
  struct Case {
    std::vector<std::string> recordings;
    std::vector<std::string> patterns;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"a.wcp"}, {"exp/*.abf"}, "error: no recording matches the patterns\n"},
      {{"a.wcp", "a.abf"}, {"exp/*"}, "would both write into out/a\n"},
      {{"a.wcp", "a/b.wcp"}, {"exp/**/*.wcp"}, "would lie in that of exp/a.wcp (out/a)\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    fs::remove_all(root_ / "exp");
    for (const std::string& recording : c.recordings) WriteClassicWcp(Exp(recording), 1);
    std::vector<std::string> args = {"--recordings"};
    args.insert(args.end(), c.patterns.begin(), c.patterns.end());
    args.insert(args.end(), {"--out", "out", "load"});
    const ProgramResult run = Run(args);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(Out()));
  }
}

}  // namespace
}  // namespace ictalscope
