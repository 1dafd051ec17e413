#pragma once

// Shared by the benchmarks: the long recording in a temporary working directory, the plain-read
// baseline that a load is measured against, and a reporter that prints the ratio of each
// measured load to it.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "demo_recording.h"
#include "recording/trace.h"
#include "support/scratch_directory.h"

namespace ictalscope::bench {

inline constexpr int32_t kBigSamples = 10'000'001;  // the loader reads N - 1023 of N pairs

// Writes big.wcp (one record, 10,000,001 loaded samples, 300 spikes) into a fresh temporary
// directory, the working directory while the object lives, where the loader looks for
// recordings and the analyses write their tables.
class BigRecordingDirectory : public testing::ScratchDirectory {
 public:
  BigRecordingDirectory() { demo::WriteRecording("big.wcp", demo::BigHeader(), {demo::BigPlan()}); }
};

// What any load has to do at least: read the header and the bytes of record 1 in large blocks
// and convert the samples of channel 0 to mV. Returns false when the file is short.
inline bool ReadBaseline(const char* path, double mv_per_count, double* mv) {
  constexpr size_t kBlockBytes = 1 << 20;  // a multiple of the 4-byte sample pair
  static std::vector<char> block(kBlockBytes);
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path, "rb"), std::fclose);
  if (!file || std::fread(block.data(), 1, 512, file.get()) != 512) return false;
  if (std::fseek(file.get(), 2048, SEEK_SET) != 0) return false;
  size_t remaining = size_t{4} * kBigSamples;
  int32_t k = 0;
  while (remaining > 0) {
    const size_t want = std::min(remaining, kBlockBytes);
    if (std::fread(block.data(), 1, want, file.get()) != want) return false;
    for (size_t offset = 0; offset < want; offset += 4) {
      int16_t counts;
      std::memcpy(&counts, block.data() + offset, sizeof counts);
      mv[k++] = counts * mv_per_count;
    }
    remaining -= want;
  }
  return true;
}

inline void BM_Baseline(benchmark::State& state) {
  const writer::WcpHeader header = demo::BigHeader();
  const double mv_per_count = header.ad * 0.001 / (header.yg0 * 32767);
  // A record-sized array like the trace: 2-MiB aligned and advised for huge pages.
  static SampleArray mv;
  for (auto _ : state) {
    if (!ReadBaseline("big.wcp", mv_per_count, mv.data())) {
      state.SkipWithError("short read");
      break;
    }
    benchmark::DoNotOptimize(mv.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kBigSamples);
}

// The console report, then the measured benchmark's time per iteration over the baseline's, in
// real time and in CPU time (the latter is steadier on a busy machine).
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.iterations == 0) continue;
      const Seconds seconds{run.real_accumulated_time / run.iterations,
                            run.cpu_accumulated_time / run.iterations};
      auto [it, inserted] = seconds_.emplace(run.run_name.function_name, seconds);
      if (!inserted && seconds.real < it->second.real) it->second = seconds;
    }
    ConsoleReporter::ReportRuns(runs);
  }

  // Prints both ratios of `measured` to `baseline`; false when either did not run.
  bool PrintRatio(const std::string& measured, const std::string& baseline, double target) const {
    const auto m = seconds_.find(measured), b = seconds_.find(baseline);
    if (m == seconds_.end() || b == seconds_.end()) return false;
    const double real_ratio = m->second.real / b->second.real;
    const double cpu_ratio = m->second.cpu / b->second.cpu;
    std::printf(
        "%s / %s: real %.1f / %.1f ms = %.2f, CPU %.1f / %.1f ms = %.2f "
        "(target: within %gx) %s\n",
        measured.c_str(), baseline.c_str(), m->second.real * 1e3, b->second.real * 1e3, real_ratio,
        m->second.cpu * 1e3, b->second.cpu * 1e3, cpu_ratio, target,
        real_ratio <= target ? "met" : "NOT MET");
    return true;
  }

 private:
  struct Seconds {
    double real;
    double cpu;
  };
  std::map<std::string, Seconds> seconds_;
};

// A measured benchmark and the factor of the baseline's time that it should stay within.
struct RatioTarget {
  std::string measured;
  double target;
};

// Runs the benchmarks selected on the command line in a `Directory` (a ScratchDirectory that
// writes the recordings they load) and prints the ratio of each measured benchmark to the
// baseline when both ran. By default each benchmark is repeated ten times, the repetitions of
// all of them shuffled together, so that a slow spell of a shared machine falls on the baseline
// as often as on the measured work; the ratio compares the fastest repetitions. Flags given on
// the command line come later and win.
template <typename Directory = BigRecordingDirectory>
int RunWithRatios(int argc, char** argv, const std::vector<RatioTarget>& targets) {
  std::vector<char*> args(argv, argv + argc);
  char repetitions[] = "--benchmark_repetitions=10";
  char interleaving[] = "--benchmark_enable_random_interleaving=true";
  args.insert(args.begin() + 1, {repetitions, interleaving});
  argc = static_cast<int>(args.size());
  argv = args.data();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  Directory directory;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\n");
  for (const RatioTarget& ratio : targets) {
    reporter.PrintRatio(ratio.measured, "BM_Baseline", ratio.target);
  }
  benchmark::Shutdown();
  return 0;
}

// One measured benchmark against the baseline in the big recording's directory.
inline int RunWithRatio(int argc, char** argv, const std::string& measured, double target) {
  return RunWithRatios(argc, argv, {{measured, target}});
}

}  // namespace ictalscope::bench
