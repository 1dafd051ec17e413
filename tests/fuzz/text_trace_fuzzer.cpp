// Fuzz target: the text-trace reader on arbitrary bytes, written as the file that it reads.
// Besides surviving, a trace that reads must lie within the array and hold finite voltages, and
// cannot hold more samples than the bytes allow (three numbers and two separators each).

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "recording/text_trace_reader.h"
#include "recording/trace.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  ictalscope::fuzz::MakePathArgumentsAbsolute(argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace ictalscope;
  using namespace ictalscope::fuzz;
  EnterScratchDirectory();
  static Trace* trace = new Trace;  // one full-size array for the process, as in the program
  trace->LastIndex = -1;
  WriteFile("t", data, size);
  if (!Tolerate([&] { ReadTextTrace("t", *trace); })) return 0;
  const int64_t samples = int64_t{trace->LastIndex} + 1;
  Expect(samples >= 0 && samples <= kTraceCapacity, "LastIndex within the trace");
  Expect(samples * 5 <= static_cast<int64_t>(size), "no more samples than the bytes allow");
  for (int32_t k = 0; k <= trace->LastIndex; ++k) {
    Expect(std::isfinite(trace->V[k]), "finite voltage");
  }
  return 0;
}
