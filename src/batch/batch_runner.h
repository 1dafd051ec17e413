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
  };
  Kind kind;
  std::string text;  // name=, FIELD=
  Field field = Field::AD;
  Check check = Check::Filter;
};

struct BatchCommandLine {
  std::optional<std::string> dir;
  bool keep_going = false;
  bool quiet = false;  // no status lines: only warnings and errors on standard error
  bool help = false;   // --help: the usage and the actions, nothing run
  std::vector<BatchAction> actions;
};

// Parses the arguments after the program name; nullopt (with the reason in `problem`) when an
// option, action or field name is unknown.
std::optional<BatchCommandLine> ParseBatchCommandLine(const std::vector<std::string>& args,
                                                      std::string& problem);

// Runs the actions in order on `session`. After each handler its status line goes to `err`
// (unless quiet); a failing action prints "error: MESSAGE" on `err`, and without keep_going
// the run stops there. Returns the exit status: 0, or 1 after any failure.
int RunBatchActions(BatchSession& session, const BatchCommandLine& command_line, std::ostream& out,
                    std::ostream& err);

// The whole program: usage errors exit 2 before anything runs.
int RunBatch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace ictalscope
