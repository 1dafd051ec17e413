#include "demo_waveform.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace ictalscope::demo {

namespace {

// Beyond this many time constants an exponential tail is below a microvolt and is left out.
constexpr double kTailTimeConstants = 15;

double Smoothstep(double x) { return x * x * (3 - 2 * x); }

// 0 at x = 0, 1 at x = 1, flat at both ends.
double HalfCosine(double x) { return (1 - std::cos(std::numbers::pi * x)) / 2; }

// Adds deviation(t) for the samples whose times t = k * dt_ms - origin_ms lie in [from_ms, to_ms).
template <typename Deviation>
void AddWindow(std::vector<double>& mv, double dt_ms, double origin_ms, double from_ms,
               double to_ms, Deviation deviation) {
  const long size = static_cast<long>(mv.size());
  const long first = std::max(0L, static_cast<long>(std::ceil((origin_ms + from_ms) / dt_ms)));
  const long last = std::min(size, static_cast<long>(std::ceil((origin_ms + to_ms) / dt_ms)));
  for (long k = first; k < last; ++k) mv[k] += deviation(k * dt_ms - origin_ms);
}

}  // namespace

double SpikeDeviation(double t_ms, const SpikeShape& shape) {
  const double rise_mv = shape.amplitude_mv - shape.prepotential_mv;
  const double fall_mv = shape.amplitude_mv + shape.ahp_depth_mv;
  if (t_ms < -kPrepotentialMs) return 0;
  if (t_ms < 0) return shape.prepotential_mv * Smoothstep(t_ms / kPrepotentialMs + 1);
  if (t_ms < kRiseMs) return shape.prepotential_mv + rise_mv * HalfCosine(t_ms / kRiseMs);
  const double fall_ms = t_ms - kRiseMs;
  if (fall_ms < kFallMs) return shape.amplitude_mv - fall_mv * HalfCosine(fall_ms / kFallMs);
  return -shape.ahp_depth_mv * std::exp(-(fall_ms - kFallMs) / shape.ahp_tau_ms);
}

void AddSpike(std::vector<double>& mv, double dt_ms, double upstroke_ms, const SpikeShape& shape) {
  const double end_ms = kRiseMs + kFallMs + kTailTimeConstants * shape.ahp_tau_ms;
  AddWindow(mv, dt_ms, upstroke_ms, -kPrepotentialMs, end_ms,
            [&shape](double t_ms) { return SpikeDeviation(t_ms, shape); });
}

double EpspDeviation(double t_ms, double amplitude_mv, double tau_ms) {
  if (t_ms < 0) return 0;
  const double x = t_ms / tau_ms;
  return amplitude_mv * x * std::exp(1 - x);
}

void AddEpsp(std::vector<double>& mv, double dt_ms, double start_ms, double amplitude_mv,
             double tau_ms) {
  AddWindow(mv, dt_ms, start_ms, 0, 2 * kTailTimeConstants * tau_ms,
            [=](double t_ms) { return EpspDeviation(t_ms, amplitude_mv, tau_ms); });
}

double ShiftDeviation(double t_ms, const DepolarisingShift& shift) {
  if (t_ms < shift.start_ms) return 0;
  if (t_ms < shift.start_ms + shift.rise_ms) {
    return shift.shift_mv * Smoothstep((t_ms - shift.start_ms) / shift.rise_ms);
  }
  if (t_ms < shift.end_ms) return shift.shift_mv;
  return shift.shift_mv * std::exp(-(t_ms - shift.end_ms) / shift.decay_ms);
}

void AddShift(std::vector<double>& mv, double dt_ms, const DepolarisingShift& shift) {
  const double end_ms = shift.end_ms + kTailTimeConstants * shift.decay_ms;
  AddWindow(mv, dt_ms, 0, shift.start_ms, end_ms,
            [&shift](double t_ms) { return ShiftDeviation(t_ms, shift); });
}

}  // namespace ictalscope::demo
