// Writes the demo recordings:
//   make_demo DIR         DIR/1.wcp, the six-record demo (the build writes it into the build
//                         tree's examples/, and ./run.sh copies it into examples/)
//   make_demo --big DIR   DIR/big.wcp, one record of 10,000,001 samples for memory and speed checks
//   make_demo --big-abf DIR  DIR/BIG.abf, a 1-GB gap-free ABF file (records of 10,000,001
//                            samples) for the memory check
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>

#include "big_abf.h"
#include "demo_recording.h"

namespace {

int Usage() {
  std::fputs(
      "usage: make_demo DIR        writes DIR/1.wcp (the demo recording)\n"
      "       make_demo --big DIR  writes DIR/big.wcp (one record of 10,000,001 samples)\n"
      "       make_demo --big-abf DIR  writes DIR/BIG.abf (1 GB gap-free, 5e8 samples at 20 us)\n",
      stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace ictalscope::demo;
  const std::string flag = argc == 3 ? argv[1] : "";
  const bool big = flag == "--big";
  const bool big_abf = flag == "--big-abf";
  if (argc != 2 && !big && !big_abf) return Usage();
  const std::filesystem::path dir = argv[argc - 1];
  try {
    std::filesystem::create_directories(dir);
    if (big) {
      WriteRecording((dir / "big.wcp").string(), BigHeader(), {BigPlan()});
    } else if (big_abf) {
      WriteBigAbf((dir / "BIG.abf").string());
    } else {
      // Written beside and then renamed, so that a reader never sees a file cut short.
      const std::filesystem::path part = dir / "1.wcp.part";
      WriteRecording(part.string(), DemoHeader(), DemoPlans());
      std::filesystem::rename(part, dir / "1.wcp");
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_demo: %s\n", e.what());
    return 1;
  }
  return 0;
}
