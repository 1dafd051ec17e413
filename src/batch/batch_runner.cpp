#include "batch/batch_runner.h"

#include <unistd.h>

#include <cerrno>
#include <map>

#include "analysis/analyses.h"
#include "batch/state_json.h"
#include "panel/error.h"
#include "recording/conditioning.h"
#include "recording/file_layer.h"
#include "recording/loader.h"

namespace ictalscope {

namespace {

using Kind = BatchAction::Kind;

constexpr const char* kUsage =
    "usage: ictalscope-batch [--dir DIR] [--keep-going] ACTION...\n"
    "actions: name=TEXT FIELD=TEXT check:BOX uncheck:BOX load reload spikes iid stat rin\n"
    "         two-traces each-record state state:brief\n";

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

// Ticking "Stimulation" is a click that leaves the box ticked, and runs its handler.
void SetCheck(BatchSession& s, Check check, bool tick) {
  const bool was = s.panel.IsChecked(check);
  s.panel.SetChecked(check, tick);
  if (check == Check::Stimulation && tick && !was) OnStimulationClicked(s.ws);
}

// Thrown out of each-record after a failure that ends the run (already reported).
struct StopRun {};

class ActionRunner {
 public:
  ActionRunner(BatchSession& session, bool keep_going, std::ostream& out, std::ostream& err)
      : s_(session), keep_going_(keep_going), out_(out), err_(err) {}

  // False when the run must stop.
  bool Run(const BatchAction& action) {
    try {
      Perform(action);
    } catch (const Error& error) {
      err_ << "error: " << error.message() << '\n';
      failed_ = true;
      return keep_going_;
    }
    return true;
  }

  bool failed() const { return failed_; }

 private:
  void Perform(const BatchAction& action) {
    switch (action.kind) {
      case Kind::kName:
        s_.panel.SetNameBoxText(action.text);
        break;
      case Kind::kField:
        SetField(action.field, action.text);
        break;
      case Kind::kCheck:
        SetCheck(s_, action.check, true);
        break;
      case Kind::kUncheck:
        SetCheck(s_, action.check, false);
        break;
      case Kind::kLoad:
        RunLoad(s_.ws, s_.analysis);
        break;
      case Kind::kReload:
        RunReload(s_.ws, s_.analysis);
        break;
      case Kind::kSpikes:
        RunSpikes(s_.ws, s_.analysis.spikes);
        break;
      case Kind::kIID:
        RunIID(s_.ws, s_.analysis);
        break;
      case Kind::kStat:
        RunStat(s_.ws, s_.analysis);
        break;
      case Kind::kRin:
        RunRin(s_.ws, s_.analysis.spikes);
        break;
      case Kind::kTwoTraces:
        RunTwoTraces(s_.ws, s_.analysis);
        break;
      case Kind::kEachRecord:
        EachRecord();
        break;
      case Kind::kState:
        out_ << StateJson(s_, false) << '\n' << std::flush;
        break;
      case Kind::kStateBrief:
        out_ << StateJson(s_, true) << '\n' << std::flush;
        break;
    }
  }

  // The text is set as typed, as in the window; one that reads as no number is set all the same
  // and said on standard error.
  void SetField(Field field, const std::string& text) {
    if (const std::optional<std::string> warning = UnreadableFieldWarning(field, text)) {
      err_ << "warning: " << *warning << '\n';
    }
    s_.panel.SetText(field, text);
  }

  // For r = 1 .. Trace.NR: Analyse=r, reload, spikes, iid. Each step fails on its own, as the
  // window's buttons would; without keep-going the first failure ends the run.
  void EachRecord() {
    const int32_t records = s_.ws.trace.NR;
    const bool progress = ::isatty(STDERR_FILENO) == 1;
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
  ActionRunner runner(session, command_line.keep_going, out, err);
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
  if (line->dir && ::chdir(line->dir->c_str()) != 0) {
    err << "error: " << FileErrorMessage(errno) << '\n';
    return 1;
  }
  BatchSession session;
  return RunBatchActions(session, *line, out, err);
}

}  // namespace ictalscope
