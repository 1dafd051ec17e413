// "two traces": record Trunc(Analyse) + 1 of the recording named at the last load becomes the
// trace and is drawn on series "V" 300 s to the right of the record that the last load drew
// from 0 s.
//
// It is a load of that record with these differences: nothing is cleared and the points go to
// x = k * AcqTime / 1000 + 300 s; PlotStep is the one the last load took (not refreshed from
// step_V); neither smoothing nor the stimulation refresh runs; the dump goes to "V2.dat",
// created only once the record is known to exist, right before its first sample is read.
// Sample k is drawn (and dumped) when k > 2 and k is a multiple of |PlotStep|.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "analysis/analyses.h"
#include "panel/error.h"
#include "panel/format_fixed.h"
#include "recording/float_ops.h"
#include "recording/loader.h"
#include "recording/record_reading.h"
#include "recording/text_output.h"

namespace ictalscope {

namespace {

constexpr long double kOffsetS = 300;
constexpr const char* kDumpFileName = "V2.dat";

// Trunc(Analyse) + 1 in 32-bit arithmetic, wrapping as the record number does.
int32_t NextRecordNo(const Panel& panel) {
  const int32_t analyse = TruncToInt32(FieldValue(panel, Field::Analyse));
  return static_cast<int32_t>(static_cast<uint32_t>(analyse) + 1u);
}

void DrawChunk(Workspace& ws, TextOutput* dump, int32_t first, int32_t last) {
  int64_t k = std::max<int32_t>(first, 3);
  if (k > last) return;
  const int64_t step = std::abs(static_cast<int64_t>(ws.PlotStep));
  if (step == 0) throw Error(messages::kDivisionByZero);
  for (k = (k + step - 1) / step * step; k <= last; k += step) {
    const double v = ws.trace.V[static_cast<int32_t>(k)];
    const long double t = static_cast<long double>(k) * ws.trace.AcqTime / 1000 + kOffsetS;
    ws.chart.Append(Series::V, static_cast<double>(t), v);
    if (dump != nullptr) dump->WriteLine(FormatFixed(t, 0, 6) + " " + FormatFixed(v, 0, 2));
  }
}

}  // namespace

void RunTwoTraces(Workspace& ws) {
  const std::string path = FindRecording(ws, ws.RecordingName);
  std::optional<TextOutput> dump;
  RecordReading reading;
  reading.record_number = NextRecordNo;
  reading.text_checks_record = true;
  reading.before_samples = [&] {
    if (ws.panel.IsChecked(Check::VDat))
      dump.emplace(kDumpFileName, TextOutput::Mode::kCreate, TextOutput::Writes::kBlocks);
  };
  reading.after_chunk = [&](int32_t first, int32_t last) {
    DrawChunk(ws, dump ? &*dump : nullptr, first, last);
  };
  ReadRecordOf(ws, path, reading);
  if (dump) dump->Close();
}

}  // namespace ictalscope
