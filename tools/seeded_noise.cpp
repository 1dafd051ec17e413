#include "seeded_noise.h"

#include <cmath>
#include <numbers>

namespace ictalscope::demo {

uint64_t SeededNoise::Next() {
  state_ += 0x9E3779B97F4A7C15ull;
  uint64_t z = state_;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

double SeededNoise::Uniform() { return static_cast<double>((Next() >> 11) + 1) * 0x1.0p-53; }

double SeededNoise::Between(double low, double high) {
  return low + (high - low) * (Uniform() - 0x1.0p-53);
}

double SeededNoise::Gaussian() {
  if (has_spare_) {
    has_spare_ = false;
    return spare_;
  }
  const double radius = std::sqrt(-2.0 * std::log(Uniform()));
  const double angle = 2.0 * std::numbers::pi * Uniform();
  spare_ = radius * std::sin(angle);
  has_spare_ = true;
  return radius * std::cos(angle);
}

}  // namespace ictalscope::demo
