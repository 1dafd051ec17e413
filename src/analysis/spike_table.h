#pragma once

#include <array>
#include <cstdint>

namespace ictalscope {

// The spikes found by the last "Spikes" run, numbered from 1 (index 0 is never used). A run
// resets SpikeCount and overwrites the entries it reaches; entries above SpikeCount keep what
// an earlier run left in them.
struct SpikeTable {
  static constexpr int32_t kCapacity = 1000;
  using Column = std::array<double, kCapacity + 1>;

  int32_t SpikeCount = 0;
  Column VT{};     // mV at the onset sample
  Column tsp{};    // ms, onset time
  Column Vpeak{};  // mV
  Column tpeak{};  // ms
  Column Vrest{};  // mV, lowest V of the look-back window
  Column Vmin{};   // mV at the end sample
  Column AHP{};    // mV, VT - Vmin
};

}  // namespace ictalscope
