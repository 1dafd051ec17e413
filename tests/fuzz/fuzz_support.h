#pragma once

#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.h"

// Helpers shared by the fuzz targets. Every ictalscope::Error is an expected outcome of bad
// input; a crash, a sanitizer report, a hang, another exception type or a failed property is a
// finding.
namespace ictalscope::fuzz {

namespace detail {
inline std::filesystem::path& ScratchPath() {
  static std::filesystem::path path;
  return path;
}
}  // namespace detail

// libFuzzer reads its arguments after LLVMFuzzerInitialize: the paths among them (corpus
// folders, inputs and the path flags below) are made absolute there, so that they still hold
// once the working directory has changed, and artifacts go to the starting directory unless
// -artifact_prefix says otherwise. The program's own name (argv[0]) may not change; fork and
// merge modes start it again from a parent that runs no input and so keeps its directory.
inline void MakePathArgumentsAbsolute(int* argc, char*** argv) {
  static std::vector<std::string> arguments;
  static std::vector<char*> pointers;
  constexpr std::string_view kPathFlags[] = {
      "-artifact_prefix=", "-exact_artifact_path=", "-dict=",
      "-features_dir=",    "-merge_control_file=",  "-mutation_graph_file="};
  bool artifact_prefix = false;
  for (int i = 0; i < *argc; ++i) {
    std::string arg = (*argv)[i];
    if (i > 0 && !arg.empty() && arg[0] != '-') arg = std::filesystem::absolute(arg).string();
    for (std::string_view flag : kPathFlags) {
      if (arg.starts_with(flag) && arg.size() > flag.size()) {
        arg = std::string(flag) + std::filesystem::absolute(arg.substr(flag.size())).string();
      }
    }
    artifact_prefix = artifact_prefix || arg.starts_with(kPathFlags[0]);
    arguments.push_back(arg);
  }
  if (!artifact_prefix) {
    arguments.push_back(std::string(kPathFlags[0]) + std::filesystem::current_path().string() +
                        "/");
  }
  for (std::string& arg : arguments) pointers.push_back(arg.data());
  pointers.push_back(nullptr);
  *argc = static_cast<int>(arguments.size());
  *argv = pointers.data();
}

// Makes a fresh temporary directory the working directory for the rest of the process (the
// loader and the commands name their files relative to it, "V.dat" among them), the first time
// it is called; the directory is removed at a normal exit. Call at the start of each input.
inline void EnterScratchDirectory() {
  static bool entered = false;
  if (entered) return;
  entered = true;
  std::string pattern =
      (std::filesystem::temp_directory_path() / "ictalscope-fuzz-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  detail::ScratchPath() = pattern;
  std::filesystem::current_path(pattern);
  std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(detail::ScratchPath(), ignored);
  });
}

// Empties the working directory, so that an input never sees the files of the one before (the
// discharge tables would otherwise grow with every input).
inline void ClearScratchDirectory() {
  for (const auto& entry : std::filesystem::directory_iterator(".")) {
    std::filesystem::remove_all(entry.path());
  }
}

inline void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  if (!out) throw std::runtime_error("cannot write " + path);
}

// Runs one command; true when it completed, false when it stopped with an Error.
template <typename Command>
bool Tolerate(Command&& command) {
  try {
    command();
    return true;
  } catch (const Error&) {
    return false;
  }
}

// A property that must hold whatever the input: its failure aborts, so the fuzzer keeps the input.
inline void Expect(bool holds, const std::string& what) {
  if (holds) return;
  std::fprintf(stderr, "ictalscope fuzz: property failed: %s\n", what.c_str());
  std::abort();
}

}  // namespace ictalscope::fuzz
