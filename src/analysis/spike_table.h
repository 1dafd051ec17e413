#pragma once

#include <cstdint>
#include <memory>

#include "recording/trace.h"

namespace ictalscope {

// One column of the spike table: entries 0 to kCapacity, zero at start. Its pages are mapped
// when first written, so a table that holds a few spikes costs a few pages, while an ictal
// discharge of a long gap-free recording may fill thousands of entries.
class SpikeColumn {
 public:
  explicit SpikeColumn(int32_t entries);
  SpikeColumn(const SpikeColumn& other);
  SpikeColumn& operator=(const SpikeColumn& other);
  SpikeColumn(SpikeColumn&&) noexcept = default;
  SpikeColumn& operator=(SpikeColumn&&) noexcept = default;

  double& operator[](int32_t k) { return data_.get()[k]; }
  double operator[](int32_t k) const { return data_.get()[k]; }
  const double* data() const { return data_.get(); }

 private:
  int32_t entries_;
  std::unique_ptr<double, FreeDeleter> data_;
};

// The spikes found by the last "Spikes" run, numbered from 1 (index 0 is never used). A run
// resets SpikeCount and overwrites the entries it reaches; entries above SpikeCount keep what
// an earlier run left in them.
struct SpikeTable {
  static constexpr int32_t kCapacity = 100'000;
  using Column = SpikeColumn;

  int32_t SpikeCount = 0;
  Column VT{kCapacity + 1};     // mV at the onset sample
  Column tsp{kCapacity + 1};    // ms, onset time
  Column Vpeak{kCapacity + 1};  // mV
  Column tpeak{kCapacity + 1};  // ms
  Column Vrest{kCapacity + 1};  // mV, lowest V of the look-back window
  Column Vmin{kCapacity + 1};   // mV at the end sample
  Column AHP{kCapacity + 1};    // mV, VT - Vmin
};

}  // namespace ictalscope
