#pragma once

#include <array>
#include <span>
#include <vector>

#include "recording/chart.h"

namespace ictalscope {

// The chart held in memory, for the batch tool and the tests.
class MemoryChart : public Chart {
 public:
  void Clear(Series series) override;
  void Append(Series series, double x, double y) override;
  void AppendPoints(Series series, std::span<const ChartPoint> points) override;
  void Reserve(Series series, size_t points) override;
  const std::vector<ChartPoint>& Points(Series series) const {
    return points_[static_cast<int>(series)];
  }

 private:
  void Insert(std::vector<ChartPoint>& points, ChartPoint point);

  std::array<std::vector<ChartPoint>, kSeriesCount> points_;
};

}  // namespace ictalscope
