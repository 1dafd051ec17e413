#include "recording/conditioning.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>

#include "base/error.h"
#include "base/file_layer.h"
#include "base/format_fixed.h"
#include "recording/float_ops.h"

namespace ictalscope {

namespace {

// What writing to a dump file that was never opened reports.
constexpr int kFileNotOpenError = 103;

constexpr const char* kDumpFileName = "V.dat";

}  // namespace

void Conditioning::BeginLoad() {
  Panel& panel = ws_.panel;
  ws_.PlotStep = TruncToInt32(FieldValue(panel, Field::step_V));
  if (panel.IsChecked(Check::VDat))
    vdat_.emplace(kDumpFileName, TextOutput::Mode::kCreate, TextOutput::Writes::kBlocks);
  if (panel.IsChecked(Check::Filter)) {
    ws_.trace.AcqTime = FieldValue(panel, Field::AcqTime);
    RefreshFilterCoef(ws_);
  }
  if (panel.IsChecked(Check::Stimulation)) RefreshStimTiming(ws_);
}

void Conditioning::ConditionSamples(int32_t first, int32_t last) {
  const bool filter = ws_.panel.IsChecked(Check::Filter);
  const bool dump = ws_.panel.IsChecked(Check::VDat);
  if (filter) Smooth(first, last);
  Draw(first, last, filter, dump);
}

void Conditioning::Smooth(int32_t first, int32_t last) {
  const long double coef = ws_.FilterCoef;
  const long double rest = 1 - coef;
  const double* v = std::as_const(ws_.trace.V).data();
  double* filtered = ws_.Filtered.data();
  int32_t k = first;
  if (k == 0 && k <= last) filtered[k++] = v[0];
  for (; k <= last; ++k) {
    filtered[k] = static_cast<double>(coef * filtered[k - 1] + rest * v[k]);
  }
}

// Visits only the multiples of |PlotStep| above 2, so no division is done per sample; without a
// dump, a chunk only extends the run by its drawn samples.
void Conditioning::Draw(int32_t first, int32_t last, bool filter, bool dump) {
  int64_t k = std::max<int32_t>(first, 3);
  if (k > last) return;
  const int64_t step = std::abs(static_cast<int64_t>(ws_.PlotStep));
  if (step == 0) throw Error(messages::kDivisionByZero);
  k = (k + step - 1) / step * step;
  if (k > last) return;
  if (!run_) StartRun(k, step, filter);
  if (!dump) {
    points_ += ((last - k) / step + 1) * run_->SourceCount();
    ws_.chart.ExtendLastRun(Series::V, points_);
    return;
  }
  for (; k <= last; k += step) {
    const int32_t index = static_cast<int32_t>(k);
    if (run_->SourceCount() == 2) DrawAndDumpPoint(index, ws_.Filtered[index]);
    DrawAndDumpPoint(index, std::as_const(ws_.trace.V)[index]);
  }
}

// The run of this load: the smoothed values and the trace in turn when "Filter" is ticked.
void Conditioning::StartRun(int64_t first, int64_t step, bool filter) {
  const double* v = std::as_const(ws_.trace.V).data();
  const std::array<const double*, 2> sources =
      filter ? std::array<const double*, 2>{ws_.Filtered.data(), v}
             : std::array<const double*, 2>{v, nullptr};
  run_.emplace(sources, int64_t{ws_.trace.LastIndex} + 1, first, step, ws_.trace.AcqTime, 0.0);
  ws_.chart.AppendRun(Series::V, *run_);
}

// Each point is on the chart before its line is written, so a failing write leaves it drawn.
void Conditioning::DrawAndDumpPoint(int64_t k, double y) {
  ws_.chart.ExtendLastRun(Series::V, ++points_);
  if (!vdat_) throw Error(NamingFile(messages::IoError(kFileNotOpenError), kDumpFileName));
  vdat_->WriteLine(FormatFixed(run_->X(k), 0, 6) + " " + FormatFixed(y, 0, 2));
}

void Conditioning::EndLoad() {
  Panel& panel = ws_.panel;
  if (panel.IsChecked(Check::Filter) && ws_.trace.LastIndex >= 0) KeepSmoothedValues();
  if (panel.IsChecked(Check::VDat)) {
    if (!vdat_) throw Error(NamingFile(messages::IoError(kFileNotOpenError), kDumpFileName));
    Abort();
  }
}

// V[0..LastIndex] := Filtered by trading the arrays, which leaves the raw samples that the chart
// shows in place; the samples of V above LastIndex, which earlier loads wrote, are put back.
void Conditioning::KeepSmoothedValues() {
  swap(ws_.trace.V, ws_.Filtered);
  const int64_t from = int64_t{ws_.trace.LastIndex} + 1;
  if (ws_.v_written_end > from) {
    std::copy(ws_.Filtered.data() + from, ws_.Filtered.data() + ws_.v_written_end,
              ws_.trace.V.data() + from);
  }
}

void Conditioning::Abort() {
  if (!vdat_) return;
  // Forgotten even when the close fails, so that no later step closes it twice.
  struct Forget {
    std::optional<TextOutput>& file;
    ~Forget() { file.reset(); }
  } forget{vdat_};
  vdat_->Close();
}

void RefreshFilterCoef(Workspace& ws) {
  const long double ratio =
      Divide(-static_cast<long double>(ws.trace.AcqTime), FieldValue(ws.panel, Field::tau));
  ws.FilterCoef = static_cast<double>(std::exp(ratio));
  WriteFieldValue(ws.panel, Field::a, ws.FilterCoef);
}

void RefreshStimTiming(Workspace& ws) {
  Panel& panel = ws.panel;
  const long double interval_ms = Divide(1000, FieldValue(panel, Field::StimHz));
  WriteFieldValue(panel, Field::StimInterval, static_cast<double>(interval_ms));
  ws.stim.IntervalMs = FieldValue(panel, Field::StimInterval);
  ws.stim.DelayMs = FieldValue(panel, Field::StimDelay);
  ws.stim.DurationMs = FieldValue(panel, Field::StimDuration);
}

}  // namespace ictalscope
