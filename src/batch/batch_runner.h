#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "batch/batch_session.h"
#include "panel/field.h"

namespace ictalscope {

// One action of the batch language.
struct BatchAction {
  enum class Kind {
    kName,     // name=TEXT
    kField,    // FIELD=TEXT
    kCheck,    // check:BOX
    kUncheck,  // uncheck:BOX
    kLoad,
    kReload,
    kSpikes,
    kIID,
    kStat,
    kRin,
    kTwoTraces,
    kEachRecord,
    kState,
    kStateBrief,
    kWmf,  // the chart as a picture (picture_actions.h)
    kSvg,
    kPng,
  };
  Kind kind;
  std::string text;  // name=, FIELD=
  Field field = Field::AD;
  Check check = Check::Filter;
};

// The options of an experiment run, the same actions once per recording (experiment_run.h).
struct ExperimentOptions {
  std::vector<std::string> patterns;  // --recordings PATTERN...: up to the next option
  std::optional<std::string> out;     // --out DIR
  int jobs = 0;                       // -j N: recordings at once; 0: one per core
  bool force = false;                 // --force: redo recordings already done
  // Hidden: --list prints each recording and its output folder; --summary DIR rewrites
  // DIR/summary.csv; --job RECORDING FOLDER runs one recording into FOLDER, as a run's child
  // process or a workflow's job does, with --job-command-line TEXT the command line it
  // records; --test-fault NAME:crash|sleep makes the recording NAME crash or sleep before its
  // provenance is written, for the tests.
  bool list = false;
  std::optional<std::string> summary;
  std::optional<std::string> job_recording;
  std::optional<std::string> job_folder;
  std::optional<std::string> job_command_line;
  std::string test_fault;
};

struct BatchCommandLine {
  std::optional<std::string> dir;
  bool keep_going = false;
  bool quiet = false;  // no status lines: only warnings and errors on standard error
  bool help = false;   // --help: the usage and the actions, nothing run
  ExperimentOptions experiment;
  std::vector<BatchAction> actions;
  std::vector<std::string> action_args;  // the actions as given, one per action
};

// Told of every action as it runs, the steps of each-record too (`step` true). A failure of a
// step is told with the step; its each-record is then told without a message.
class BatchObserver {
 public:
  virtual ~BatchObserver() = default;
  virtual void Before(const BatchAction& action, bool step) = 0;
  // `error`: the failure's message; nullptr when the action did not fail.
  virtual void After(const BatchAction& action, bool step, const std::string* error) = 0;
};

// Parses the arguments after the program name; nullopt (with the reason in `problem`) when an
// option, action or field name is unknown.
std::optional<BatchCommandLine> ParseBatchCommandLine(const std::vector<std::string>& args,
                                                      std::string& problem);

// Runs the actions in order on `session`. After each handler its status line goes to `err`
// (unless quiet); a failing action prints "error: MESSAGE" on `err`, and without keep_going
// the run stops there. Returns the exit status: 0, or 1 after any failure.
int RunBatchActions(BatchSession& session, const BatchCommandLine& command_line, std::ostream& out,
                    std::ostream& err, BatchObserver* observer = nullptr);

// The whole program: usage errors exit 2 before anything runs.
int RunBatch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace ictalscope
