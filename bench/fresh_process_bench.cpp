// Fresh processes, as a user runs them: the batch tool loading the 10,000,001-sample record and
// finding its spikes, against a minimal program that reads and converts the same record and
// makes one slope scan (fresh_process_baseline):
//   ictalscope-batch --quiet name=big load spikes
//   fresh_process_baseline big.wcp
// Both run in the big recording's temporary folder, one after the other, alternating which goes
// first, after one untimed run of each (so both find the file in the page cache). Each process
// is timed by the wall clock from its spawn to its exit; its minor page faults, CPU time and peak
// RSS come from wait4. Prints the medians and the ratio of the median wall-clock times (target:
// the batch tool within 1.5x of the baseline; the ratio of the CPU times, steadier on a busy
// machine, beside it), and whether a trace array gets transparent huge pages on this machine.
//   fresh_process_bench [--runs=N] [--quick] [--batch=PATH] [--baseline=PATH]
// --runs: pairs of timed runs (default 21); --quick: one pair, a check that both programs run.
// Exits 1 when a process fails; a target not met is reported, not an error.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "big_recording.h"
#include "recording/trace.h"

extern char** environ;

namespace ictalscope::bench {
namespace {

constexpr double kTarget = 1.5;

struct ProcessRun {
  double wall_ms = 0;
  double cpu_ms = 0;
  long minor_faults = 0;
  double peak_mib = 0;
};

double Now() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) * 1e-6;
}

double Ms(const timeval& t) {
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) * 1e-3;
}

// A spawned child starts from the memory of this process, and its peak RSS from this process's
// peak (the writing of the recording): resetting the peak to the present RSS, a few MiB, before
// each spawn leaves the child's own peak. Where the reset is refused the peaks are upper bounds.
bool ResetPeakRss() {
  std::ofstream clear_refs("/proc/self/clear_refs");
  clear_refs << "5";
  clear_refs.flush();
  return static_cast<bool>(clear_refs);
}

// Runs `args` with standard output and error sent to /dev/null; nothing when it fails.
std::optional<ProcessRun> Spawn(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  ResetPeakRss();
  const double start = Now();
  pid_t pid = 0;
  const int error = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) {
    std::fprintf(stderr, "cannot start %s: %s\n", argv[0], std::strerror(error));
    return std::nullopt;
  }
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid) return std::nullopt;
  const double end = Now();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "%s failed (status %d)\n", argv[0], status);
    return std::nullopt;
  }
  return ProcessRun{end - start, Ms(usage.ru_utime) + Ms(usage.ru_stime), usage.ru_minflt,
                    static_cast<double>(usage.ru_maxrss) / 1024.0};
}

template <typename Field>
double Median(std::vector<ProcessRun> runs, Field field) {
  std::vector<double> values;
  for (const ProcessRun& run : runs) values.push_back(static_cast<double>(run.*field));
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void PrintMedians(const char* name, const std::vector<ProcessRun>& runs) {
  std::printf("%-24s median %7.1f ms wall, %7.1f ms CPU, %7.0f minor faults, %6.1f MiB peak RSS\n",
              name, Median(runs, &ProcessRun::wall_ms), Median(runs, &ProcessRun::cpu_ms),
              Median(runs, &ProcessRun::minor_faults), Median(runs, &ProcessRun::peak_mib));
}

// The AnonHugePages of this process's mapping that holds `address`, in kB; -1 when unknown.
long AnonHugePagesKb(const void* address) {
  std::ifstream smaps("/proc/self/smaps");
  const auto at = reinterpret_cast<uintptr_t>(address);
  bool inside = false;
  for (std::string line; std::getline(smaps, line);) {
    unsigned long from = 0, to = 0;
    if (std::sscanf(line.c_str(), "%lx-%lx ", &from, &to) == 2) {
      inside = from <= at && at < to;
    } else if (inside && line.rfind("AnonHugePages:", 0) == 0) {
      return std::strtol(line.c_str() + std::strlen("AnonHugePages:"), nullptr, 10);
    }
  }
  return -1;
}

void ReportHugePages() {
  std::ifstream enabled_file("/sys/kernel/mm/transparent_hugepage/enabled");
  std::string enabled;
  std::getline(enabled_file, enabled);
  SampleArray array;
  std::fill(array.data(), array.data() + kTraceCapacity, 1.0);
  const long kb = AnonHugePagesKb(array.data());
  std::printf("transparent huge pages: %s; a written trace array has %ld kB of %zu in huge pages\n",
              enabled.empty() ? "not offered" : enabled.c_str(), kb,
              SampleArray::kMappedBytes / 1024);
}

struct Options {
  int runs = 21;
  std::string batch = ICTALSCOPE_BATCH_EXE;
  std::string baseline = ICTALSCOPE_BASELINE_EXE;
};

std::optional<Options> ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--quick") {
      options.runs = 1;
    } else if (arg.rfind("--runs=", 0) == 0 && std::atoi(arg.c_str() + 7) > 0) {
      options.runs = std::atoi(arg.c_str() + 7);
    } else if (arg.rfind("--batch=", 0) == 0) {
      options.batch = arg.substr(8);
    } else if (arg.rfind("--baseline=", 0) == 0) {
      options.baseline = arg.substr(11);
    } else {
      std::fprintf(stderr,
                   "usage: fresh_process_bench [--runs=N] [--quick] [--batch=PATH] "
                   "[--baseline=PATH]\n");
      return std::nullopt;
    }
  }
  return options;
}

int Run(const Options& options) {
  BigRecordingDirectory directory;
  const std::vector<std::string> batch = {options.batch, "--quiet", "name=big", "load", "spikes"};
  const std::vector<std::string> baseline = {options.baseline, "big.wcp"};
  if (!Spawn(batch) || !Spawn(baseline)) return 1;  // untimed: the file into the page cache
  std::vector<ProcessRun> batch_runs, baseline_runs;
  for (int i = 0; i < options.runs; ++i) {
    for (int j = 0; j < 2; ++j) {
      const bool batch_now = (i + j) % 2 == 0;
      const std::optional<ProcessRun> run = Spawn(batch_now ? batch : baseline);
      if (!run) return 1;
      (batch_now ? batch_runs : baseline_runs).push_back(*run);
    }
  }
  ReportHugePages();
  if (!ResetPeakRss())
    std::printf("(the peak RSS could not be reset: the peaks below are upper bounds)\n");
  std::printf("%d alternating runs of each\n", options.runs);
  PrintMedians("ictalscope-batch", batch_runs);
  PrintMedians("fresh_process_baseline", baseline_runs);
  const double batch_ms = Median(batch_runs, &ProcessRun::wall_ms);
  const double baseline_ms = Median(baseline_runs, &ProcessRun::wall_ms);
  const double batch_cpu = Median(batch_runs, &ProcessRun::cpu_ms);
  const double baseline_cpu = Median(baseline_runs, &ProcessRun::cpu_ms);
  const double ratio = batch_ms / baseline_ms;
  std::printf(
      "ictalscope-batch / fresh_process_baseline: wall %.1f / %.1f ms = %.2f, CPU %.1f / %.1f ms "
      "= %.2f (target: within %gx) %s\n",
      batch_ms, baseline_ms, ratio, batch_cpu, baseline_cpu, batch_cpu / baseline_cpu, kTarget,
      ratio <= kTarget ? "met" : "NOT MET");
  return 0;
}

}  // namespace
}  // namespace ictalscope::bench

int main(int argc, char** argv) {
  const std::optional<ictalscope::bench::Options> options =
      ictalscope::bench::ParseOptions(argc, argv);
  return options ? ictalscope::bench::Run(*options) : 2;
}
