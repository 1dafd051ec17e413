#include "batch/experiment_run.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <system_error>

#include "batch/experiment_glob.h"
#include "batch/experiment_job.h"
#include "batch/experiment_summary.h"

extern char** environ;

namespace ictalscope {

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

struct Planned {
  std::string recording;
  fs::path relative;  // the output folder under DIR
};

// An anonymous file that takes a child's standard output or error.
class CaptureFile {
 public:
  CaptureFile() : file_(std::tmpfile()) {
    if (file_ != nullptr) ::fcntl(::fileno(file_), F_SETFD, FD_CLOEXEC);
  }
  ~CaptureFile() {
    if (file_ != nullptr) std::fclose(file_);
  }
  CaptureFile(const CaptureFile&) = delete;
  CaptureFile& operator=(const CaptureFile&) = delete;

  int fd() const { return file_ != nullptr ? ::fileno(file_) : -1; }

  std::string Contents() const {
    std::string text;
    if (file_ == nullptr) return text;
    char buffer[65536];
    off_t at = 0;
    for (;;) {
      const ssize_t n = ::pread(fd(), buffer, sizeof buffer, at);
      if (n <= 0) break;
      text.append(buffer, static_cast<size_t>(n));
      at += n;
    }
    return text;
  }

 private:
  std::FILE* file_;
};

struct Child {
  size_t index = 0;
  std::unique_ptr<CaptureFile> out;
  std::unique_ptr<CaptureFile> err;
};

std::string Duration(double seconds) {
  const long long s = static_cast<long long>(seconds + 0.5);
  if (s < 60) return std::to_string(s) + " s";
  if (s < 3600) return std::to_string(s / 60) + " min " + std::to_string(s % 60) + " s";
  return std::to_string(s / 3600) + " h " + std::to_string(s / 60 % 60) + " min";
}

std::string Plural(size_t n, const std::string& noun) {
  return std::to_string(n) + " " + noun + (n == 1 ? "" : "s");
}

class Scheduler {
 public:
  Scheduler(const BatchCommandLine& line, const std::vector<std::string>& args,
            std::vector<Planned> plan, std::ostream& out, std::ostream& err)
      : line_(line),
        out_dir_(*line.experiment.out),
        command_line_(ShellCommandLine("ictalscope-batch", args)),
        plan_(std::move(plan)),
        out_(out),
        err_(err),
        outputs_(plan_.size()),
        finished_(plan_.size(), false),
        progress_(::isatty(STDERR_FILENO) == 1) {}

  void Run() {
    const long cores = ::sysconf(_SC_NPROCESSORS_ONLN);
    const size_t jobs = line_.experiment.jobs > 0 ? static_cast<size_t>(line_.experiment.jobs)
                                                  : static_cast<size_t>(cores > 0 ? cores : 1);
    start_ = Clock::now();
    size_t next = 0;
    ShowProgress();
    while (next < plan_.size() || !running_.empty()) {
      while (next < plan_.size() && running_.size() < jobs) Spawn(next++);
      if (running_.empty()) continue;
      int status = 0;
      const pid_t pid = ::waitpid(-1, &status, 0);
      if (pid < 0) {
        if (errno == EINTR) continue;
        break;
      }
      const auto child = running_.find(pid);
      if (child == running_.end()) continue;
      Finish(std::move(child->second), status);
      running_.erase(child);
      ShowProgress();
    }
    if (progress_) err_ << "\r\033[K" << std::flush;
  }

  size_t done() const { return done_; }
  size_t failed() const { return failed_; }
  size_t skipped() const { return skipped_; }

 private:
  std::vector<std::string> ChildArgs(const Planned& planned) const {
    const ExperimentOptions& x = line_.experiment;
    std::vector<std::string> args = {"ictalscope-batch",
                                     "--quiet",
                                     "--job",
                                     planned.recording,
                                     (out_dir_ / planned.relative).string(),
                                     "--job-command-line",
                                     command_line_};
    if (x.force) args.push_back("--force");
    if (line_.keep_going) args.push_back("--keep-going");
    if (!x.test_fault.empty()) {
      args.push_back("--test-fault");
      args.push_back(x.test_fault);
    }
    args.insert(args.end(), line_.action_args.begin(), line_.action_args.end());
    return args;
  }

  void Spawn(size_t index) {
    Child child;
    child.index = index;
    child.out = std::make_unique<CaptureFile>();
    child.err = std::make_unique<CaptureFile>();
    std::vector<std::string> args = ChildArgs(plan_[index]);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (child.out->fd() >= 0) posix_spawn_file_actions_adddup2(&actions, child.out->fd(), 1);
    if (child.err->fd() >= 0) posix_spawn_file_actions_adddup2(&actions, child.err->fd(), 2);
    pid_t pid = 0;
    const int error =
        ::posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
      Message(plan_[index].recording + ": error: cannot start: " + std::strerror(error));
      ++failed_;
      finished_[index] = true;
      FlushOutputs();
      return;
    }
    running_.emplace(pid, std::move(child));
  }

  void Finish(Child child, int status) {
    const Planned& planned = plan_[child.index];
    for (const std::string& message : Lines(child.err->Contents())) {
      Message(planned.recording + ": " + message);
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
      ++done_;
    } else if (WIFEXITED(status) && WEXITSTATUS(status) == kJobSkipped) {
      ++skipped_;
    } else {
      ++failed_;
      if (WIFSIGNALED(status)) {
        Message(planned.recording + ": error: crashed (" + ::strsignal(WTERMSIG(status)) +
                "); its folder is left out");
      } else if (WEXITSTATUS(status) != 1) {
        Message(planned.recording + ": error: ended with status " +
                std::to_string(WEXITSTATUS(status)));
      }
      // What a crashed child had written stays out of sight, and goes.
      const fs::path folder = out_dir_ / planned.relative;
      std::error_code ignored;
      fs::remove_all(folder.parent_path() / PartialFolderName(folder.filename().string()), ignored);
    }
    outputs_[child.index] = std::move(child.out);
    finished_[child.index] = true;
    FlushOutputs();
  }

  // The children's standard output, whole, in the recordings' order.
  void FlushOutputs() {
    while (flushed_ < plan_.size() && finished_[flushed_]) {
      if (outputs_[flushed_]) {
        out_ << outputs_[flushed_]->Contents() << std::flush;
        outputs_[flushed_].reset();
      }
      ++flushed_;
    }
  }

  static std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
      const size_t end = std::min(text.find('\n', start), text.size());
      lines.push_back(text.substr(start, end - start));
      start = end + 1;
    }
    return lines;
  }

  void Message(const std::string& text) {
    if (progress_) err_ << "\r\033[K";
    err_ << text << '\n';
    if (progress_) ShowProgress();
    err_ << std::flush;
  }

  void ShowProgress() {
    if (!progress_) return;
    const size_t finished = done_ + failed_ + skipped_;
    std::string line = std::to_string(finished) + " of " + Plural(plan_.size(), "recording") +
                       " done, " + std::to_string(failed_) + " failed";
    if (finished > 0 && finished < plan_.size()) {
      const double elapsed = std::chrono::duration<double>(Clock::now() - start_).count();
      line += ", about " + Duration(elapsed / finished * (plan_.size() - finished)) + " left";
    }
    err_ << "\r\033[K" << line << std::flush;
  }

  const BatchCommandLine& line_;
  const fs::path out_dir_;
  const std::string command_line_;
  const std::vector<Planned> plan_;
  std::ostream& out_;
  std::ostream& err_;
  std::map<pid_t, Child> running_;
  std::vector<std::unique_ptr<CaptureFile>> outputs_;
  std::vector<bool> finished_;
  size_t flushed_ = 0;
  const bool progress_;
  Clock::time_point start_;
  size_t done_ = 0;
  size_t failed_ = 0;
  size_t skipped_ = 0;
};

// The recordings and their output folders; nullopt (reported) when none matched or two would
// write into the same folder or one into another's.
std::optional<std::vector<Planned>> Plan(const ExperimentOptions& x, std::ostream& err) {
  std::vector<std::string> unmatched;
  const std::vector<std::string> recordings = MatchRecordings(x.patterns, *x.out, &unmatched);
  for (const std::string& pattern : unmatched) {
    err << "warning: no recording matches " << pattern << '\n';
  }
  if (recordings.empty()) {
    err << "error: no recording matches the patterns\n";
    return std::nullopt;
  }
  const fs::path common = DeepestCommonFolder(recordings);
  std::vector<Planned> plan;
  std::map<std::string, std::string> folders;
  for (const std::string& recording : recordings) {
    const fs::path relative = RelativeOutputFolder(recording, common);
    const std::string key = relative.generic_string();
    const auto [at, inserted] = folders.emplace(key, recording);
    if (!inserted) {
      err << "error: " << at->second << " and " << recording << " would both write into "
          << (fs::path(*x.out) / relative).string() << '\n';
      return std::nullopt;
    }
    plan.push_back({recording, relative});
  }
  // A folder inside another would be swept away when that one is renamed into place.
  for (auto it = folders.begin(); it != folders.end(); ++it) {
    const auto next = std::next(it);
    if (next != folders.end() && next->first.rfind(it->first + "/", 0) == 0) {
      err << "error: the output folder of " << next->second << " would lie in that of "
          << it->second << " (" << (fs::path(*x.out) / it->first).string() << ")\n";
      return std::nullopt;
    }
  }
  return plan;
}

// Rewrites DIR/summary.csv, warning of each provenance file it cannot read; its rows.
size_t WriteSummaryWarning(const fs::path& dir, std::ostream& err) {
  std::vector<std::string> unreadable;
  const size_t rows = WriteSummary(dir, &unreadable);
  for (const std::string& file : unreadable) {
    err << "warning: unreadable provenance: " << file << '\n';
  }
  return rows;
}

}  // namespace

int RunExperiment(const BatchCommandLine& line, const std::vector<std::string>& args,
                  std::ostream& out, std::ostream& err) {
  const ExperimentOptions& x = line.experiment;
  const std::optional<std::vector<Planned>> plan = Plan(x, err);
  if (!plan) return 1;
  if (x.list) {
    for (const Planned& planned : *plan) {
      out << planned.recording << '\t' << planned.relative.generic_string() << '\n';
    }
    return 0;
  }
  const fs::path dir = *x.out;
  std::error_code error;
  fs::create_directories(dir, error);
  if (error) {
    err << "error: cannot create " << dir.string() << ": " << error.message() << '\n';
    return 1;
  }
  Scheduler scheduler(line, args, *plan, out, err);
  scheduler.Run();
  int status = scheduler.failed() > 0 ? 1 : 0;
  try {
    const size_t rows = WriteSummaryWarning(dir, err);
    if (!line.quiet) {
      if (scheduler.skipped() > 0) {
        err << "skipped " << Plural(scheduler.skipped(), "recording")
            << " already done (--force redoes them)\n";
      }
      err << "experiment: " << Plural(plan->size(), "recording") << ", " << scheduler.done()
          << " run, " << scheduler.skipped() << " skipped, " << scheduler.failed() << " failed; "
          << Plural(rows, "row") << " in " << (dir / kSummaryFile).string() << '\n';
    }
  } catch (const fs::filesystem_error& e) {
    err << "error: " << e.what() << '\n';
    status = 1;
  }
  return status;
}

int RunSummary(const BatchCommandLine& line, std::ostream& err) {
  const fs::path dir = *line.experiment.summary;
  std::error_code error;
  if (!fs::is_directory(dir, error)) {
    err << "error: no such folder: " << dir.string() << '\n';
    return 1;
  }
  try {
    const size_t rows = WriteSummaryWarning(dir, err);
    if (!line.quiet) {
      err << "summary: " << Plural(rows, "row") << " in " << (dir / kSummaryFile).string() << '\n';
    }
  } catch (const fs::filesystem_error& e) {
    err << "error: " << e.what() << '\n';
    return 1;
  }
  return 0;
}

}  // namespace ictalscope
