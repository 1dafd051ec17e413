#pragma once

#include <string_view>

namespace ictalscope {

// The seven series of the chart, in legend order.
enum class Series { V, I, th, peak, V_min, ID, IID };
inline constexpr int kSeriesCount = 7;

// "V", "I", "th", " peak        " (one blank, peak, eight blanks), "V_min", "ID", "IID".
std::string_view SeriesTitle(Series series);

// What the handlers see of the chart: x in s, y in mV. Every series but "I" keeps its points in
// ascending x (stable for equal x); "I" keeps insertion order.
class Chart {
 public:
  virtual ~Chart() = default;
  virtual void Clear(Series series) = 0;
  virtual void Append(Series series, double x, double y) = 0;
};

}  // namespace ictalscope
