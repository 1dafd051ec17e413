#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "support/scratch_directory.h"

namespace ictalscope::testing {

struct ProgramResult {
  int status;
  std::string out;
  std::string err;
};

// A word for the shell, in single quotes.
inline std::string Quoted(const std::string& arg) {
  std::string text = "'";
  for (char c : arg) text += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return text + "'";
}

// Runs the shell command `command` with its standard error sent to the file `err_path`, which
// is removed afterwards.
inline ProgramResult RunShellCommand(std::string command, const std::filesystem::path& err_path) {
  command += " 2>" + Quoted(err_path.string());
  ProgramResult result{-1, "", ""};
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.out.append(buffer, n);
  const int status = ::pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.err = ReadFile(err_path.string());
  std::filesystem::remove(err_path);
  return result;
}

// Runs the ictalscope-batch program with --dir `dir` and `args`; its standard error goes
// through the file `err_path`, which is removed afterwards.
inline ProgramResult RunBatchProgram(const std::filesystem::path& dir,
                                     const std::vector<std::string>& args,
                                     const std::filesystem::path& err_path) {
  std::string command = Quoted(ICTALSCOPE_BATCH_EXE) + " --dir " + Quoted(dir.string());
  for (const std::string& arg : args) command += " " + Quoted(arg);
  return RunShellCommand(std::move(command), err_path);
}

}  // namespace ictalscope::testing
