#pragma once

#include <cstdint>
#include <vector>

#include "recording/drawn_run.h"
#include "recording/min_max_pyramid.h"

namespace ictalscope {

// The pixel columns of a chart's x axis: x lies at position (x - lower) / (upper - lower) *
// width, and column c holds the positions in [c, c + 1).
struct ColumnGrid {
  double lower = 0;
  double upper = 1;
  int width = 1;

  double Position(double x) const { return (x - lower) / (upper - lower) * width; }
};

// The samples of a run that lie in one column, and the least and the greatest of them over all
// sources.
struct ColumnSamples {
  int64_t column;
  int64_t begin;  // samples [begin, end), never empty
  int64_t end;
  MinMax range;
  bool operator==(const ColumnSamples&) const = default;
};

// The samples of the run that the window draws, 0 .. DrawnSamples(run) - 1: every sample of
// the record once the run holds its last point as defined, up to its last sample drawn so far
// while it still grows (the samples after that may not have been read yet).
int64_t DrawnSamples(const DrawnRun& run);

// The first of the samples 0 .. samples - 1 in the order of their x whose position on the grid
// is `position` or more, as an index: the samples at positions [a, b) are
// [SampleBoundary(a), SampleBoundary(b)) when x grows with the index (AcqTime >= 0) and
// [SampleBoundary(b), SampleBoundary(a)) when it falls. `samples` when there is none.
int64_t SampleBoundary(const DrawnRun& run, int64_t samples, const ColumnGrid& grid,
                       double position);

// The columns first_column .. end_column - 1 that hold any of the samples 0 .. samples - 1 of
// the run, in the order of the samples, their ranges from `pyramid` (which covers those
// samples of the run's sources).
std::vector<ColumnSamples> SamplesByColumn(const DrawnRun& run, int64_t samples,
                                           const MinMaxPyramid& pyramid, const ColumnGrid& grid,
                                           int64_t first_column, int64_t end_column);

}  // namespace ictalscope
