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
#include "base/error.h"
#include "base/format_fixed.h"
#include "base/text_output.h"
#include "recording/drawn_run.h"
#include "recording/float_ops.h"
#include "recording/loader.h"
#include "recording/record_reading.h"

namespace ictalscope {

namespace {

constexpr double kOffsetS = 300;
constexpr const char* kDumpFileName = "V2.dat";

// Trunc(Analyse) + 1 in 32-bit arithmetic, wrapping as the record number does.
int32_t NextRecordNo(const Panel& panel) {
  const int32_t analyse = TruncToInt32(FieldValue(panel, Field::Analyse));
  return static_cast<int32_t>(static_cast<uint32_t>(analyse) + 1u);
}

// Draws samples first..last of the record: the run of this "two traces", begun at its first
// drawn sample and grown a chunk (with a dump, a point) at a time.
class SecondTraceDrawing {
 public:
  explicit SecondTraceDrawing(Workspace& ws) : ws_(ws) {}

  void Chunk(TextOutput* dump, int32_t first, int32_t last) {
    int64_t k = std::max<int32_t>(first, 3);
    if (k > last) return;
    const int64_t step = std::abs(static_cast<int64_t>(ws_.PlotStep));
    if (step == 0) throw Error(messages::kDivisionByZero);
    k = (k + step - 1) / step * step;
    if (k > last) return;
    if (!run_) {
      run_.emplace(std::array<const double*, 2>{ws_.trace.V.data(), nullptr},
                   int64_t{ws_.trace.LastIndex} + 1, k, step, ws_.trace.AcqTime, kOffsetS);
      ws_.chart.AppendRun(Series::V, *run_);
    }
    if (dump == nullptr) {
      points_ += (last - k) / step + 1;
      ws_.chart.ExtendLastRun(Series::V, points_);
      return;
    }
    for (; k <= last; k += step) {
      ws_.chart.ExtendLastRun(Series::V, ++points_);
      const double v = ws_.trace.V[static_cast<int32_t>(k)];
      dump->WriteLine(FormatFixed(run_->X(k), 0, 6) + " " + FormatFixed(v, 0, 2));
    }
  }

 private:
  Workspace& ws_;
  std::optional<DrawnRun> run_;
  int64_t points_ = 0;
};

}  // namespace

void RunTwoTraces(Workspace& ws) {
  const std::string path = FindRecording(ws, ws.RecordingName);
  ws.chart.KeepSamplesOf(ws.trace.V.data());
  std::optional<TextOutput> dump;
  SecondTraceDrawing drawing(ws);
  RecordReading reading;
  reading.record_number = NextRecordNo;
  reading.text_checks_record = true;
  reading.before_samples = [&] {
    if (ws.panel.IsChecked(Check::VDat))
      dump.emplace(kDumpFileName, TextOutput::Mode::kCreate, TextOutput::Writes::kBlocks);
  };
  reading.after_chunk = [&](int32_t first, int32_t last) {
    drawing.Chunk(dump ? &*dump : nullptr, first, last);
  };
  ReadRecordOf(ws, path, reading);
  if (dump) dump->Close();
}

}  // namespace ictalscope
