#pragma once

#include <vector>

namespace ictalscope::demo {

// One action potential, as a deviation from the membrane's baseline. Times are measured from the
// start of the upstroke:
//   [-kPrepotentialMs, 0)  a slow depolarisation of prepotential_mv (smoothstep, at most
//                          1.5 * prepotential_mv / kPrepotentialMs mV/ms);
//   [0, kRiseMs)           the upstroke to amplitude_mv, a half cosine (steepest at
//                          (amplitude_mv - prepotential_mv) * pi / (2 * kRiseMs) mV/ms);
//   [kRiseMs, kRiseMs + kFallMs)  repolarisation to ahp_depth_mv below the baseline, a half
//                          cosine;
//   after that             the after-hyperpolarisation recovering exponentially with ahp_tau_ms.
struct SpikeShape {
  double amplitude_mv = 90;
  double ahp_depth_mv = 7;
  double ahp_tau_ms = 3;
  double prepotential_mv = 10;
};

inline constexpr double kPrepotentialMs = 3.0;
inline constexpr double kRiseMs = 0.45;
inline constexpr double kFallMs = 1.1;

double SpikeDeviation(double t_ms, const SpikeShape& shape);

// Adds the spike whose upstroke starts at upstroke_ms to the samples mv (sample k at k * dt_ms).
void AddSpike(std::vector<double>& mv, double dt_ms, double upstroke_ms, const SpikeShape& shape);

// A synaptic potential too slow to be taken for a spike: an alpha function that peaks at
// amplitude_mv tau_ms after its start (steepest at the start: amplitude_mv * e / tau_ms mV/ms).
double EpspDeviation(double t_ms, double amplitude_mv, double tau_ms);
void AddEpsp(std::vector<double>& mv, double dt_ms, double start_ms, double amplitude_mv,
             double tau_ms);

// A sustained depolarisation that carries a burst: it rises by shift_mv over rise_ms from
// start_ms (smoothstep), holds until end_ms and then decays with decay_ms.
struct DepolarisingShift {
  double start_ms = 0;
  double end_ms = 0;
  double shift_mv = 0;
  double rise_ms = 10;
  double decay_ms = 20;
};

double ShiftDeviation(double t_ms, const DepolarisingShift& shift);
void AddShift(std::vector<double>& mv, double dt_ms, const DepolarisingShift& shift);

}  // namespace ictalscope::demo
