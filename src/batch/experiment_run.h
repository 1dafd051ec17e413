#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "batch/batch_runner.h"

namespace ictalscope {

// An experiment run (--recordings PATTERN... --out DIR ACTION...): the actions once per
// recording that the patterns match, each recording in its own process (the program itself,
// with the hidden --job), -j at once, each into its own folder under DIR (see
// experiment_glob.h and experiment_job.h). A child's standard output is passed on whole, in
// the recordings' order; its warnings and errors are passed on as they come, after the
// recording's path. A failing or crashing child stops no other. A progress line shows on
// standard error when it is a terminal. At the end DIR/summary.csv is rewritten from every
// provenance below DIR. Exit status 1 when any recording failed or crashed, or none matched.
// `args` are the program's arguments, recorded in each provenance.
int RunExperiment(const BatchCommandLine& line, const std::vector<std::string>& args,
                  std::ostream& out, std::ostream& err);

// --summary DIR: rewrites DIR/summary.csv from the provenance files below DIR.
int RunSummary(const BatchCommandLine& line, std::ostream& err);

}  // namespace ictalscope
