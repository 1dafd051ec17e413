#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "recording/chart.h"

namespace ictalscope {

// The samples that a load or "two traces" draws on series "V", recorded instead of copied:
// sample k = first, first + step, first + 2 step, ... at x = k * AcqTime / 1000 + offset seconds
// (in extended precision, stored as a double: what the loader always drew). With two sources
// (a load with "Filter" ticked) each sample gives two points at the same x, the smoothed value
// first, then the raw one. The run holds `points` points; it grows a point at a time while
// the record is read.
//
// The run points into the arrays that hold the record (Trace.V, the smoothed values), all of
// whose samples 0 .. samples - 1 the window draws at full resolution. Before an array is
// written again, KeepIfShowing gives the run its own copy of what it shows.
class DrawnRun {
 public:
  DrawnRun(std::array<const double*, 2> sources, int64_t samples, int64_t first, int64_t step,
           double acq_time_ms, double offset_s);

  int SourceCount() const { return sources_[1] != nullptr ? 2 : 1; }
  int64_t first() const { return first_; }
  int64_t step() const { return step_; }
  // The samples drawn so far (the last one may have given only its first point).
  int64_t count() const { return (points_ + SourceCount() - 1) / SourceCount(); }
  double acq_time_ms() const { return acq_time_ms_; }
  double offset_s() const { return offset_s_; }

  int64_t PointCount() const { return points_; }
  void set_point_count(int64_t points) { points_ = points; }
  ChartPoint Point(int64_t i) const;
  // x of sample k, in seconds.
  double X(int64_t k) const;

  // Samples 0 .. RecordSamples() - 1 of source s (0 or 1).
  const double* Samples(int s) const { return sources_[s]; }
  int64_t RecordSamples() const { return samples_; }

  // The samples of `array` are about to change: a source that is that array becomes a copy.
  void KeepIfShowing(const double* array);

 private:
  std::array<const double*, 2> sources_;
  std::array<std::shared_ptr<const std::vector<double>>, 2> kept_;
  int64_t samples_;
  int64_t first_;
  int64_t step_;
  int64_t points_ = 0;
  double acq_time_ms_;
  double offset_s_;
};

}  // namespace ictalscope
