#include "recording/column_envelope.h"

#include <cmath>

namespace ictalscope {
namespace {

// The first index in [0, n) for which `holds` is true, n when there is none; `holds` is false
// and then true along the indices. The search gallops out from `guess`, so a good guess costs
// a few calls.
template <typename Holds>
int64_t FirstHolding(const Holds& holds, int64_t n, int64_t guess) {
  int64_t lo, hi;  // holds(lo) is false (or lo = -1), holds(hi) is true (or hi = n)
  if (guess < n && holds(guess)) {
    hi = guess;
    int64_t step = 1;
    for (lo = hi - step; lo >= 0 && holds(lo); lo = hi - step) {
      hi = lo;
      step *= 2;
    }
    lo = std::max<int64_t>(lo, -1);
  } else {
    lo = guess;
    if (lo >= n) return n;
    int64_t step = 1;
    for (hi = lo + step; hi < n && !holds(hi); hi = lo + step) {
      lo = hi;
      step *= 2;
    }
    hi = std::min(hi, n);
  }
  while (hi - lo > 1) {
    const int64_t mid = lo + (hi - lo) / 2;
    (holds(mid) ? hi : lo) = mid;
  }
  return hi;
}

}  // namespace

int64_t DrawnSamples(const DrawnRun& run) {
  const int64_t count = run.count();
  if (count <= 0) return 0;
  const int64_t samples = run.RecordSamples();
  const int64_t last = run.first() + (count - 1) * run.step();
  if (last + run.step() >= samples) return samples;
  return std::min(last + 1, samples);
}

int64_t SampleBoundary(const DrawnRun& run, int64_t samples, const ColumnGrid& grid,
                       double position) {
  const double acq_ms = run.acq_time_ms();
  const double x = grid.lower + position / grid.width * (grid.upper - grid.lower);
  const double estimate = (x - run.offset_s()) * 1000 / acq_ms;
  const int64_t guess = std::isfinite(estimate)
                            ? static_cast<int64_t>(std::clamp(estimate, 0.0, double(samples)))
                            : 0;
  if (acq_ms < 0) {
    return FirstHolding([&](int64_t k) { return grid.Position(run.X(k)) < position; }, samples,
                        guess);
  }
  return FirstHolding([&](int64_t k) { return grid.Position(run.X(k)) >= position; }, samples,
                      guess);
}

std::vector<ColumnSamples> SamplesByColumn(const DrawnRun& run, int64_t samples,
                                           const MinMaxPyramid& pyramid, const ColumnGrid& grid,
                                           int64_t first_column, int64_t end_column) {
  std::vector<ColumnSamples> columns;
  if (end_column <= first_column) return columns;
  const bool falls = run.acq_time_ms() < 0;
  auto add = [&](int64_t column, int64_t begin, int64_t end) {
    if (begin < end) columns.push_back({column, begin, end, pyramid.Of(begin, end)});
  };
  int64_t previous = SampleBoundary(run, samples, grid, double(falls ? end_column : first_column));
  if (falls) {
    for (int64_t c = end_column - 1; c >= first_column; --c) {
      const int64_t boundary = SampleBoundary(run, samples, grid, double(c));
      add(c, previous, boundary);
      previous = boundary;
    }
  } else {
    for (int64_t c = first_column; c < end_column; ++c) {
      const int64_t boundary = SampleBoundary(run, samples, grid, double(c + 1));
      add(c, previous, boundary);
      previous = boundary;
    }
  }
  return columns;
}

}  // namespace ictalscope
