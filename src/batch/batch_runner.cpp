#include "batch/batch_runner.h"

#include <unistd.h>

#include <cerrno>
#include <map>

#include "analysis/analyses.h"
#include "analysis/status_line.h"
#include "batch/state_json.h"
#include "panel/error.h"
#include "recording/conditioning.h"
#include "recording/file_layer.h"
#include "recording/loader.h"

namespace ictalscope {

namespace {

using Kind = BatchAction::Kind;

constexpr const char* kUsage =
    "usage: ictalscope-batch [--dir DIR] [--keep-going] [--quiet] ACTION...\n"
    "       ictalscope-batch --help\n";

constexpr const char* kHelp =
    "Runs the window's actions in order, in the folder DIR (default: the current one), and\n"
    "says after each what it did on standard error (--quiet: only warnings and errors). A\n"
    "failing action prints \"error: MESSAGE\" and ends the run with status 1, unless\n"
    "--keep-going is given.\n"
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
    "  spikes iid stat rin two-traces\n"
    "                     the command buttons\n"
    "  each-record        Analyse=r reload spikes iid, for every record r of the recording\n"
    "  state              the workspace as JSON on standard output\n"
    "  state:brief        the same with counts instead of samples and points\n"
    "\n"
    "example: ictalscope-batch name=1 load each-record stat\n";

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
               std::ostream& err)
      : s_(session), keep_going_(line.keep_going), quiet_(line.quiet), out_(out), err_(err) {}

  // False when the run must stop.
  bool Run(const BatchAction& action) {
    try {
      const std::optional<std::string> status = Perform(action);
      if (status && !quiet_) err_ << *status << '\n' << std::flush;
    } catch (const Error& error) {
      err_ << "error: " << error.message() << '\n';
      failed_ = true;
      return keep_going_;
    }
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
        if (!Run(step)) {
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
  bool failed_ = false;
};

}  // namespace

std::optional<BatchCommandLine> ParseBatchCommandLine(const std::vector<std::string>& args,
                                                      std::string& problem) {
  BatchCommandLine line;
  size_t i = 0;
  for (; i < args.size() && args[i].rfind("--", 0) == 0; ++i) {
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
  }
  if (line.actions.empty()) {
    problem = "no action given";
    return std::nullopt;
  }
  return line;
}

int RunBatchActions(BatchSession& session, const BatchCommandLine& command_line, std::ostream& out,
                    std::ostream& err) {
  ActionRunner runner(session, command_line, out, err);
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
  BatchSession session;
  return RunBatchActions(session, *line, out, err);
}

}  // namespace ictalscope
