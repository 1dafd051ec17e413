// Writes the demo recordings:
//   make_demo DIR         DIR/1.wcp, the six-record demo bundled in examples/
//   make_demo --big DIR   DIR/big.wcp, one record of 10,000,001 samples for memory and speed checks
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>

#include "demo_recording.h"

namespace {

int Usage() {
  std::fputs(
      "usage: make_demo DIR        writes DIR/1.wcp (the demo recording)\n"
      "       make_demo --big DIR  writes DIR/big.wcp (one record of 10,000,001 samples)\n",
      stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace ictalscope::demo;
  const bool big = argc == 3 && std::string(argv[1]) == "--big";
  if (argc != 2 && !big) return Usage();
  const std::filesystem::path dir = argv[argc - 1];
  try {
    std::filesystem::create_directories(dir);
    if (big) {
      WriteRecording((dir / "big.wcp").string(), BigHeader(), {BigPlan()});
    } else {
      WriteRecording((dir / "1.wcp").string(), DemoHeader(), DemoPlans());
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_demo: %s\n", e.what());
    return 1;
  }
  return 0;
}
