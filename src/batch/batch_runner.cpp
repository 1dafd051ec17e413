#include "batch/batch_runner.h"

#include <unistd.h>

#include <cerrno>
#include <map>

#include "analysis/analyses.h"
#include "analysis/status_line.h"
#include "base/error.h"
#include "base/file_layer.h"
#include "batch/experiment_job.h"
#include "batch/experiment_run.h"
#include "batch/picture_actions.h"
#include "batch/state_json.h"
#include "recording/conditioning.h"
#include "recording/loader.h"

namespace ictalscope {

namespace {

using Kind = BatchAction::Kind;

constexpr const char* kUsage =
    "usage: ictalscope-batch [--dir DIR] [--keep-going] [--quiet] ACTION...\n"
    "       ictalscope-batch --recordings PATTERN... --out DIR [-j N] [--force] [--keep-going]\n"
    "                        [--quiet] ACTION...\n"
    "       ictalscope-batch --help\n";

constexpr const char* kHelp =
    "Runs the window's actions in order, in the folder DIR (default: the current one), and\n"
    "says after each what it did on standard error (--quiet: only warnings and errors). A\n"
    "failing action prints \"error: MESSAGE\" and ends the run with status 1, unless\n"
    "--keep-going is given.\n"
    "\n"
    "With --recordings, the actions run once per recording that the patterns match (shell\n"
    "patterns, quoted; ** for any depth of folders; the patterns run up to the next option),\n"
    "each in its own process, N at once (-j, default: one per core), in its own output folder\n"
    "under DIR: the recording's folder relative to the deepest folder common to all, then its\n"
    "name without extension. Each folder gets the tables that name=NAME ACTION... writes and\n"
    "provenance.json; DIR/summary.csv sums them up. Recordings done before by the same\n"
    "actions and program version are skipped (--force: redone).\n"
    "\n"
    "actions:\n"
    "  name=TEXT          type TEXT into the recording-name box (nothing loads)\n"
    "  FIELD=TEXT         type TEXT into a panel field: AD YG0 YG1 CalibV CalibI AcqTime NR\n"
    "                     Analyse Duration StimHz StimDelay StimDuration StimInterval ISImax\n"
    "                     NminSpikes tau a dt_Vrest step_V Vsilent Channel\n"
    "  check:BOX          tick a box: filter vdat stimulation rewrite time-through-traces read\n"
    "  uncheck:BOX        untick it\n"
    "  load               click into the recording-name box: load record Analyse of the name\n"
    "  reload             click into Analyse: load that record of the recording loaded last\n"
    "  spikes iid stat rin two-traces wmf\n"
    "                     the command buttons (wmf: the chart into ResultBaseName.wmf)\n"
    "  svg png            the chart into ResultBaseName.svg / .png, as from the chart's menu\n"
    "  each-record        Analyse=r reload spikes iid, for every record r of the recording\n"
    "  state              the workspace as JSON on standard output\n"
    "  state:brief        the same with counts instead of samples and points\n"
    "\n"
    "examples: ictalscope-batch name=1 load each-record stat\n"
    "          ictalscope-batch --recordings 'exp/**/*.wcp' 'exp/**/*.abf' --out results \\\n"
    "                           load each-record stat\n";

const std::map<std::string, Kind>& PlainActions() {
  static const std::map<std::string, Kind> actions = {
      {"load", Kind::kLoad},
      {"reload", Kind::kReload},
      {"spikes", Kind::kSpikes},
      {"iid", Kind::kIID},
      {"stat", Kind::kStat},
      {"rin", Kind::kRin},
      {"two-traces", Kind::kTwoTraces},
      {"each-record", Kind::kEachRecord},
      {"state", Kind::kState},
      {"state:brief", Kind::kStateBrief},
      {"wmf", Kind::kWmf},
      {"svg", Kind::kSvg},
      {"png", Kind::kPng},
  };
  return actions;
}

std::optional<BatchAction> ParseCheckAction(const std::string& arg) {
  const bool tick = arg.rfind("check:", 0) == 0;
  const bool untick = arg.rfind("uncheck:", 0) == 0;
  if (!tick && !untick) return std::nullopt;
  const std::optional<Check> check = CheckByName(arg.substr(arg.find(':') + 1));
  if (!check) return std::nullopt;
  BatchAction action{tick ? Kind::kCheck : Kind::kUncheck, ""};
  action.check = *check;
  return action;
}

std::optional<BatchAction> ParseAction(const std::string& arg) {
  if (const auto plain = PlainActions().find(arg); plain != PlainActions().end()) {
    return BatchAction{plain->second, ""};
  }
  if (auto check = ParseCheckAction(arg)) return check;
  const size_t equals = arg.find('=');
  if (equals == std::string::npos) return std::nullopt;
  const std::string key = arg.substr(0, equals);
  const std::string text = arg.substr(equals + 1);
  if (key == "name") return BatchAction{Kind::kName, text};
  const std::optional<Field> field = FieldByName(key);
  if (!field) return std::nullopt;
  BatchAction action{Kind::kField, text};
  action.field = *field;
  return action;
}

// Ticking "Stimulation" is a click that leaves the box ticked, and runs its handler; its status
// line, if it ran.
std::optional<std::string> SetCheck(BatchSession& s, Check check, bool tick) {
  const bool was = s.panel.IsChecked(check);
  s.panel.SetChecked(check, tick);
  if (check != Check::Stimulation || !tick || was) return std::nullopt;
  OnStimulationClicked(s.ws);
  return StimulationStatus(s.ws);
}

// Thrown out of each-record after a failure that ends the run (already reported).
struct StopRun {};

class ActionRunner {
 public:
  ActionRunner(BatchSession& session, const BatchCommandLine& line, std::ostream& out,
               std::ostream& err, BatchObserver* observer)
      : s_(session),
        keep_going_(line.keep_going),
        quiet_(line.quiet),
        out_(out),
        err_(err),
        observer_(observer) {}

  // False when the run must stop.
  bool Run(const BatchAction& action, bool step = false) {
    if (observer_ != nullptr) observer_->Before(action, step);
    try {
      const std::optional<std::string> status = Perform(action);
      if (status && !quiet_) err_ << *status << '\n' << std::flush;
    } catch (const Error& error) {
      err_ << "error: " << error.message() << '\n';
      failed_ = true;
      if (observer_ != nullptr) observer_->After(action, step, &error.message());
      return keep_going_;
    } catch (const StopRun&) {
      if (observer_ != nullptr) observer_->After(action, step, nullptr);
      throw;
    }
    if (observer_ != nullptr) observer_->After(action, step, nullptr);
    return true;
  }

  bool failed() const { return failed_; }

 private:
  // Runs one action; the line that says what its handler did, if one ran.
  std::optional<std::string> Perform(const BatchAction& action) {
    Workspace& ws = s_.ws;
    AnalysisState& analysis = s_.analysis;
    switch (action.kind) {
      case Kind::kName:
        s_.panel.SetNameBoxText(action.text);
        return std::nullopt;
      case Kind::kField:
        return SetField(action.field, action.text);
      case Kind::kCheck:
        return SetCheck(s_, action.check, true);
      case Kind::kUncheck:
        return SetCheck(s_, action.check, false);
      case Kind::kLoad:
        RunLoad(ws, analysis);
        return RecordStatus("load", ws);
      case Kind::kReload:
        RunReload(ws, analysis);
        return RecordStatus("reload", ws);
      case Kind::kSpikes:
        RunSpikes(ws, analysis.spikes);
        return SpikesStatus(analysis.spikes);
      case Kind::kIID:
        return IidStatus(RunIID(ws, analysis));
      case Kind::kStat:
        return StatStatus(RunStat(ws, analysis), s_.panel.IsChecked(Check::Read));
      case Kind::kRin:
        return RinStatus(RunRin(ws, analysis.spikes));
      case Kind::kTwoTraces:
        RunTwoTraces(ws, analysis);
        return RecordStatus("two-traces", ws);
      case Kind::kEachRecord:
        EachRecord();
        return std::nullopt;
      case Kind::kState:
        out_ << StateJson(s_, false) << '\n' << std::flush;
        return std::nullopt;
      case Kind::kStateBrief:
        out_ << StateJson(s_, true) << '\n' << std::flush;
        return std::nullopt;
      case Kind::kWmf:
        return RunPictureAction(s_, "wmf");
      case Kind::kSvg:
        return RunPictureAction(s_, "svg");
      case Kind::kPng:
        return RunPictureAction(s_, "png");
    }
    return std::nullopt;
  }

  // The text is set as typed, as in the window; one that reads as no number is set all the same
  // and said on standard error.
  std::optional<std::string> SetField(Field field, const std::string& text) {
    if (const std::optional<std::string> warning = UnreadableFieldWarning(field, text)) {
      err_ << "warning: " << *warning << '\n';
    }
    const bool changes = s_.panel.Text(field) != text;
    s_.panel.SetText(field, text);
    if (field == Field::tau && changes) return TauStatus(s_.ws);
    return std::nullopt;
  }

  // For r = 1 .. Trace.NR: Analyse=r, reload, spikes, iid. Each step fails on its own, as the
  // window's buttons would; without keep-going the first failure ends the run. Quiet on a
  // terminal, a progress line stands for the steps' status lines.
  void EachRecord() {
    const int32_t records = s_.ws.trace.NR;
    const bool progress = quiet_ && ::isatty(STDERR_FILENO) == 1;
    for (int32_t r = 1; r <= records; ++r) {
      if (progress) err_ << "\rrecord " << r << " of " << records << std::flush;
      const BatchAction steps[] = {{Kind::kField, std::to_string(r), Field::Analyse},
                                   {Kind::kReload, ""},
                                   {Kind::kSpikes, ""},
                                   {Kind::kIID, ""}};
      for (const BatchAction& step : steps) {
        if (!Run(step, true)) {
          if (progress) err_ << '\n';
          throw StopRun();
        }
      }
    }
    if (progress && records > 0) err_ << '\n';
  }

  BatchSession& s_;
  bool keep_going_;
  bool quiet_;
  std::ostream& out_;
  std::ostream& err_;
  BatchObserver* observer_;
  bool failed_ = false;
};

// A whole number of at least 1, as -j takes it.
std::optional<int> PositiveCount(const std::string& text) {
  if (text.empty() || text.size() > 6) return std::nullopt;
  int n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    n = 10 * n + (c - '0');
  }
  if (n < 1) return std::nullopt;
  return n;
}

// The options of experiment runs; false with `problem` set when one is malformed, and
// `handled` false when the option is none of them.
bool ParseExperimentOption(const std::vector<std::string>& args, size_t& i, ExperimentOptions& x,
                           bool& handled, std::string& problem) {
  handled = true;
  const std::string& arg = args[i];
  const bool has_value = i + 1 < args.size();
  if (arg == "--recordings") {
    while (i + 1 < args.size() && args[i + 1].rfind('-', 0) != 0) x.patterns.push_back(args[++i]);
    if (x.patterns.empty()) {
      problem = "--recordings needs at least one pattern";
      return false;
    }
    if (i + 1 == args.size()) {
      problem = "the patterns of --recordings run up to the next option: give --out DIR after them";
      return false;
    }
  } else if (arg == "--out" && has_value) {
    x.out = args[++i];
  } else if (arg == "-j" || arg == "--jobs" || (arg.rfind("-j", 0) == 0 && arg.size() > 2)) {
    const bool joined = arg.size() > 2 && arg[1] == 'j';
    if (!joined && !has_value) {
      problem = arg + " needs a number of recordings at once";
      return false;
    }
    const std::string text = joined ? arg.substr(2) : args[++i];
    const std::optional<int> jobs = PositiveCount(text);
    if (!jobs) {
      problem = "-j needs a whole number of at least 1: " + text;
      return false;
    }
    x.jobs = *jobs;
  } else if (arg == "--force") {
    x.force = true;
  } else if (arg == "--list") {
    x.list = true;
  } else if (arg == "--summary" && has_value) {
    x.summary = args[++i];
  } else if (arg == "--job" && i + 2 < args.size()) {
    x.job_recording = args[++i];
    x.job_folder = args[++i];
  } else if (arg == "--job-command-line" && has_value) {
    x.job_command_line = args[++i];
  } else if (arg == "--test-fault" && has_value) {
    x.test_fault = args[++i];
  } else {
    handled = false;
  }
  return true;
}

// What experiment options need and exclude; false with `problem` set.
bool CheckExperimentOptions(const BatchCommandLine& line, std::string& problem) {
  const ExperimentOptions& x = line.experiment;
  const bool run = !x.patterns.empty();
  const bool job = x.job_recording.has_value();
  if (x.summary && (run || job || line.dir || !line.actions.empty())) {
    problem = "--summary DIR takes no other option and no action";
    return false;
  }
  if (run && job) {
    problem = "--job and --recordings exclude each other";
    return false;
  }
  if (run != x.out.has_value()) {
    problem = run ? "--recordings needs --out DIR" : "--out needs --recordings PATTERN...";
    return false;
  }
  if (x.jobs > 0 && !run) {
    problem = "-j needs --recordings";
    return false;
  }
  if ((x.force || !x.test_fault.empty()) && !run && !job) {
    problem = (x.force ? "--force" : "--test-fault") + std::string(" needs --recordings");
    return false;
  }
  if (x.list && !run) {
    problem = "--list needs --recordings";
    return false;
  }
  return true;
}

}  // namespace

std::optional<BatchCommandLine> ParseBatchCommandLine(const std::vector<std::string>& args,
                                                      std::string& problem) {
  BatchCommandLine line;
  size_t i = 0;
  for (; i < args.size() && args[i].rfind('-', 0) == 0; ++i) {
    bool experiment_option = false;
    if (!ParseExperimentOption(args, i, line.experiment, experiment_option, problem)) {
      return std::nullopt;
    }
    if (experiment_option) continue;
    if (args[i] == "--keep-going") {
      line.keep_going = true;
    } else if (args[i] == "--quiet") {
      line.quiet = true;
    } else if (args[i] == "--help") {
      line.help = true;
      return line;
    } else if (args[i] == "--dir" && i + 1 < args.size()) {
      line.dir = args[++i];
    } else {
      problem = "unknown option: " + args[i];
      return std::nullopt;
    }
  }
  for (; i < args.size(); ++i) {
    std::optional<BatchAction> action = ParseAction(args[i]);
    if (!action) {
      problem = "unknown action: " + args[i];
      return std::nullopt;
    }
    line.actions.push_back(std::move(*action));
    line.action_args.push_back(args[i]);
  }
  if (!CheckExperimentOptions(line, problem)) return std::nullopt;
  if (line.actions.empty() && !line.experiment.summary && !line.experiment.list) {
    problem = "no action given";
    return std::nullopt;
  }
  return line;
}

int RunBatchActions(BatchSession& session, const BatchCommandLine& command_line, std::ostream& out,
                    std::ostream& err, BatchObserver* observer) {
  ActionRunner runner(session, command_line, out, err, observer);
  try {
    for (const BatchAction& action : command_line.actions) {
      if (!runner.Run(action)) break;
    }
  } catch (const StopRun&) {
  }
  return runner.failed() ? 1 : 0;
}

int RunBatch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::string problem;
  const std::optional<BatchCommandLine> line = ParseBatchCommandLine(args, problem);
  if (!line) {
    err << problem << '\n' << kUsage;
    return 2;
  }
  if (line->help) {
    out << kUsage << '\n' << kHelp;
    return 0;
  }
  if (line->dir && ::chdir(line->dir->c_str()) != 0) {
    err << "error: " << FileErrorMessage(errno, *line->dir) << '\n';
    return 1;
  }
  if (line->experiment.summary) return RunSummary(*line, err);
  if (line->experiment.job_recording) return RunExperimentJob(*line, args, out, err);
  if (!line->experiment.patterns.empty()) return RunExperiment(*line, args, out, err);
  BatchSession session;
  return RunBatchActions(session, *line, out, err);
}

}  // namespace ictalscope
