#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "batch/batch_runner.h"

namespace ictalscope {

// The exit status of a job that found its recording done already.
inline constexpr int kJobSkipped = 3;

// One recording of an experiment run (--job RECORDING FOLDER ACTION...): unless --force, a
// folder whose provenance shows this recording (by digest), this program version and these
// actions done without failure, with every output as it was left, is kept (exit status
// kJobSkipped). Otherwise the actions run after name=NAME (the recording's name without its
// extension, which the lookup resolves to the recording where it is) in the hidden folder
// .NAME.partial beside FOLDER, exactly as `--dir THERE name=NAME ACTION...` would run them;
// provenance.json is written last, and the folder then takes FOLDER's place in one rename.
// Exit status 0, or 1 after a failure (the folder is in place all the same, its provenance
// saying what failed), or when the recording cannot be read or the folder not written.
int RunExperimentJob(const BatchCommandLine& line, const std::vector<std::string>& args,
                     std::ostream& out, std::ostream& err);

// The hidden folder where the job for FOLDER writes before it renames it into place.
std::string PartialFolderName(const std::string& folder_name);

// `args` as one line for a shell: each word as it is when it holds nothing the shell would
// read otherwise, else in single quotes.
std::string ShellCommandLine(const std::string& program, const std::vector<std::string>& args);

}  // namespace ictalscope
