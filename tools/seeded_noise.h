#pragma once

#include <cstdint>

namespace ictalscope::demo {

// A small deterministic random source (splitmix64) with Gaussian draws by the Box-Muller method.
// The standard library's distributions differ between library versions; this one gives the same
// sequence everywhere, so a generated recording is reproducible byte for byte.
class SeededNoise {
 public:
  explicit SeededNoise(uint64_t seed) : state_(seed) {}

  uint64_t Next();
  // Uniform in (0, 1]: never 0, so that its logarithm is finite.
  double Uniform();
  // Uniform in [low, high).
  double Between(double low, double high);
  // Standard normal.
  double Gaussian();

 private:
  uint64_t state_;
  bool has_spare_ = false;
  double spare_ = 0;
};

}  // namespace ictalscope::demo
