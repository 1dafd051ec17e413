#include "recording/text_trace_reader.h"

#include <optional>

#include "recording/number_stream.h"
#include "recording/record_length.h"

namespace ictalscope {

namespace {

constexpr int kHeaderLines = 10;

// Reads the samples, calling store(k, v) for each of the first kTraceCapacity and
// set_interval(ms) at sample 3; returns the number of samples.
template <typename Store, typename SetInterval>
int64_t ParseTextTrace(const std::string& path, Store&& store, SetInterval&& set_interval) {
  NumberStream in(path);
  for (int i = 0; i < kHeaderLines; ++i) in.SkipLine();
  int64_t k = 0;
  double previous_time = 0;
  while (std::optional<double> time = in.NextNumber()) {
    in.RequiredNumber();
    double v = in.RequiredNumber();
    in.SkipLine();
    if (k < kTraceCapacity) store(k, v);
    if (k == 3) set_interval(static_cast<double>(static_cast<long double>(*time) - previous_time));
    previous_time = *time;
    ++k;
  }
  if (k > kTraceCapacity) throw RecordTooLong(k);
  return k;
}

}  // namespace

void ReadTextTrace(const std::string& path, Trace& trace) {
  const int64_t samples = ParseTextTrace(
      path, [&trace](int64_t k, double v) { trace.V[static_cast<int32_t>(k)] = v; },
      [&trace](double ms) { trace.AcqTime = ms; });
  trace.LastIndex = static_cast<int32_t>(samples - 1);
}

TextSamples ReadTextSamples(const std::string& path) {
  TextSamples out;
  ParseTextTrace(
      path, [&out](int64_t, double v) { out.v.push_back(v); },
      [&out](double ms) { out.interval_ms = ms; });
  return out;
}

}  // namespace ictalscope
