// An experiment of demo-sized recordings, as a lab runs one: the usual work on each
// ("load each-record stat") by single-recording runs of the batch tool one after the other,
// against one experiment run over all of them with -j 2 and with -j 1:
//   ictalscope-batch --quiet --dir single/cNNN name=cNNN load each-record stat   (each recording)
//   ictalscope-batch --quiet --recordings 'exp/*.wcp' --out outJ -j J load each-record stat
// The recordings are hard links of one demo recording (six records of 20 s at 16 kHz), so that
// they cost no disk and the page cache holds them all after one untimed run. Each round times
// the three, alternating their order from round to round; the medians give
//   - the -j 2 run against the single runs' time divided by 2 (target: within 1.2x), and
//   - the cost of each recording in the -j 1 run beyond the single runs' work (the child
//     process, the hashing of the recording and of the tables, the provenance): target 10 ms.
//   experiment_bench [--recordings=N] [--rounds=R] [--quick] [--batch=PATH]
// --recordings: the experiment's size (default 200); --rounds: default 1; --quick: 4 recordings,
// one round, a check that the runs work. Exits 1 when a process fails; a target not met is
// reported, not an error.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "demo_recording.h"
#include "spawned_process.h"
#include "support/scratch_directory.h"

namespace ictalscope::bench {
namespace {

constexpr double kParallelTarget = 1.2;
constexpr double kOverheadTargetMs = 10;

struct Options {
  int recordings = 200;
  int rounds = 1;
  std::string batch = ICTALSCOPE_BATCH_EXE;
};

std::optional<Options> ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--quick") {
      options.recordings = 4;
      options.rounds = 1;
    } else if (arg.rfind("--recordings=", 0) == 0 && std::atoi(arg.c_str() + 13) > 0) {
      options.recordings = std::atoi(arg.c_str() + 13);
    } else if (arg.rfind("--rounds=", 0) == 0 && std::atoi(arg.c_str() + 9) > 0) {
      options.rounds = std::atoi(arg.c_str() + 9);
    } else if (arg.rfind("--batch=", 0) == 0) {
      options.batch = arg.substr(8);
    } else {
      std::fprintf(stderr,
                   "usage: experiment_bench [--recordings=N] [--rounds=R] [--quick] "
                   "[--batch=PATH]\n");
      return std::nullopt;
    }
  }
  return options;
}

std::string RecordingName(int i) {
  char name[16];
  std::snprintf(name, sizeof name, "c%03d", i);
  return name;
}

// exp/c000.wcp ... as hard links of demo.wcp.
void WriteExperiment(int recordings) {
  demo::WriteRecording("demo.wcp", demo::DemoHeader(), demo::DemoPlans());
  std::filesystem::create_directory("exp");
  for (int i = 0; i < recordings; ++i) {
    std::filesystem::create_hard_link("demo.wcp", "exp/" + RecordingName(i) + ".wcp");
  }
}

// The single-recording runs one after the other, each in a fresh folder of its own that holds
// only its recording, so that its tables are created as an experiment run creates them; the
// sum of their wall-clock times, nothing on a failure.
std::optional<double> SingleRuns(const Options& options) {
  std::filesystem::remove_all("single");
  for (int i = 0; i < options.recordings; ++i) {
    const std::string folder = "single/" + RecordingName(i);
    std::filesystem::create_directories(folder);
    std::filesystem::create_hard_link("demo.wcp", folder + "/" + RecordingName(i) + ".wcp");
  }
  double total = 0;
  for (int i = 0; i < options.recordings; ++i) {
    const std::optional<ProcessRun> run =
        Spawn({options.batch, "--quiet", "--dir", "single/" + RecordingName(i),
               "name=" + RecordingName(i), "load", "each-record", "stat"});
    if (!run) return std::nullopt;
    total += run->wall_ms;
  }
  return total;
}

// An experiment run into a fresh output folder; its wall-clock time.
std::optional<double> ExperimentRun(const Options& options, int jobs) {
  const std::string out = "out" + std::to_string(jobs);
  std::filesystem::remove_all(out);
  const std::optional<ProcessRun> run =
      Spawn({options.batch, "--quiet", "--recordings", "exp/*.wcp", "--out", out, "-j",
             std::to_string(jobs), "load", "each-record", "stat"});
  if (!run) return std::nullopt;
  return run->wall_ms;
}

int Run(const Options& options) {
  testing::ScratchDirectory directory;
  WriteExperiment(options.recordings);
  // Untimed: the recording into the page cache, the program's pages too.
  if (!Spawn(
          {options.batch, "--quiet", "--dir", "exp", "name=c000", "load", "each-record", "stat"})) {
    return 1;
  }
  std::vector<double> single, parallel, serial;
  for (int round = 0; round < options.rounds; ++round) {
    for (int step = 0; step < 3; ++step) {
      switch ((round + step) % 3) {
        case 0: {
          const std::optional<double> ms = SingleRuns(options);
          if (!ms) return 1;
          single.push_back(*ms);
          break;
        }
        case 1: {
          const std::optional<double> ms = ExperimentRun(options, 2);
          if (!ms) return 1;
          parallel.push_back(*ms);
          break;
        }
        default: {
          const std::optional<double> ms = ExperimentRun(options, 1);
          if (!ms) return 1;
          serial.push_back(*ms);
        }
      }
    }
  }
  const double single_ms = MedianOf(single);
  const double parallel_ms = MedianOf(parallel);
  const double serial_ms = MedianOf(serial);
  const double n = options.recordings;
  std::printf("%d recordings (the demo: 6 records of 20 s at 16 kHz each), %d round(s)\n",
              options.recordings, options.rounds);
  std::printf("single-recording runs one after the other: %9.1f ms (%.1f ms a recording)\n",
              single_ms, single_ms / n);
  std::printf("experiment run, -j 1:                      %9.1f ms (%.1f ms a recording)\n",
              serial_ms, serial_ms / n);
  std::printf("experiment run, -j 2:                      %9.1f ms\n", parallel_ms);
  const double ratio = parallel_ms / (single_ms / 2);
  std::printf("-j 2 / (single runs / 2): %.1f / %.1f ms = %.2f (target: within %gx) %s\n",
              parallel_ms, single_ms / 2, ratio, kParallelTarget,
              ratio <= kParallelTarget ? "met" : "NOT MET");
  const double overhead = (serial_ms - single_ms) / n;
  std::printf(
      "cost a recording beyond the work (-j 1 minus single runs): %.1f ms (target: %g ms) "
      "%s\n",
      overhead, kOverheadTargetMs, overhead <= kOverheadTargetMs ? "met" : "NOT MET");
  return 0;
}

}  // namespace
}  // namespace ictalscope::bench

int main(int argc, char** argv) {
  const std::optional<ictalscope::bench::Options> options =
      ictalscope::bench::ParseOptions(argc, argv);
  return options ? ictalscope::bench::Run(*options) : 2;
}
