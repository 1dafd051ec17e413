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
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "big_recording.h"
#include "recording/trace.h"
#include "spawned_process.h"

namespace ictalscope::bench {
namespace {

constexpr double kTarget = 1.5;

template <typename Field>
double Median(const std::vector<ProcessRun>& runs, Field field) {
  std::vector<double> values;
  for (const ProcessRun& run : runs) values.push_back(static_cast<double>(run.*field));
  return MedianOf(std::move(values));
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
