#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace ictalscope {

class DrawnRun;

// The seven series of the chart, in legend order.
enum class Series { V, I, th, peak, V_min, ID, IID };
inline constexpr int kSeriesCount = 7;

// "V", "I", "th", " peak        " (one blank, peak, eight blanks), "V_min", "ID", "IID".
std::string_view SeriesTitle(Series series);

struct ChartPoint {
  double x;
  double y;
  bool operator==(const ChartPoint&) const = default;
};

// What the handlers see of the chart: x in s, y in mV. Every series but "I" keeps its points in
// ascending x (stable for equal x); "I" keeps insertion order.
class Chart {
 public:
  virtual ~Chart() = default;
  virtual void Clear(Series series) = 0;
  virtual void Append(Series series, double x, double y) = 0;
  // The same as Append for each point in order. The loader draws a record through it, a run of
  // points at a time; a chart that can take a run at once overrides it.
  virtual void AppendPoints(Series series, std::span<const ChartPoint> points) {
    for (const ChartPoint& p : points) Append(series, p.x, p.y);
  }
  // A hint that about `points` more points will be appended to the series.
  virtual void Reserve(Series /*series*/, size_t /*points*/) {}

  // Draws the run's points on the series, as if they were appended one by one (the chart
  // records the run rather than copying its points). The last run appended to a series may
  // still grow while its samples are read: ExtendLastRun gives its new number of points.
  virtual void AppendRun(Series series, const DrawnRun& run) = 0;
  virtual void ExtendLastRun(Series series, int64_t points) = 0;
  // The samples of `array` are about to be overwritten: every run drawn from it keeps a copy of
  // what it shows.
  virtual void KeepSamplesOf(const double* array) = 0;
};

}  // namespace ictalscope
