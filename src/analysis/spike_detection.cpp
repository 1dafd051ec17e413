// "Spikes": one forward pass over the samples of a record.
//
// The slope at sample k is s(k) = (V[k+1] - V[k]) / AcqTime. A spike begins at the first sample
// i (from 15 on) whose rise from the previous sample is faster than 10 mV/ms, and ends at the
// first later sample more than 2 ms after its running peak at which the curvature of the slope,
// (s(k-2) - 2 s(k-1) + s(k)) / (4 AcqTime^2), is positive. Vrest is the lowest V of the
// dt_Vrest window that ends at the onset. A spike is settled only when the next one begins: in
// normal mode it is kept when it rose more than 5 mV, otherwise the new spike takes its number.
// In stimulation mode the samples of every stimulus artefact are skipped, and nothing is
// discarded.
//
// Arithmetic is carried in long double (64-bit significand); table entries, slope registers, the
// curvature and the stimulus clock are stored as double.

#include "analysis/spike_detection.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "analysis/lowest_sample.h"
#include "analysis/rise_search.h"
#include "analysis/spike_table.h"
#include "base/error.h"
#include "recording/float_ops.h"
#include "recording/trace.h"

namespace ictalscope {
namespace {

constexpr int32_t kFirstTested = 15;  // samples 0 to 14 are never tested
constexpr long double kOnsetSlope = 10.0L;
constexpr long double kMinRise = 5.0L;
constexpr long double kMinAfterPeak = 2.0L;
constexpr int32_t kStimMarkerLag = 10;  // the V_min marker of a stimulated spike, in samples

constexpr const char* kIntervalNotPositive = "Stimulation interval must be positive";

// Stimulation mode: at the first scan position at or after each stimulus the scan jumps
// DurationMs / AcqTime samples (truncated) ahead without processing the sample, and the next
// stimulus follows IntervalMs later.
struct StimulusClock {
  double next_stim_ms = 0;
  double interval_ms = 0;
  int64_t blank = 0;  // samples skipped per stimulus

  // The scan position after a stimulus at `i`. A blank beyond the record ends the scan; a
  // negative blank (a negative duration) never takes the scan back before sample 15.
  int32_t Skip(int32_t i, int32_t end) {
    next_stim_ms = static_cast<double>(static_cast<long double>(next_stim_ms) + interval_ms);
    const int64_t next = i + blank;
    return static_cast<int32_t>(std::clamp<int64_t>(next, kFirstTested, end));
  }
};

// Trunc(DurationMs / AcqTime), limited to what can matter within one record.
int64_t BlankSamples(const StimTiming& stim, double acq_ms) {
  const long double samples = std::trunc(stim.DurationMs / static_cast<long double>(acq_ms));
  const long double bound = 2.0L * kTraceCapacity;
  return static_cast<int64_t>(std::clamp(samples, -bound, bound));
}

// Refuses settings under which a stimulus would hold the scan at one position for ever: the
// next stimulus never moves past the scan position when the interval is not positive, and a
// blank of no samples (or fewer) does not move the scan on.
StimulusClock StartClock(const StimTiming& stim, double acq_ms) {
  StimulusClock clock;
  clock.next_stim_ms =
      static_cast<double>(static_cast<long double>(stim.IntervalMs) + stim.DelayMs);
  clock.interval_ms = stim.IntervalMs;
  if (acq_ms == 0) return clock;  // the scan faults at its first division
  clock.blank = BlankSamples(stim, acq_ms);
  if (stim.IntervalMs <= 0 && clock.blank <= 0) throw Error(kIntervalNotPositive);
  return clock;
}

class SpikeScan {
 public:
  SpikeScan(std::span<const double> v, double acq_ms, double dt_vrest_ms, const RiseSummary* rises,
            SpikeRun& run)
      : run_(run),
        v_(v.data()),
        rises_(rises),
        acq_(acq_ms),
        dt_vrest_ms_(dt_vrest_ms),
        four_acq_sq_(4.0L * acq_ * acq_),
        rise_floor_(acq_ > 0 ? kOnsetSlope * acq_ * (1 - 1e-9) : -INFINITY),
        end_(static_cast<int32_t>(v.size()) - 1) {}

  bool HasSamplesToTest() const { return kFirstTested < end_; }

  // A zero AcqTime faults at the first division that the scan would make: the blank length
  // when the first position is already at a stimulus, the onset slope otherwise.
  void ThrowZeroAcqTimeFault(bool stimulation, const StimulusClock& clock,
                             const StimTiming& stim) const {
    if (stimulation && 0 >= clock.next_stim_ms) Divide(stim.DurationMs, acq_);
    Divide(static_cast<long double>(v_[kFirstTested]) - v_[kFirstTested - 1], acq_);
  }

  // Returns false when the scan stopped at an onset for which the table has no room.
  template <bool kStimulation>
  bool Run(StimulusClock clock) {
    int32_t i = kFirstTested;
    while (i < end_) {  // the last tested sample is the last one with a successor
      if constexpr (kStimulation) {
        if (TimeMs(i) >= clock.next_stim_ms) {
          i = clock.Skip(i, end_);
          continue;
        }
      }
      if (!in_spike_) {
        if constexpr (!kStimulation) {
          i = FindPossibleRise(v_, i, end_, rise_floor_, rises_);
          if (i == end_) break;
        }
        if (MayRise(i) && RiseSlope(i) > kOnsetSlope && !BeginSpike<kStimulation>(i)) {
          return false;
        }
      } else {
        InSpikeStep(i);
      }
      ++i;
    }
    return true;
  }

 private:
  long double TimeMs(int32_t i) const { return static_cast<long double>(i) * acq_; }
  // A quick test in double that rules out most samples before the exact onset test: a rise
  // below rise_floor_ cannot reach 10 mV/ms, whatever the rounding (NaN falls through).
  bool MayRise(int32_t i) const { return !(v_[i] - v_[i - 1] < rise_floor_); }
  long double RiseSlope(int32_t i) const {
    return (static_cast<long double>(v_[i]) - v_[i - 1]) / acq_;
  }
  double Slope(int32_t k) const {
    return static_cast<double>((static_cast<long double>(v_[k + 1]) - v_[k]) / acq_);
  }
  static double Seconds(long double ms) { return static_cast<double>(ms / 1000); }

  template <bool kStimulation>
  bool BeginSpike(int32_t i);
  template <bool kStimulation>
  bool Settles(int32_t n) const;
  void OpenEntry(int32_t i, int32_t n, long double t_ms);
  template <bool kStimulation>
  void LookBack(int32_t i, int32_t n);
  void InSpikeStep(int32_t i);

  // Spike n (from 1) of the run's columns.
  static double& At(std::vector<double>& column, int32_t n) { return column[n - 1]; }
  double At(const std::vector<double>& column, int32_t n) const { return column[n - 1]; }
  void NewEntry();

  SpikeRun& run_;
  int32_t count_ = 0;  // the number of the last spike
  const double* v_;
  const RiseSummary* rises_;  // of v_, or null
  const double acq_;
  const double dt_vrest_ms_;
  const long double four_acq_sq_;
  const double rise_floor_;  // mV per sample
  const int32_t end_;
  bool in_spike_ = false;
  double s2_ = 0, s1_ = 0, s0_ = 0;
};

// The onset at sample i settles the previous spike and opens the next table entry. The peak
// marker of a spike is drawn only now, when it is settled.
template <bool kStimulation>
bool SpikeScan::BeginSpike(int32_t i) {
  const int32_t prev = count_;
  const bool settled = prev > 0 && Settles<kStimulation>(prev);
  const int32_t n = (prev == 0 || settled) ? prev + 1 : prev;
  if (n > SpikeTable::kCapacity) return false;

  const long double t_ms = TimeMs(i);
  run_.th.push_back({Seconds(t_ms), v_[i]});
  if (settled) run_.peak.push_back({Seconds(At(run_.tpeak, prev)), At(run_.Vpeak, prev)});
  if (n > count_) NewEntry();
  count_ = n;
  OpenEntry(i, n, t_ms);
  LookBack<kStimulation>(i, n);
  return true;
}

// A new entry's Vmin and AHP are written only when its spike ends; a discarded event's entry,
// taken by the next spike, keeps those it wrote.
void SpikeScan::NewEntry() {
  constexpr double kUnwritten = std::numeric_limits<double>::quiet_NaN();
  for (std::vector<double>* column :
       {&run_.VT, &run_.tsp, &run_.Vpeak, &run_.tpeak, &run_.Vrest, &run_.Vmin, &run_.AHP}) {
    column->push_back(kUnwritten);
  }
  run_.last_end_written = false;
}

// In normal mode a spike that rose 5 mV or less above its onset is discarded, and the next one
// takes its number; in stimulation mode every spike is kept.
template <bool kStimulation>
bool SpikeScan::Settles(int32_t n) const {
  return kStimulation || static_cast<long double>(At(run_.Vpeak, n)) - At(run_.VT, n) > kMinRise;
}

void SpikeScan::OpenEntry(int32_t i, int32_t n, long double t_ms) {
  At(run_.VT, n) = v_[i];
  At(run_.tsp, n) = static_cast<double>(t_ms);
  in_spike_ = true;
  s1_ = static_cast<double>(RiseSlope(i));
  s0_ = Slope(i);
  At(run_.Vpeak, n) = v_[i];
  At(run_.tpeak, n) = static_cast<double>(t_ms);
}

// Vrest is the lowest V from j = Trunc(i - dt_Vrest / AcqTime) to the onset, the window start
// raised to sample 0 when it lies before the record.
template <bool kStimulation>
void SpikeScan::LookBack(int32_t i, int32_t n) {
  const long double j =
      std::trunc(static_cast<long double>(i) - dt_vrest_ms_ / static_cast<long double>(acq_));
  const int32_t first = j <= 0 ? 0 : (j >= i ? i : static_cast<int32_t>(j));
  const double vrest = LowestSample(v_, first, i, v_[i]);
  At(run_.Vrest, n) = vrest;
  const long double x_samples =
      kStimulation ? static_cast<long double>(i - kStimMarkerLag) : std::max<long double>(i, j);
  run_.V_min.push_back({Seconds(x_samples * acq_), vrest});
}

// A spike ends at the first sample more than 2 ms after its running peak at which the curvature
// of the slope is positive; equal maxima leave the peak at the earliest of them.
void SpikeScan::InSpikeStep(int32_t i) {
  s2_ = s1_;
  s1_ = s0_;
  s0_ = Slope(i);
  const double c =
      static_cast<double>((static_cast<long double>(s2_) - 2.0L * s1_ + s0_) / four_acq_sq_);
  const int32_t n = count_;
  if (v_[i] > At(run_.Vpeak, n)) {
    At(run_.Vpeak, n) = v_[i];
    At(run_.tpeak, n) = static_cast<double>(TimeMs(i));
  }
  if (c > 0 && TimeMs(i) - At(run_.tpeak, n) > kMinAfterPeak) {
    in_spike_ = false;
    At(run_.Vmin, n) = v_[i];
    At(run_.AHP, n) = static_cast<double>(static_cast<long double>(At(run_.VT, n)) - v_[i]);
    run_.last_end_written = true;
  }
}

}  // namespace

SpikeRun DetectSpikes(std::span<const double> v, double acq_ms, const SpikeSettings& settings,
                      const RiseSummary* rises) {
  SpikeRun run;
  const StimulusClock clock =
      settings.stimulation ? StartClock(settings.stim, acq_ms) : StimulusClock{};
  SpikeScan scan(v, acq_ms, settings.dt_Vrest_ms, rises, run);
  if (!scan.HasSamplesToTest()) return run;
  if (acq_ms == 0) scan.ThrowZeroAcqTimeFault(settings.stimulation, clock, settings.stim);
  run.table_full = !(settings.stimulation ? scan.Run<true>(clock) : scan.Run<false>(clock));
  return run;
}

}  // namespace ictalscope
