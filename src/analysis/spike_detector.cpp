// "Spikes": one forward pass over the samples of the loaded record.
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

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "analysis/analyses.h"
#include "analysis/rise_search.h"
#include "panel/error.h"
#include "recording/float_ops.h"

namespace ictalscope {
namespace {

constexpr int32_t kFirstTested = 15;  // samples 0 to 14 are never tested
constexpr long double kOnsetSlope = 10.0L;
constexpr long double kMinRise = 5.0L;
constexpr long double kMinAfterPeak = 2.0L;
constexpr int32_t kStimMarkerLag = 10;  // the V_min marker of a stimulated spike, in samples

constexpr const char* kTableFull = "Spike table full: only the first 100000 spikes are kept";
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
  SpikeScan(Workspace& ws, SpikeTable& spikes)
      : panel_(ws.panel),
        chart_(ws.chart),
        spikes_(spikes),
        v_(ws.trace.V.data()),
        acq_(ws.trace.AcqTime),
        four_acq_sq_(4.0L * acq_ * acq_),
        rise_floor_(acq_ > 0 ? kOnsetSlope * acq_ * (1 - 1e-9) : -INFINITY),
        end_(ws.trace.LastIndex) {}

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
          i = FindPossibleRise(v_, i, end_, rise_floor_);
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

  Panel& panel_;
  Chart& chart_;
  SpikeTable& spikes_;
  const double* v_;
  const double acq_;
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
  const int32_t prev = spikes_.SpikeCount;
  const bool settled = prev > 0 && Settles<kStimulation>(prev);
  const int32_t n = (prev == 0 || settled) ? prev + 1 : prev;
  if (n > SpikeTable::kCapacity) return false;

  const long double t_ms = TimeMs(i);
  chart_.Append(Series::th, Seconds(t_ms), v_[i]);
  if (settled) chart_.Append(Series::peak, Seconds(spikes_.tpeak[prev]), spikes_.Vpeak[prev]);
  spikes_.SpikeCount = n;
  OpenEntry(i, n, t_ms);
  LookBack<kStimulation>(i, n);
  return true;
}

// In normal mode a spike that rose 5 mV or less above its onset is discarded, and the next one
// takes its number; in stimulation mode every spike is kept.
template <bool kStimulation>
bool SpikeScan::Settles(int32_t n) const {
  return kStimulation || static_cast<long double>(spikes_.Vpeak[n]) - spikes_.VT[n] > kMinRise;
}

void SpikeScan::OpenEntry(int32_t i, int32_t n, long double t_ms) {
  spikes_.VT[n] = v_[i];
  spikes_.tsp[n] = static_cast<double>(t_ms);
  in_spike_ = true;
  s1_ = static_cast<double>(RiseSlope(i));
  s0_ = Slope(i);
  spikes_.Vpeak[n] = v_[i];
  spikes_.tpeak[n] = static_cast<double>(t_ms);
}

// Vrest is the lowest V from j = Trunc(i - dt_Vrest / AcqTime) to the onset, the window start
// raised to sample 0 when it lies before the record.
template <bool kStimulation>
void SpikeScan::LookBack(int32_t i, int32_t n) {
  const double dt_ms = FieldValue(panel_, Field::dt_Vrest);
  const long double j =
      std::trunc(static_cast<long double>(i) - dt_ms / static_cast<long double>(acq_));
  const int32_t first = j <= 0 ? 0 : (j >= i ? i : static_cast<int32_t>(j));
  double vrest = v_[i];
  for (int32_t k = first; k < i; ++k) {
    if (v_[k] < vrest) vrest = v_[k];
  }
  spikes_.Vrest[n] = vrest;
  const long double x_samples =
      kStimulation ? static_cast<long double>(i - kStimMarkerLag) : std::max<long double>(i, j);
  chart_.Append(Series::V_min, Seconds(x_samples * acq_), vrest);
}

// A spike ends at the first sample more than 2 ms after its running peak at which the curvature
// of the slope is positive; equal maxima leave the peak at the earliest of them.
void SpikeScan::InSpikeStep(int32_t i) {
  s2_ = s1_;
  s1_ = s0_;
  s0_ = Slope(i);
  const double c =
      static_cast<double>((static_cast<long double>(s2_) - 2.0L * s1_ + s0_) / four_acq_sq_);
  const int32_t n = spikes_.SpikeCount;
  if (v_[i] > spikes_.Vpeak[n]) {
    spikes_.Vpeak[n] = v_[i];
    spikes_.tpeak[n] = static_cast<double>(TimeMs(i));
  }
  if (c > 0 && TimeMs(i) - spikes_.tpeak[n] > kMinAfterPeak) {
    in_spike_ = false;
    spikes_.Vmin[n] = v_[i];
    spikes_.AHP[n] = static_cast<double>(static_cast<long double>(spikes_.VT[n]) - spikes_.Vmin[n]);
  }
}

}  // namespace

void RunSpikes(Workspace& ws, SpikeTable& spikes) {
  if (ws.trace.LastIndex < 0) throw Error(kNoRecordingLoaded);
  spikes.SpikeCount = 0;  // a run that is refused leaves no spikes of an earlier run behind
  const bool stimulation = ws.panel.IsChecked(Check::Stimulation);
  const StimulusClock clock = stimulation ? StartClock(ws.stim, ws.trace.AcqTime) : StimulusClock{};
  SpikeScan scan(ws, spikes);
  if (!scan.HasSamplesToTest()) return;
  if (ws.trace.AcqTime == 0) scan.ThrowZeroAcqTimeFault(stimulation, clock, ws.stim);
  const bool complete = stimulation ? scan.Run<true>(clock) : scan.Run<false>(clock);
  if (!complete) throw Error(kTableFull);
}

}  // namespace ictalscope
