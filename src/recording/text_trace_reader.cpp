#include "recording/text_trace_reader.h"

#include <optional>

#include "recording/number_stream.h"
#include "recording/record_length.h"

namespace ictalscope {

namespace {

constexpr int kHeaderLines = 10;

}  // namespace

void ReadTextTrace(const std::string& path, Trace& trace) {
  NumberStream in(path);
  for (int i = 0; i < kHeaderLines; ++i) in.SkipLine();
  int64_t k = 0;
  double previous_time = 0;
  while (std::optional<double> time = in.NextNumber()) {
    in.RequiredNumber();
    double v = in.RequiredNumber();
    in.SkipLine();
    if (k < kTraceCapacity) trace.V[static_cast<int32_t>(k)] = v;
    if (k == 3) {
      trace.AcqTime = static_cast<double>(static_cast<long double>(*time) - previous_time);
    }
    previous_time = *time;
    ++k;
  }
  if (k > kTraceCapacity) throw RecordTooLong(k);
  trace.LastIndex = static_cast<int32_t>(k - 1);
}

}  // namespace ictalscope
