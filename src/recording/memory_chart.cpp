#include "recording/memory_chart.h"

#include <algorithm>

namespace ictalscope {

// clear() keeps the capacity, so a reload of a record of the same size allocates nothing.
void MemoryChart::Clear(Series series) { points_[static_cast<int>(series)].clear(); }

// Points arrive almost always in ascending x, so the common case is a push_back.
void MemoryChart::Append(Series series, double x, double y) {
  std::vector<ChartPoint>& points = points_[static_cast<int>(series)];
  if (series == Series::I || points.empty() || !(x < points.back().x)) {
    points.push_back({x, y});
  } else {
    Insert(points, {x, y});
  }
}

namespace {

// True when `run` is in ascending x (stable for equal x; NaN compares as not below) and starts
// at or after the last point. The loader's runs always are, so every point is compared, without
// a branch per point.
bool AscendsFrom(const std::vector<ChartPoint>& points, std::span<const ChartPoint> run) {
  bool falls = !points.empty() && run.front().x < points.back().x;
  for (size_t i = 1; i < run.size(); ++i) falls |= run[i].x < run[i - 1].x;
  return !falls;
}

}  // namespace

// A run in ascending x that starts at or after the last point is copied to the end at once.
void MemoryChart::AppendPoints(Series series, std::span<const ChartPoint> run) {
  if (run.empty()) return;
  std::vector<ChartPoint>& points = points_[static_cast<int>(series)];
  if (series == Series::I || AscendsFrom(points, run)) {
    points.insert(points.end(), run.begin(), run.end());
    return;
  }
  for (const ChartPoint& p : run) Append(series, p.x, p.y);
}

// Growing once to the final size touches half the memory that doubling would.
void MemoryChart::Reserve(Series series, size_t more) {
  std::vector<ChartPoint>& points = points_[static_cast<int>(series)];
  points.reserve(points.size() + more);
}

// An earlier x goes after the points with an equal x (stable order).
void MemoryChart::Insert(std::vector<ChartPoint>& points, ChartPoint point) {
  auto at = std::upper_bound(points.begin(), points.end(), point.x,
                             [](double value, const ChartPoint& p) { return value < p.x; });
  points.insert(at, point);
}

}  // namespace ictalscope
