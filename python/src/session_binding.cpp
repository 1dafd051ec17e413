// The batch language over one session kept between runs, as one window keeps its panel and
// workspace, with the actions run in the session's directory.

#include <fcntl.h>
#include <pybind11/stl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "base/file_layer.h"
#include "batch/batch_runner.h"
#include "bindings.h"
#include "python_values.h"

namespace ictalscope::python {

namespace {

// The working directory for the length of a run: `directory`, then the one before it again
// (also when that one can no longer be found by its name).
class WorkingDirectory {
 public:
  explicit WorkingDirectory(const std::string& directory)
      : previous_(::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    if (previous_ < 0) {
      error_ = FileErrorMessage(errno, ".");
    } else if (::chdir(directory.c_str()) != 0) {
      error_ = FileErrorMessage(errno, directory);
    }
  }
  ~WorkingDirectory() {
    if (previous_ < 0) return;
    // fchdir fails only for a descriptor that is no directory: it holds one.
    if (::fchdir(previous_) != 0) std::perror("ictalscope: back to the working directory");
    ::close(previous_);
  }
  WorkingDirectory(const WorkingDirectory&) = delete;
  WorkingDirectory& operator=(const WorkingDirectory&) = delete;

  const std::optional<std::string>& error() const { return error_; }

 private:
  int previous_;
  std::optional<std::string> error_;
};

struct RunOutput {
  int status = 0;
  std::string out;
  std::string err;
  std::string problem;  // the usage problem, when the words were refused
};

class Session {
 public:
  explicit Session(std::string directory)
      : directory_(std::move(directory)), session_(std::make_unique<BatchSession>()) {}

  const std::string& directory() const { return directory_; }

  // Usage errors and --help print what the batch tool prints, and run nothing.
  RunOutput Run(const std::vector<std::string>& words) {
    RunOutput result;
    std::ostringstream out, err;
    const std::optional<BatchCommandLine> line = ParseBatchCommandLine(words, result.problem);
    if (!line || line->help) {
      result.status = RunBatch(words, out, err);
    } else if (line->dir) {
      throw py::value_error("--dir: a session runs in its own directory, " + directory_);
    } else {
      result.problem.clear();
      const WorkingDirectory in_directory(directory_);
      if (in_directory.error()) {
        err << "error: " << *in_directory.error() << '\n';
        result.status = 1;
      } else {
        result.status = RunBatchActions(*session_, *line, out, err);
      }
    }
    result.out = out.str();
    result.err = err.str();
    return result;
  }

 private:
  std::string directory_;
  std::unique_ptr<BatchSession> session_;
};

}  // namespace

void BindSession(py::module_& m) {
  py::class_<Session>(m, "BatchSession", "A batch session: one window's panel and workspace.")
      .def(py::init<std::string>(), py::arg("directory"))
      .def_property_readonly("directory", [](const Session& s) { return Text(s.directory()); })
      .def(
          "run",
          [](Session& s, const std::vector<std::string>& words) {
            const RunOutput r = s.Run(words);
            return py::make_tuple(r.status, Text(r.out), Text(r.err), Text(r.problem));
          },
          py::arg("words"),
          "Runs the words of a batch command line; (status, stdout, stderr, usage problem).");
}

}  // namespace ictalscope::python
