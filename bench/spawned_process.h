#pragma once

// Shared by the benchmarks that time fresh processes: spawning one, its wall-clock time from
// spawn to exit, and what wait4 tells of it.

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

extern char** environ;

namespace ictalscope::bench {

struct ProcessRun {
  double wall_ms = 0;
  double cpu_ms = 0;
  long minor_faults = 0;
  double peak_mib = 0;
};

inline double NowMs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) * 1e-6;
}

inline double Ms(const timeval& t) {
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) * 1e-3;
}

// A spawned child starts from the memory of this process, and its peak RSS from this process's
// peak (the writing of a recording): resetting the peak to the present RSS, a few MiB, before
// each spawn leaves the child's own peak. Where the reset is refused the peaks are upper bounds.
inline bool ResetPeakRss() {
  std::ofstream clear_refs("/proc/self/clear_refs");
  clear_refs << "5";
  clear_refs.flush();
  return static_cast<bool>(clear_refs);
}

// Runs `args` with standard output and error sent to /dev/null and waits for it; nothing (and
// the reason on standard error) when it cannot start or does not exit with status 0.
inline std::optional<ProcessRun> Spawn(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  ResetPeakRss();
  const double start = NowMs();
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
  const double end = NowMs();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "%s failed (status %d)\n", argv[0], status);
    return std::nullopt;
  }
  return ProcessRun{end - start, Ms(usage.ru_utime) + Ms(usage.ru_stime), usage.ru_minflt,
                    static_cast<double>(usage.ru_maxrss) / 1024.0};
}

inline double MedianOf(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  if (n == 0) return 0;
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace ictalscope::bench
