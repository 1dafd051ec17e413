#include "demo_recording.h"

#include <algorithm>
#include <cmath>

#include "demo_waveform.h"
#include "seeded_noise.h"

namespace ictalscope::demo {

namespace {

// Noise: slow drift (AR(1), about 0.2 mV standard deviation) plus 20 uV of white noise. Between
// two samples it moves about 0.03 mV, far below the 0.625 mV that would read as a spike onset.
constexpr double kDriftPole = 0.998;
constexpr double kDriftStepMv = 0.012;
constexpr double kWhiteNoiseMv = 0.02;
constexpr double kCurrentNoiseCounts = 2;

// The baseline shift starts this long before the first upstroke and ends after the last one.
constexpr double kShiftLeadMs = 12;
constexpr double kShiftRiseMs = 10;
constexpr double kShiftTrailMs = 4;
constexpr double kShiftDecayMs = 20;

constexpr double kEpspAmplitudeMv = 2.5;
constexpr double kEpspTauMs = 2.5;

std::vector<double> BurstUpstrokes(const Burst& burst) {
  std::vector<double> times{burst.first_upstroke_ms};
  for (double interval : burst.intervals_ms) times.push_back(times.back() + interval);
  return times;
}

DepolarisingShift ShiftOf(const Burst& burst) {
  const std::vector<double> times = BurstUpstrokes(burst);
  return {times.front() - kShiftLeadMs, times.back() + kShiftTrailMs, burst.shift_mv, kShiftRiseMs,
          kShiftDecayMs};
}

// Peaks fall off through a burst (sodium channels inactivate), with a little jitter per spike.
void AddBurst(std::vector<double>& mv, double dt_ms, const Burst& burst, SeededNoise& jitter) {
  const DepolarisingShift shift = ShiftOf(burst);
  AddShift(mv, dt_ms, shift);
  const std::vector<double> times = BurstUpstrokes(burst);
  const double last = std::max<double>(1, times.size() - 1);
  for (size_t n = 0; n < times.size(); ++n) {
    const double grade = n / last;
    const double peak_mv = burst.first_peak_mv + grade * (burst.last_peak_mv - burst.first_peak_mv);
    const double baseline_mv = kRestingMv + ShiftDeviation(times[n], shift);
    SpikeShape shape;
    shape.amplitude_mv = peak_mv + jitter.Between(-1.5, 1.5) - baseline_mv;
    shape.ahp_depth_mv = burst.ahp_depth_mv + jitter.Between(-1, 1);
    shape.ahp_tau_ms = burst.ahp_tau_ms;
    shape.prepotential_mv = burst.prepotential_mv;
    AddSpike(mv, dt_ms, times[n], shape);
  }
}

std::vector<double> RestingNoise(int32_t samples, uint64_t seed) {
  std::vector<double> mv(samples, kRestingMv);
  SeededNoise noise(seed);
  double drift_mv = 0;
  for (double& v : mv) {
    drift_mv = kDriftPole * drift_mv + kDriftStepMv * noise.Gaussian();
    v += drift_mv + kWhiteNoiseMv * noise.Gaussian();
  }
  return mv;
}

// Intervals that lengthen from first_ms to last_ms through a discharge (the tonic phase slowing
// into the clonic one), each jittered by up to 0.4 ms.
std::vector<double> SlowingIntervals(int spikes, double first_ms, double last_ms,
                                     SeededNoise& jitter) {
  std::vector<double> intervals;
  for (int n = 0; n + 1 < spikes; ++n) {
    const double grade = n / std::max(1.0, spikes - 2.0);
    intervals.push_back(first_ms + grade * (last_ms - first_ms) + jitter.Between(-0.4, 0.4));
  }
  return intervals;
}

Burst Interictal(double first_ms, std::vector<double> intervals_ms, double shift_mv,
                 double first_peak_mv, double last_peak_mv) {
  return {first_ms, std::move(intervals_ms), shift_mv, first_peak_mv, last_peak_mv, 7, 3, 10};
}

Burst Ictal(double first_ms, int spikes, double first_interval_ms, double last_interval_ms,
            SeededNoise& jitter) {
  return {first_ms, SlowingIntervals(spikes, first_interval_ms, last_interval_ms, jitter),
          9,        28,
          12,       5,
          2,        5};
}

std::vector<int16_t> CurrentCounts(int32_t samples, uint64_t seed) {
  SeededNoise noise(seed);
  std::vector<int16_t> counts(samples);
  for (int16_t& c : counts)
    c = static_cast<int16_t>(std::lround(kCurrentNoiseCounts * noise.Gaussian()));
  return counts;
}

}  // namespace

std::vector<double> UpstrokeTimes(const RecordPlan& plan) {
  std::vector<double> times;
  for (const Burst& burst : plan.bursts) {
    const std::vector<double> burst_times = BurstUpstrokes(burst);
    times.insert(times.end(), burst_times.begin(), burst_times.end());
  }
  std::sort(times.begin(), times.end());
  return times;
}

std::vector<double> SynthesiseRecord(const RecordPlan& plan, int32_t samples, double dt_ms) {
  std::vector<double> mv = RestingNoise(samples, plan.seed);
  SeededNoise jitter(plan.seed ^ 0x5EED5EED5EEDull);
  for (const Burst& burst : plan.bursts) AddBurst(mv, dt_ms, burst, jitter);
  for (double start_ms : plan.epsp_starts_ms) {
    AddEpsp(mv, dt_ms, start_ms, kEpspAmplitudeMv, kEpspTauMs);
  }
  return mv;
}

double SampleIntervalMs(const testing::WcpHeader& header) {
  // The panel shows AcqTime with 5 decimals and the loader reads it back from there.
  return std::round(header.dt_s * 1000 * 1e5) / 1e5;
}

int32_t SamplesPerRecord(const testing::WcpHeader& header) {
  const double duration_ms = std::trunc(header.nbd * 8);
  return static_cast<int32_t>(duration_ms / SampleIntervalMs(header));
}

testing::WcpHeader DemoHeader() {
  testing::WcpHeader header;
  header.nbd = 64;
  header.dt_s = 6.25e-5;
  header.ad = 10;
  header.nr = 6;
  header.yg0 = 0.0001;
  header.yg1 = 0.0005;
  header.extra = {{"ID", "Synthetic demo: interictal bursts and ictal discharges"}};
  return header;
}

std::vector<RecordPlan> DemoPlans() {
  SeededNoise jitter(2024);
  return {
      {{Interictal(70, {18, 26, 35}, 4, 27, 22), Interictal(290, {22, 31}, 3, 26, 23)},
       {200, 380},
       101},
      {{Ictal(60, 47, 6.5, 9.0, jitter)}, {}, 202},
      {{Interictal(120, {16, 21, 27, 38}, 5, 28, 21)}, {60, 330}, 303},
      {{Ictal(58, 50, 6.0, 8.6, jitter)}, {}, 404},
      {{}, {90, 240, 331}, 505},
      {{Interictal(160, {24, 33}, 3, 25, 22)}, {350}, 606},
  };
}

testing::WcpHeader BigHeader() {
  testing::WcpHeader header = DemoHeader();
  // Trunc(78133 * 8) = 625064 ms at 0.0625 ms per sample: 10,001,024 pairs, of which the loader
  // reads 10,000,001.
  header.nbd = 78133;
  header.nr = 1;
  header.extra = {{"ID", "Synthetic long recording: bursts every 20 s, three ictal discharges"}};
  return header;
}

RecordPlan BigPlan() {
  SeededNoise jitter(625064);
  RecordPlan plan;
  for (int k = 0; k < 30; ++k) {
    std::vector<double> intervals;
    for (double interval : {17.0, 23.0, 29.0, 36.0}) {
      intervals.push_back(interval + jitter.Between(-2, 2));
    }
    plan.bursts.push_back(Interictal(5000 + 20000.0 * k, intervals, 4, 27, 22));
  }
  for (double start_ms : {157000.0, 317000.0, 477000.0}) {
    plan.bursts.push_back(Ictal(start_ms, 50, 6.0, 8.6, jitter));
  }
  plan.seed = 7;
  return plan;
}

void WriteRecording(const std::string& path, const testing::WcpHeader& header,
                    const std::vector<RecordPlan>& plans) {
  const int32_t samples = SamplesPerRecord(header);
  const double dt_ms = SampleIntervalMs(header);
  std::vector<testing::WcpRecord> records;
  for (const RecordPlan& plan : plans) {
    const std::vector<double> mv = SynthesiseRecord(plan, samples, dt_ms);
    testing::WcpRecord record;
    record.ch0.reserve(samples);
    for (double v : mv) record.ch0.push_back(testing::CountsForMillivolts(v, header));
    record.ch1 = CurrentCounts(samples, plan.seed + 1);
    records.push_back(std::move(record));
  }
  testing::WriteWcpFile(path, testing::WcpHeaderText(header), records);
}

}  // namespace ictalscope::demo
