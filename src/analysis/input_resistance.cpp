// "Rin": input resistance from the fixed protocol of -50 pA current steps, one every 10 s.
//
// With dt = AcqTime (ms) and the cursor k walking through the record V[0..LastIndex]:
//  - the first baseline averages V[10] and the samples from 11 up to the last one before 10 ms;
//  - each step then skips 100 ms (k += Trunc(100 / dt)) and is measured at t = k * dt: V1
//    averages from the step sample forward to the first sample at or after t + 100 ms, or,
//    when a spike onset lies in [t, t + 100], back to the first sample at or before t - 20 ms;
//  - the baseline of the next step averages the samples Trunc((t + 9800) / dt) - 1 up to
//    Trunc((t + 9900) / dt) - 1, leaving the cursor on the second quotient;
//  - Rin = (V1 - Vrest) * 1000 / (-50), in MOhm for mV and pA.
// Means are incremental: after the q-th sample x, mean := ((q - 1) * mean + x) / q, carried in
// extended precision; t and the table columns are stored as doubles, and the cursor is compared
// with the exact extended quotients computed from the stored t.
//
// Only complete steps are reported: a step needs its own baseline, its V1 window and the
// baseline after it (which belongs to the next step) to lie within 0..LastIndex. The first
// step that is not complete ends the run; a record too short for the first baseline gives the
// header line alone.

#include "analysis/input_resistance.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysis/analyses.h"
#include "analysis/discharge_grouping.h"
#include "base/error.h"
#include "base/format_fixed.h"
#include "base/text_output.h"
#include "recording/float_ops.h"

namespace ictalscope {

namespace {

class RunningMean {
 public:
  explicit RunningMean(double first) : mean_(first) {}
  void Take(double x) {
    ++count_;
    mean_ = ((count_ - 1) * mean_ + x) / count_;
  }
  double Value() const { return static_cast<double>(mean_); }

 private:
  long double mean_;
  int64_t count_ = 1;
};

// The step is -50 pA: MOhm for voltages in mV.
double Rin(double vrest, double v1) {
  return static_cast<double>((static_cast<long double>(v1) - vrest) * 1000 / -50);
}

class StepScan {
 public:
  StepScan(std::span<const double> v, double acq_ms, std::span<const double> spike_onsets_ms)
      : v_(v), onsets_(spike_onsets_ms), dt_(acq_ms), last_(static_cast<int64_t>(v.size()) - 1) {}

  std::vector<RinStep> Run() {
    std::vector<RinStep> rows;
    std::optional<double> vrest = FirstBaseline();
    while (vrest && k_ < last_) {
      const int64_t start = k_;
      const int64_t skip = TruncToInt64(100 / dt_);
      if (skip < -k_ || skip > last_ - k_) break;
      k_ += skip;
      const double t = static_cast<double>(k_ * dt_);
      const std::optional<double> v1 = StepVoltage(t);
      const std::optional<double> next_vrest = v1 ? NextBaseline(t) : std::nullopt;
      if (!next_vrest) break;
      rows.push_back({t, *vrest, *v1, Rin(*vrest, *v1)});
      vrest = next_vrest;
      // At a sampling interval of more than 10 s the cursor stands still and every later
      // step would repeat this one without end.
      if (k_ <= start) break;
    }
    return rows;
  }

 private:
  bool InRecord(int64_t k) const { return k >= 0 && k <= last_; }

  std::optional<double> FirstBaseline() {
    const long double end = Divide(10, dt_);  // AcqTime 0 (nothing loaded) faults here
    if (!InRecord(10)) return std::nullopt;
    RunningMean mean(v_[10]);
    for (k_ = 11; k_ < end; ++k_) {
      if (!InRecord(k_)) return std::nullopt;
      mean.Take(v_[k_]);
    }
    return mean.Value();
  }

  bool SpikeInWindow(double t) const {
    const long double window_end = t + 100.0L;
    for (const double tsp : onsets_) {
      if (t <= tsp && tsp <= window_end) return true;
    }
    return false;
  }

  std::optional<double> StepVoltage(double t) {
    RunningMean mean(v_[k_]);
    const bool backward = SpikeInWindow(t);
    const long double bound = backward ? (t - 20.0L) / dt_ : (t + 100.0L) / dt_;
    const int step = backward ? -1 : 1;
    while (backward ? k_ > bound : k_ < bound) {
      k_ += step;
      if (!InRecord(k_)) return std::nullopt;
      mean.Take(v_[k_]);
    }
    return mean.Value();
  }

  std::optional<double> NextBaseline(double t) {
    const int64_t end = TruncToInt64((t + 9900.0L) / dt_);
    k_ = TruncToInt64((t + 9800.0L) / dt_);
    if (k_ < 1 || k_ - 1 > last_) return std::nullopt;
    RunningMean mean(v_[k_ - 1]);
    for (; k_ < end; ++k_) {
      if (!InRecord(k_)) return std::nullopt;
      mean.Take(v_[k_]);
    }
    return mean.Value();
  }

  const std::span<const double> v_;
  const std::span<const double> onsets_;
  const long double dt_;
  const int64_t last_;
  int64_t k_ = 0;
};

std::string RowLine(size_t m, const RinStep& row) {
  return std::to_string(m) + ' ' + FormatFixed(row.t / 1000.0L, 0, 3) + ' ' +
         FormatFixed(row.Vrest, 0, 3) + ' ' + FormatFixed(row.V1, 0, 3) + ' ' +
         FormatFixed(row.Rin, 0, 3);
}

}  // namespace

std::vector<RinStep> MeasureInputResistance(std::span<const double> v, double acq_ms,
                                            std::span<const double> spike_onsets_ms) {
  return StepScan(v, acq_ms, spike_onsets_ms).Run();
}

RinSummary RunRin(Workspace& ws, const SpikeTable& spikes) {
  if (ws.trace.LastIndex < 0) throw Error(kNoRecordingLoaded);
  const std::span<const double> v(ws.trace.V.data(), static_cast<size_t>(ws.trace.LastIndex) + 1);
  const std::vector<RinStep> rows =
      MeasureInputResistance(v, ws.trace.AcqTime, std::span<const double>(ColumnsOf(spikes).tsp));
  // Named after the recording with "Rin" appended, so that neither a text trace nor the bare
  // name that the loader looks up first is overwritten.
  const std::string path = ws.panel.NameBoxText() + "Rin";
  TextOutput out(path, TextOutput::Mode::kCreate);
  out.WriteLine("n_step t Vrest V1 Rin");
  for (size_t m = 1; m <= rows.size(); ++m) out.WriteLine(RowLine(m, rows[m - 1]));
  out.Close();
  return {path, rows.size()};
}

}  // namespace ictalscope
