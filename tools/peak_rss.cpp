// Runs a command and reports its peak resident set size (the kernel's high-water mark of the
// child, as getrusage gives it):
//   peak_rss LIMIT_MB COMMAND [ARG...]
// Exits 1 when the command fails or its peak exceeds LIMIT_MB (MiB), 0 otherwise.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

int RunChild(char** argv) {
  const pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    execvp(argv[0], argv);
    std::perror(argv[0]);
    _exit(127);
  }
  int status = 0;
  if (waitpid(pid, &status, 0) < 0) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

double PeakChildMiB() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return usage.ru_maxrss / 1024.0;  // ru_maxrss is in KiB on Linux
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fputs("usage: peak_rss LIMIT_MB COMMAND [ARG...]\n", stderr);
    return 2;
  }
  const double limit_mib = std::atof(argv[1]);
  const int status = RunChild(argv + 2);
  const double peak_mib = PeakChildMiB();
  std::fprintf(stderr, "peak RSS: %.1f MiB (limit %.0f MiB), exit status %d\n", peak_mib, limit_mib,
               status);
  return (status == 0 && peak_mib <= limit_mib) ? 0 : 1;
}
