#include "demo_waveform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "seeded_noise.h"

namespace ictalscope::demo {
namespace {

constexpr double kDtMs = 0.0625;

struct SlopeProfile {
  double steepest_rise = 0;          // mV/ms, over the whole waveform
  double steepest_rise_outside = 0;  // mV/ms, between samples that are both off the upstroke
};

SlopeProfile SlopesOf(const SpikeShape& shape, double offset_ms) {
  SlopeProfile profile;
  for (double t = -5 + offset_ms; t < 80; t += kDtMs) {
    const double slope = (SpikeDeviation(t + kDtMs, shape) - SpikeDeviation(t, shape)) / kDtMs;
    profile.steepest_rise = std::max(profile.steepest_rise, slope);
    const bool on_upstroke = t + kDtMs > 0 && t < kRiseMs;
    if (!on_upstroke)
      profile.steepest_rise_outside = std::max(profile.steepest_rise_outside, slope);
  }
  return profile;
}

// The shapes the recordings use: in the demo a lone spike and the last (smallest) spikes of an
// interictal burst, of the tonic phase and of a clonic burst; in the long recording the
// interictal and fast ictal ones.
const SpikeShape kShapes[] = {{92, 8, 5, 10}, {74, 6, 4, 8},  {64, 5, 3, 4}, {69, 6, 4, 6},
                              {92, 7, 3, 10}, {86, 8, 3, 10}, {75, 5, 2, 5}, {62, 4, 2, 5}};

TEST(SpikeDeviation, OnlyTheUpstrokeRisesFasterThanTheOnsetSlope) {
  for (const SpikeShape& shape : kShapes) {
    for (double offset_ms : {0.0, 0.02, 0.05}) {
      const SlopeProfile profile = SlopesOf(shape, offset_ms);
      EXPECT_GT(profile.steepest_rise, 150) << shape.amplitude_mv;
      EXPECT_LT(profile.steepest_rise_outside, 6) << shape.amplitude_mv;
    }
  }
}

TEST(SpikeDeviation, PassesThroughPeakTroughAndRecovers) {
  for (const SpikeShape& shape : kShapes) {
    EXPECT_EQ(SpikeDeviation(-kPrepotentialMs - 0.01, shape), 0);
    EXPECT_DOUBLE_EQ(SpikeDeviation(0, shape), shape.prepotential_mv);
    EXPECT_DOUBLE_EQ(SpikeDeviation(kRiseMs, shape), shape.amplitude_mv);
    EXPECT_DOUBLE_EQ(SpikeDeviation(kRiseMs + kFallMs, shape), -shape.ahp_depth_mv);
    const double one_tau = kRiseMs + kFallMs + shape.ahp_tau_ms;
    EXPECT_NEAR(SpikeDeviation(one_tau, shape), -shape.ahp_depth_mv / std::exp(1.0), 1e-12);
    // The after-hyperpolarisation recovers monotonically: its slope's curvature is positive.
    const double a = SpikeDeviation(one_tau, shape), b = SpikeDeviation(one_tau + 0.1, shape);
    const double c = SpikeDeviation(one_tau + 0.2, shape), d = SpikeDeviation(one_tau + 0.3, shape);
    EXPECT_GT((d - c) - 2 * (c - b) + (b - a), 0);
  }
}

TEST(AddSpike, AddsTheWaveformAtTheSampleTimesWithinItsWindow) {
  const SpikeShape shape{90, 7, 3, 10};
  const double upstroke_ms = 10.03;
  std::vector<double> mv(2000, 0.0);
  AddSpike(mv, kDtMs, upstroke_ms, shape);
  const long first = static_cast<long>(std::ceil((upstroke_ms - kPrepotentialMs) / kDtMs));
  EXPECT_EQ(mv[first - 1], 0);
  EXPECT_GT(mv[first], 0);
  for (size_t k = 0; k < mv.size(); ++k) {
    // The after-hyperpolarisation is cut 15 time constants after the trough (7 mV * e^-15).
    EXPECT_NEAR(mv[k], SpikeDeviation(k * kDtMs - upstroke_ms, shape), 3e-6) << k;
  }
}

TEST(AddSpike, ClipsAWindowThatReachesBeyondTheRecord) {
  std::vector<double> mv(40, 0.0);
  AddSpike(mv, kDtMs, 1.0, SpikeShape{});
  AddSpike(mv, kDtMs, 2.4, SpikeShape{});
  EXPECT_EQ(mv.size(), 40u);
  EXPECT_NE(mv[0], 0);
}

TEST(EpspDeviation, PeaksAtItsTimeConstantTooSlowForAnOnset) {
  for (double tau_ms : {2.5, 4.0}) {
    EXPECT_DOUBLE_EQ(EpspDeviation(tau_ms, 3, tau_ms), 3);
    EXPECT_EQ(EpspDeviation(-0.1, 3, tau_ms), 0);
    for (double t = 0; t < 20; t += kDtMs) {
      EXPECT_LT(EpspDeviation(t + kDtMs, 3, tau_ms) - EpspDeviation(t, 3, tau_ms), 0.625);
    }
  }
}

TEST(ShiftDeviation, RisesHoldsAndDecays) {
  const DepolarisingShift shift{100, 300, 8, 10, 20};
  struct Case {
    double t_ms;
    double mv;
  };
  for (const Case& c : {Case{99.9, 0}, Case{100, 0}, Case{105, 4}, Case{110, 8}, Case{299.9, 8},
                        Case{300, 8}, Case{320, 8 / std::exp(1.0)}}) {
    EXPECT_NEAR(ShiftDeviation(c.t_ms, shift), c.mv, 1e-12) << c.t_ms;
  }
}

TEST(SeededNoise, RepeatsItsSequenceAndIsStandardNormal) {
  SeededNoise a(42), b(42), c(43);
  EXPECT_EQ(a.Next(), b.Next());
  EXPECT_NE(a.Next(), c.Next());
  double sum = 0, sum_sq = 0;
  const int n = 200000;
  for (int i = 0; i < n; ++i) {
    const double g = a.Gaussian();
    sum += g;
    sum_sq += g * g;
  }
  EXPECT_NEAR(sum / n, 0, 0.01);
  EXPECT_NEAR(std::sqrt(sum_sq / n), 1, 0.01);
  for (int i = 0; i < 1000; ++i) {
    const double u = a.Uniform();
    ASSERT_GT(u, 0);
    ASSERT_LE(u, 1);
    const double x = a.Between(-2, 3);
    ASSERT_GE(x, -2);
    ASSERT_LT(x, 3);
  }
}

}  // namespace
}  // namespace ictalscope::demo
