#pragma once

#include <array>
#include <vector>

#include "recording/chart.h"

namespace ictalscope {

struct ChartPoint {
  double x;
  double y;
  bool operator==(const ChartPoint&) const = default;
};

// The chart held in memory, for the batch tool and the tests.
class MemoryChart : public Chart {
 public:
  void Clear(Series series) override;
  void Append(Series series, double x, double y) override;
  const std::vector<ChartPoint>& Points(Series series) const {
    return points_[static_cast<int>(series)];
  }

 private:
  std::array<std::vector<ChartPoint>, kSeriesCount> points_;
};

}  // namespace ictalscope
