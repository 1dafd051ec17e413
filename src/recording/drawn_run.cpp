#include "recording/drawn_run.h"

namespace ictalscope {

DrawnRun::DrawnRun(std::array<const double*, 2> sources, int64_t samples, int64_t first,
                   int64_t step, double acq_time_ms, double offset_s)
    : sources_(sources),
      samples_(samples),
      first_(first),
      step_(step),
      acq_time_ms_(acq_time_ms),
      offset_s_(offset_s) {}

// k * AcqTime / 1000 + offset, as the loader computed it (adding an offset of 0 changes no
// value of a positive time).
double DrawnRun::X(int64_t k) const {
  return static_cast<double>(static_cast<long double>(k) * acq_time_ms_ / 1000 + offset_s_);
}

ChartPoint DrawnRun::Point(int64_t i) const {
  const int sources = SourceCount();
  const int64_t k = first_ + i / sources * step_;
  return {X(k), sources_[i % sources][k]};
}

void DrawnRun::KeepIfShowing(const double* array) {
  for (int s = 0; s < SourceCount(); ++s) {
    if (sources_[s] != array || array == nullptr) continue;
    kept_[s] = std::make_shared<const std::vector<double>>(array, array + samples_);
    sources_[s] = kept_[s]->data();
  }
}

}  // namespace ictalscope
