#include "demo_recording.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "seeded_noise.h"

namespace ictalscope::demo {

namespace {

// Noise: a fast drift (AR(1), about 0.2 mV standard deviation, 31-ms time constant), an optional
// slow one (2-s time constant) and white noise. Between two samples it moves by well under a
// tenth of the 0.625 mV that would read as a spike onset.
constexpr double kDriftPole = 0.998;
constexpr double kDriftStepMv = 0.012;
constexpr double kSlowDriftSamples = 32000;  // 2 s at 16 kHz
constexpr double kCurrentNoiseCounts = 2;

std::vector<double> BurstUpstrokes(const Burst& burst) {
  std::vector<double> times{burst.first_upstroke_ms};
  for (double interval : burst.intervals_ms) times.push_back(times.back() + interval);
  return times;
}

DepolarisingShift ShiftOf(const Burst& burst) {
  const std::vector<double> times = BurstUpstrokes(burst);
  return {times.front() - burst.shift_lead_ms, times.back() + burst.shift_trail_ms, burst.shift_mv,
          burst.shift_rise_ms, burst.shift_decay_ms};
}

// Peaks fall off through a burst (sodium channels inactivate), with a little jitter per spike.
// Each spike is scaled to reach its peak from the baseline that the burst's own shift and the
// event's slow shifts make at its upstroke.
void AddBurst(std::vector<double>& mv, double dt_ms, const Burst& burst,
              const std::vector<DepolarisingShift>& event_shifts, SeededNoise& jitter) {
  const DepolarisingShift shift = ShiftOf(burst);
  AddShift(mv, dt_ms, shift);
  const std::vector<double> times = BurstUpstrokes(burst);
  const double last = std::max<double>(1, times.size() - 1);
  for (size_t n = 0; n < times.size(); ++n) {
    const double grade = n / last;
    const double peak_mv = burst.first_peak_mv + grade * (burst.last_peak_mv - burst.first_peak_mv);
    double baseline_mv = kRestingMv + ShiftDeviation(times[n], shift);
    for (const DepolarisingShift& slow : event_shifts) {
      baseline_mv += ShiftDeviation(times[n], slow);
    }
    SpikeShape shape;
    shape.amplitude_mv = peak_mv + jitter.Between(-1.5, 1.5) - baseline_mv;
    shape.ahp_depth_mv = burst.ahp_depth_mv + jitter.Between(-1, 1);
    shape.ahp_tau_ms = burst.ahp_tau_ms;
    shape.prepotential_mv = burst.prepotential_mv;
    AddSpike(mv, dt_ms, times[n], shape);
  }
}

std::vector<double> RestingNoise(const RecordPlan& plan, int32_t samples) {
  std::vector<double> mv(samples, kRestingMv);
  SeededNoise noise(plan.seed);
  double drift_mv = 0;
  for (double& v : mv) {
    drift_mv = kDriftPole * drift_mv + kDriftStepMv * noise.Gaussian();
    v += drift_mv + plan.white_noise_mv * noise.Gaussian();
  }
  if (plan.slow_drift_mv > 0) {
    SeededNoise slow(plan.seed ^ 0xD81F7D81F7ull);
    const double pole = 1 - 1 / kSlowDriftSamples;
    const double step_mv = plan.slow_drift_mv * std::sqrt(1 - pole * pole);
    double slow_mv = plan.slow_drift_mv * slow.Gaussian();  // from its stationary spread
    for (double& v : mv) {
      slow_mv = pole * slow_mv + step_mv * slow.Gaussian();
      v += slow_mv;
    }
  }
  return mv;
}

std::vector<int16_t> CurrentCounts(int32_t samples, uint64_t seed) {
  SeededNoise noise(seed);
  std::vector<int16_t> counts(samples);
  for (int16_t& c : counts)
    c = static_cast<int16_t>(std::lround(kCurrentNoiseCounts * noise.Gaussian()));
  return counts;
}

// ---- The long recording of the memory and speed checks ----

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

Event ShortBurst(double first_ms, std::vector<double> intervals_ms, double shift_mv,
                 double first_peak_mv, double last_peak_mv) {
  Burst burst{.first_upstroke_ms = first_ms,
              .intervals_ms = std::move(intervals_ms),
              .shift_mv = shift_mv,
              .first_peak_mv = first_peak_mv,
              .last_peak_mv = last_peak_mv};
  return {{burst}, {}};
}

Event FastDischarge(double first_ms, int spikes, double first_interval_ms, double last_interval_ms,
                    SeededNoise& jitter) {
  Burst burst{.first_upstroke_ms = first_ms,
              .intervals_ms = SlowingIntervals(spikes, first_interval_ms, last_interval_ms, jitter),
              .shift_mv = 9,
              .first_peak_mv = 28,
              .last_peak_mv = 12,
              .ahp_depth_mv = 5,
              .ahp_tau_ms = 2,
              .prepotential_mv = 5};
  return {{burst}, {}};
}

// ---- The demo ----

// An interictal discharge: `spikes` spikes at intervals lengthening from about 9 ms, on a
// paroxysmal depolarising shift of 12 mV, followed by a hyperpolarisation of 3.5 mV that
// recovers over about half a second.
Event InterictalDischarge(double first_ms, int spikes, SeededNoise& jitter) {
  Burst burst{.first_upstroke_ms = first_ms,
              .shift_mv = 12,
              .first_peak_mv = 29,
              .last_peak_mv = 21,
              .ahp_depth_mv = 6,
              .ahp_tau_ms = 4,
              .prepotential_mv = 8,
              .shift_trail_ms = 6,
              .shift_decay_ms = 50};
  for (int n = 0; n + 1 < spikes; ++n) {
    burst.intervals_ms.push_back(9 + 3.5 * n + jitter.Between(-1.5, 1.5));
  }
  const double last_ms = BurstUpstrokes(burst).back();
  return {{burst}, {{last_ms + 20, last_ms + 100, -3.5, 80, 400}}};
}

// A spike on its own, as a strong synaptic input fires it: no shift.
Event LoneSpike(double upstroke_ms) {
  return {{Burst{.first_upstroke_ms = upstroke_ms,
                 .first_peak_mv = 27,
                 .last_peak_mv = 27,
                 .ahp_depth_mv = 8,
                 .ahp_tau_ms = 5}},
          {}};
}

// An ictal discharge: a tonic phase of fast firing whose intervals lengthen geometrically, then
// a clonic phase of bursts (each on its own depolarising shift) whose period lengthens; every
// interval stays below ISImax, so that the whole is one discharge.
struct Seizure {
  double onset_ms = 0;
  int tonic_spikes = 0;
  double tonic_first_interval_ms = 0;
  double tonic_last_interval_ms = 0;
  std::vector<int> clonic_bursts;  // spikes per burst
  double clonic_first_period_ms = 0;
  double clonic_last_period_ms = 0;
};

Event IctalDischarge(const Seizure& s, SeededNoise& jitter) {
  Event event;
  // Tonic: on the sustained depolarisation (the event's shifts), peaks falling from +28 mV.
  Burst tonic{.first_upstroke_ms = s.onset_ms,
              .shift_mv = 0,
              .first_peak_mv = 28,
              .last_peak_mv = 13,
              .ahp_depth_mv = 5,
              .ahp_tau_ms = 3,
              .prepotential_mv = 4};
  const double ratio = s.tonic_last_interval_ms / s.tonic_first_interval_ms;
  for (int n = 0; n + 1 < s.tonic_spikes; ++n) {
    const double grade = n / std::max(1.0, s.tonic_spikes - 2.0);
    tonic.intervals_ms.push_back(s.tonic_first_interval_ms * std::pow(ratio, grade) *
                                 (1 + jitter.Between(-0.06, 0.06)));
  }
  const double last_tonic_ms = BurstUpstrokes(tonic).back();
  event.bursts.push_back(std::move(tonic));

  // Clonic: bursts of a few spikes, 11 ms and more apart, whose period lengthens.
  const size_t bursts = s.clonic_bursts.size();
  double start_ms = last_tonic_ms + s.clonic_first_period_ms * (1 + jitter.Between(-0.05, 0.05));
  for (size_t k = 0; k < bursts; ++k) {
    Burst burst{.first_upstroke_ms = start_ms,
                .shift_mv = 9,
                .first_peak_mv = 25,
                .last_peak_mv = 18,
                .ahp_depth_mv = 6,
                .ahp_tau_ms = 4,
                .prepotential_mv = 6,
                .shift_lead_ms = 15,
                .shift_trail_ms = 10,
                .shift_decay_ms = 35};
    for (int n = 0; n + 1 < s.clonic_bursts[k]; ++n) {
      burst.intervals_ms.push_back(11 + 3 * n + jitter.Between(-1, 1));
    }
    event.bursts.push_back(std::move(burst));
    const double grade = k / std::max(1.0, bursts - 1.0);
    const double period_ms =
        s.clonic_first_period_ms + grade * (s.clonic_last_period_ms - s.clonic_first_period_ms);
    start_ms += period_ms * (1 + jitter.Between(-0.05, 0.05));
  }
  const double last_ms = BurstUpstrokes(event.bursts.back()).back();
  // The sustained depolarisation: 14 mV under the tonic phase, 5 mV under the clonic one; then
  // the post-ictal hyperpolarisation of 6 mV, recovering over seconds.
  event.shifts = {{s.onset_ms - 500, last_tonic_ms + 100, 9, 450, 1200},
                  {s.onset_ms - 500, last_ms + 50, 5, 450, 400},
                  {last_ms + 150, last_ms + 650, -6, 500, 3000}};
  return event;
}

// Spontaneous synaptic potentials: excitatory ones at 3 Hz (0.3 to 2.2 mV), inhibitory ones at
// 1 Hz (-0.4 to -1.2 mV), none from 25 ms before an upstroke to 5 ms after it (so that no rise
// adds to the prepotential's).
void AddBackground(RecordPlan& plan, double record_ms, uint64_t seed) {
  SeededNoise noise(seed);
  const std::vector<double> upstrokes = UpstrokeTimes(plan);
  const auto near_a_spike = [&upstrokes](double t_ms) {
    const auto next = std::lower_bound(upstrokes.begin(), upstrokes.end(), t_ms - 5);
    return next != upstrokes.end() && *next < t_ms + 25;
  };
  struct Kind {
    double rate_hz, low_mv, high_mv, low_tau_ms, high_tau_ms;
  };
  for (const Kind& kind : {Kind{3, 0.3, 2.2, 1.8, 4}, Kind{1, -1.2, -0.4, 6, 10}}) {
    double t_ms = 0;
    while (true) {
      t_ms += -1000 / kind.rate_hz * std::log(noise.Uniform());
      if (t_ms >= record_ms) break;
      const double amplitude_mv = noise.Between(kind.low_mv, kind.high_mv);
      const double tau_ms = noise.Between(kind.low_tau_ms, kind.high_tau_ms);
      if (!near_a_spike(t_ms)) plan.synaptic.push_back({t_ms, amplitude_mv, tau_ms});
    }
  }
  std::sort(plan.synaptic.begin(), plan.synaptic.end(),
            [](const SynapticPotential& a, const SynapticPotential& b) {
              return a.start_ms < b.start_ms;
            });
}

}  // namespace

std::vector<double> UpstrokeTimes(const Event& event) {
  std::vector<double> times;
  for (const Burst& burst : event.bursts) {
    const std::vector<double> burst_times = BurstUpstrokes(burst);
    times.insert(times.end(), burst_times.begin(), burst_times.end());
  }
  std::sort(times.begin(), times.end());
  return times;
}

std::vector<double> UpstrokeTimes(const RecordPlan& plan) {
  std::vector<double> times;
  for (const Event& event : plan.events) {
    const std::vector<double> event_times = UpstrokeTimes(event);
    times.insert(times.end(), event_times.begin(), event_times.end());
  }
  std::sort(times.begin(), times.end());
  return times;
}

std::vector<double> SynthesiseRecord(const RecordPlan& plan, int32_t samples, double dt_ms) {
  std::vector<double> mv = RestingNoise(plan, samples);
  SeededNoise jitter(plan.seed ^ 0x5EED5EED5EEDull);
  for (const Event& event : plan.events) {
    for (const DepolarisingShift& shift : event.shifts) AddShift(mv, dt_ms, shift);
    for (const Burst& burst : event.bursts) AddBurst(mv, dt_ms, burst, event.shifts, jitter);
  }
  for (const SynapticPotential& p : plan.synaptic) {
    AddEpsp(mv, dt_ms, p.start_ms, p.amplitude_mv, p.tau_ms);
  }
  return mv;
}

double SampleIntervalMs(const writer::WcpHeader& header) {
  // The panel shows AcqTime with 5 decimals and the loader reads it back from there.
  return std::round(header.dt_s * 1000 * 1e5) / 1e5;
}

int32_t SamplesPerRecord(const writer::WcpHeader& header) {
  const double duration_ms = std::trunc(header.nbd * 8);
  return static_cast<int32_t>(duration_ms / SampleIntervalMs(header));
}

writer::WcpHeader DemoHeader() {
  writer::WcpHeader header;
  // Trunc(2500 * 8) = 20,000 ms at 0.0625 ms per sample: 320,000 pairs a record, of which the
  // loader reads 318,977 (19.936 s).
  header.nbd = 2500;
  header.dt_s = 6.25e-5;
  header.ad = 10;
  header.nr = 6;
  header.yg0 = 0.0001;
  header.yg1 = 0.0005;
  header.extra = {{"ID", "Synthetic demo: interictal and ictal discharges, 6 records of 20 s"}};
  return header;
}

std::vector<RecordPlan> DemoPlans() {
  SeededNoise jitter(2024);
  const auto iid = [&jitter](double first_ms, int spikes) {
    return InterictalDischarge(first_ms, spikes, jitter);
  };
  std::vector<RecordPlan> plans(6);
  // 1: interictal discharges of 2 to 8 spikes and a lone spike.
  plans[0].events = {iid(600, 3),   iid(2700, 5),  LoneSpike(4900), iid(6800, 2), iid(9100, 6),
                     iid(11600, 4), iid(14000, 8), iid(16700, 3),   iid(19000, 2)};
  // 2: two interictal discharges, a seizure of 82 spikes, one more interictal discharge.
  plans[1].events = {
      iid(700, 4), iid(2900, 3),
      IctalDischarge({5200, 40, 38, 95, {5, 4, 5, 4, 4, 3, 4, 3, 3, 3, 2, 2}, 300, 800}, jitter),
      iid(18200, 3)};
  // 3: interictal discharges and a lone spike.
  plans[2].events = {iid(900, 2),   iid(3200, 4),  iid(5600, 3),  LoneSpike(8000),
                     iid(10300, 7), iid(13100, 5), iid(15900, 3), iid(18300, 6)};
  // 4: an interictal discharge, then a long seizure.
  plans[3].events = {
      iid(600, 3),
      IctalDischarge({2500,
                      70,
                      30,
                      80,
                      {6, 5, 5, 5, 5, 4, 5, 4, 4, 4, 4, 4, 4, 3, 3, 3, 3, 3, 3, 2, 2, 2},
                      250,
                      750},
                     jitter)};
  // 5: quiet, with four compound synaptic potentials that stay below threshold.
  plans[4].synaptic = {{2600, 4.5, 7}, {7400, 5.5, 8}, {12100, 3.8, 6}, {16800, 6, 9}};
  // 6: interictal discharges that lead into a short seizure, and one after it.
  plans[5].events = {
      iid(800, 3), iid(3000, 5), iid(5200, 4),
      IctalDischarge({7500, 36, 45, 110, {4, 4, 3, 3, 3, 3, 2, 2, 2}, 350, 850}, jitter),
      iid(18300, 2)};
  const double record_ms = 20000;
  for (size_t r = 0; r < plans.size(); ++r) {
    plans[r].slow_drift_mv = 0.8;
    plans[r].white_noise_mv = 0.04;
    plans[r].seed = 101 * (r + 1);
    AddBackground(plans[r], record_ms, 7000 + r);
  }
  return plans;
}

writer::WcpHeader BigHeader() {
  writer::WcpHeader header = DemoHeader();
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
    plan.events.push_back(ShortBurst(5000 + 20000.0 * k, intervals, 4, 27, 22));
  }
  for (double start_ms : {157000.0, 317000.0, 477000.0}) {
    plan.events.push_back(FastDischarge(start_ms, 50, 6.0, 8.6, jitter));
  }
  plan.seed = 7;
  return plan;
}

void WriteRecording(const std::string& path, const writer::WcpHeader& header,
                    const std::vector<RecordPlan>& plans) {
  const int32_t samples = SamplesPerRecord(header);
  const double dt_ms = SampleIntervalMs(header);
  std::vector<writer::WcpRecord> records;
  for (const RecordPlan& plan : plans) {
    const std::vector<double> mv = SynthesiseRecord(plan, samples, dt_ms);
    writer::WcpRecord record;
    record.ch0.reserve(samples);
    for (double v : mv) record.ch0.push_back(writer::CountsForMillivolts(v, header));
    record.ch1 = CurrentCounts(samples, plan.seed + 1);
    records.push_back(std::move(record));
  }
  writer::WriteWcpFile(path, writer::WcpHeaderText(header), records);
}

}  // namespace ictalscope::demo
