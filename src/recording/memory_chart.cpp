#include "recording/memory_chart.h"

#include <algorithm>

namespace ictalscope {

namespace {

bool Ascending(const std::vector<ChartPoint>& points) {
  bool falls = false;
  for (size_t i = 1; i < points.size(); ++i) falls |= points[i].x < points[i - 1].x;
  return !falls;
}

void AddPoints(const std::vector<ChartPoint>& from, std::vector<ChartPoint>& to) {
  to.insert(to.end(), from.begin(), from.end());
}

void AddPoints(const DrawnRun& run, std::vector<ChartPoint>& to) {
  const int64_t count = run.PointCount();
  to.reserve(to.size() + static_cast<size_t>(count));
  for (int64_t i = 0; i < count; ++i) to.push_back(run.Point(i));
}

}  // namespace

// clear() keeps the capacity, so a reload of a record of the same size allocates nothing.
void MemoryChart::Clear(Series series) {
  SeriesParts& s = Of(series);
  s.parts.clear();
  s.points.clear();
  s.points_current = true;
}

std::vector<ChartPoint>& MemoryChart::LastPoints(SeriesParts& s) {
  if (s.parts.empty() || !std::holds_alternative<std::vector<ChartPoint>>(s.parts.back())) {
    s.parts.emplace_back(std::vector<ChartPoint>{});
  }
  s.points_current = false;
  return std::get<std::vector<ChartPoint>>(s.parts.back());
}

void MemoryChart::Append(Series series, double x, double y) {
  LastPoints(Of(series)).push_back({x, y});
}

void MemoryChart::AppendPoints(Series series, std::span<const ChartPoint> points) {
  std::vector<ChartPoint>& last = LastPoints(Of(series));
  last.insert(last.end(), points.begin(), points.end());
}

void MemoryChart::Reserve(Series series, size_t more) {
  std::vector<ChartPoint>& last = LastPoints(Of(series));
  last.reserve(last.size() + more);
}

void MemoryChart::AppendRun(Series series, const DrawnRun& run) {
  SeriesParts& s = Of(series);
  s.parts.emplace_back(run);
  s.points_current = false;
}

void MemoryChart::ExtendLastRun(Series series, int64_t points) {
  SeriesParts& s = Of(series);
  for (auto part = s.parts.rbegin(); part != s.parts.rend(); ++part) {
    if (DrawnRun* run = std::get_if<DrawnRun>(&*part)) {
      run->set_point_count(points);
      s.points_current = false;
      return;
    }
  }
}

void MemoryChart::KeepSamplesOf(const double* array) {
  for (SeriesParts& s : series_) {
    for (Part& part : s.parts) {
      if (DrawnRun* run = std::get_if<DrawnRun>(&part)) run->KeepIfShowing(array);
    }
  }
}

// Adding a point after those of its x, one point at a time, is a stable sort of all points in
// the order of adding; runs and the loader's points ascend already, so a sort is rarely needed.
const std::vector<ChartPoint>& MemoryChart::Points(Series series) const {
  const SeriesParts& s = Of(series);
  if (s.points_current) return s.points;
  s.points.clear();
  for (const Part& part : s.parts) {
    std::visit([&s](const auto& p) { AddPoints(p, s.points); }, part);
  }
  if (series != Series::I && !Ascending(s.points)) {
    std::stable_sort(s.points.begin(), s.points.end(),
                     [](const ChartPoint& a, const ChartPoint& b) { return a.x < b.x; });
  }
  s.points_current = true;
  return s.points;
}

size_t MemoryChart::PointCount(Series series) const {
  size_t count = 0;
  for (const Part& part : Of(series).parts) {
    if (const DrawnRun* run = std::get_if<DrawnRun>(&part)) {
      count += static_cast<size_t>(run->PointCount());
    } else {
      count += std::get<std::vector<ChartPoint>>(part).size();
    }
  }
  return count;
}

std::vector<const DrawnRun*> MemoryChart::Runs(Series series) const {
  std::vector<const DrawnRun*> runs;
  for (const Part& part : Of(series).parts) {
    if (const DrawnRun* run = std::get_if<DrawnRun>(&part)) runs.push_back(run);
  }
  return runs;
}

void MemoryChart::DrawOn(Chart& chart) const {
  for (int i = 0; i < kSeriesCount; ++i) {
    const auto series = static_cast<Series>(i);
    for (const Part& part : Of(series).parts) {
      if (const DrawnRun* run = std::get_if<DrawnRun>(&part)) {
        chart.AppendRun(series, *run);
      } else {
        chart.AppendPoints(series, std::get<std::vector<ChartPoint>>(part));
      }
    }
  }
}

}  // namespace ictalscope
