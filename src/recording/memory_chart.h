#pragma once

#include <array>
#include <span>
#include <variant>
#include <vector>

#include "recording/chart.h"
#include "recording/drawn_run.h"

namespace ictalscope {

// The chart held in memory, for the batch tool and the tests. A series keeps what was added to
// it in order, points and runs, and gives its points only when asked: every series but "I" in
// ascending x, points of equal x in the order of adding (as if each had been inserted after
// the points of its x); "I" in the order of adding.
class MemoryChart : public Chart {
 public:
  void Clear(Series series) override;
  void Append(Series series, double x, double y) override;
  void AppendPoints(Series series, std::span<const ChartPoint> points) override;
  void Reserve(Series series, size_t points) override;
  void AppendRun(Series series, const DrawnRun& run) override;
  void ExtendLastRun(Series series, int64_t points) override;
  void KeepSamplesOf(const double* array) override;

  // The points of the series, worked out from its runs on the first call after a change.
  const std::vector<ChartPoint>& Points(Series series) const;
  size_t PointCount(Series series) const;
  // The runs drawn on the series, in order.
  std::vector<const DrawnRun*> Runs(Series series) const;
  // Draws every series on `chart` as it was drawn here: its points appended one by one and its
  // runs, in the order they came, each run with the points it has now.
  void DrawOn(Chart& chart) const;

 private:
  using Part = std::variant<std::vector<ChartPoint>, DrawnRun>;
  struct SeriesParts {
    std::vector<Part> parts;
    mutable std::vector<ChartPoint> points;  // the parts' points in order, once worked out
    mutable bool points_current = true;
  };

  SeriesParts& Of(Series series) { return series_[static_cast<int>(series)]; }
  const SeriesParts& Of(Series series) const { return series_[static_cast<int>(series)]; }
  std::vector<ChartPoint>& LastPoints(SeriesParts& s);

  std::array<SeriesParts, kSeriesCount> series_;
};

}  // namespace ictalscope
