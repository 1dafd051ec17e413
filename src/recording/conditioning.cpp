#include "recording/conditioning.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "panel/error.h"
#include "panel/format_fixed.h"
#include "recording/file_layer.h"
#include "recording/float_ops.h"

namespace ictalscope {

namespace {

// What writing to a dump file that was never opened reports.
constexpr int kFileNotOpenError = 103;

constexpr const char* kDumpFileName = "V.dat";

// Seconds from the start of the record to sample k.
long double SampleTime(long double k, long double acq_time_ms) { return k * acq_time_ms / 1000; }

}  // namespace

void Conditioning::BeginLoad() {
  Panel& panel = ws_.panel;
  ws_.PlotStep = TruncToInt32(FieldValue(panel, Field::step_V));
  if (panel.IsChecked(Check::VDat))
    vdat_.emplace(kDumpFileName, TextOutput::Mode::kCreate, TextOutput::Writes::kBlocks);
  if (panel.IsChecked(Check::Filter)) {
    ws_.trace.AcqTime = FieldValue(panel, Field::AcqTime);
    OnTauChanged(ws_);
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
  const double* v = ws_.trace.V.data();
  double* filtered = ws_.Filtered.data();
  int32_t k = first;
  if (k == 0 && k <= last) filtered[k++] = v[0];
  for (; k <= last; ++k) {
    filtered[k] = static_cast<double>(coef * filtered[k - 1] + rest * v[k]);
  }
}

// Visits only the multiples of |PlotStep| above 2, so no division is done per sample.
void Conditioning::Draw(int32_t first, int32_t last, bool filter, bool dump) {
  int64_t k = std::max<int32_t>(first, 3);
  if (k > last) return;
  const int64_t step = std::abs(static_cast<int64_t>(ws_.PlotStep));
  if (step == 0) throw Error(messages::kDivisionByZero);
  if (first == 0 && !dump) ReserveDrawnPoints(step, filter);
  k = (k + step - 1) / step * step;
  if (dump) {
    for (; k <= last; k += step) {
      const int32_t index = static_cast<int32_t>(k);
      if (filter) DrawAndDumpPoint(index, ws_.Filtered[index]);
      DrawAndDumpPoint(index, ws_.trace.V[index]);
    }
    return;
  }
  DrawRuns(k, last, step, filter);
}

// Tells the chart how many points the whole record will add (chunks follow from sample 0).
void Conditioning::ReserveDrawnPoints(int64_t step, bool filter) {
  const int64_t first_drawn = (3 + step - 1) / step * step;
  const int64_t last = ws_.trace.LastIndex;
  if (first_drawn > last) return;
  const int64_t drawn = (last - first_drawn) / step + 1;
  ws_.chart.Reserve(Series::V, static_cast<size_t>(filter ? 2 * drawn : drawn));
}

// Without a dump the points go to the chart a run at a time.
void Conditioning::DrawRuns(int64_t k, int32_t last, int64_t step, bool filter) {
  constexpr int64_t kRun = 512;
  ChartPoint run[kRun];
  const long double acq_time = ws_.trace.AcqTime;
  const double* v = ws_.trace.V.data();
  const double* filtered = ws_.Filtered.data();
  // k held as a long double too (exact: k < 2^31) saves an integer conversion per point.
  long double k_ld = static_cast<long double>(k);
  const long double step_ld = static_cast<long double>(step);
  const int64_t samples_per_run = filter ? kRun / 2 : kRun;
  while (k <= last) {
    const int64_t samples = std::min(samples_per_run, (last - k) / step + 1);
    ChartPoint* p = run;
    for (int64_t i = 0; i < samples; ++i, k += step, k_ld += step_ld) {
      const double x_s = static_cast<double>(SampleTime(k_ld, acq_time));
      if (filter) *p++ = {x_s, filtered[k]};
      *p++ = {x_s, v[k]};
    }
    ws_.chart.AppendPoints(Series::V, std::span<const ChartPoint>(run, p));
  }
}

void Conditioning::DrawAndDumpPoint(int32_t k, double y) {
  const long double x = SampleTime(k, ws_.trace.AcqTime);
  ws_.chart.Append(Series::V, static_cast<double>(x), y);
  if (!vdat_) throw Error(NamingFile(messages::IoError(kFileNotOpenError), kDumpFileName));
  vdat_->WriteLine(FormatFixed(x, 0, 6) + " " + FormatFixed(y, 0, 2));
}

void Conditioning::EndLoad() {
  Panel& panel = ws_.panel;
  if (panel.IsChecked(Check::Filter) && ws_.trace.LastIndex >= 0) {
    std::copy_n(ws_.Filtered.data(), ws_.trace.LastIndex + 1, ws_.trace.V.data());
  }
  if (panel.IsChecked(Check::VDat)) {
    if (!vdat_) throw Error(NamingFile(messages::IoError(kFileNotOpenError), kDumpFileName));
    Abort();
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

void OnTauChanged(Workspace& ws) {
  const long double ratio =
      Divide(-static_cast<long double>(ws.trace.AcqTime), FieldValue(ws.panel, Field::tau));
  ws.FilterCoef = static_cast<double>(std::exp(ratio));
  WriteFieldValue(ws.panel, Field::a, ws.FilterCoef);
}

void OnStimulationClicked(Workspace& ws) {
  if (ws.panel.IsChecked(Check::Stimulation)) RefreshStimTiming(ws);
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
