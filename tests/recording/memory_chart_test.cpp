#include "recording/memory_chart.h"

#include <gtest/gtest.h>

#include <vector>

namespace ictalscope {
namespace {

TEST(MemoryChart, KeepsAscendingXStableForEqualX) {
  MemoryChart chart;
  for (auto [x, y] : {std::pair{1.0, 1.0},
                      {3.0, 2.0},
                      {2.0, 3.0},
                      {3.0, 4.0},
                      {0.5, 5.0},
                      {2.0, 6.0},
                      {4.0, 7.0}}) {
    chart.Append(Series::V, x, y);
  }
  EXPECT_EQ(chart.Points(Series::V),
            (std::vector<ChartPoint>{{0.5, 5}, {1, 1}, {2, 3}, {2, 6}, {3, 2}, {3, 4}, {4, 7}}));
}

TEST(MemoryChart, SeriesIKeepsInsertionOrder) {
  MemoryChart chart;
  chart.Append(Series::I, 3, 1);
  chart.Append(Series::I, 1, 2);
  chart.Append(Series::th, 3, 1);
  chart.Append(Series::th, 1, 2);
  EXPECT_EQ(chart.Points(Series::I), (std::vector<ChartPoint>{{3, 1}, {1, 2}}));
  EXPECT_EQ(chart.Points(Series::th), (std::vector<ChartPoint>{{1, 2}, {3, 1}}));
  chart.Clear(Series::I);
  EXPECT_TRUE(chart.Points(Series::I).empty());
  EXPECT_EQ(chart.Points(Series::th).size(), 2u);
}

// A run goes to the end at once when it continues the series in ascending x; otherwise each
// point is placed as Append would place it.
TEST(MemoryChart, AppendPointsAsAppendWould) {
  const std::vector<std::vector<ChartPoint>> runs = {
      {{1, 1}, {2, 2}, {2, 3}},
      {{2, 4}, {5, 5}},
      {{4, 6}, {6, 7}},    // starts before the last point
      {{7, 8}, {6.5, 9}},  // not ascending
      {},
  };
  MemoryChart bulk;
  MemoryChart single;
  bulk.Reserve(Series::V, 9);
  for (const std::vector<ChartPoint>& run : runs) {
    bulk.AppendPoints(Series::V, run);
    bulk.AppendPoints(Series::I, run);
    for (const ChartPoint& p : run) {
      single.Append(Series::V, p.x, p.y);
      single.Append(Series::I, p.x, p.y);
    }
  }
  EXPECT_EQ(bulk.Points(Series::V), single.Points(Series::V));
  EXPECT_EQ(bulk.Points(Series::V),
            (std::vector<ChartPoint>{
                {1, 1}, {2, 2}, {2, 3}, {2, 4}, {4, 6}, {5, 5}, {6, 7}, {6.5, 9}, {7, 8}}));
  EXPECT_EQ(bulk.Points(Series::I), single.Points(Series::I));
  EXPECT_EQ(bulk.Points(Series::I)[4], (ChartPoint{5, 5}));
}

TEST(SeriesTitle, NamesInLegendOrder) {
  const std::vector<std::string_view> titles = {"V",     "I",  "th", " peak        ",
                                                "V_min", "ID", "IID"};
  for (int i = 0; i < kSeriesCount; ++i) EXPECT_EQ(SeriesTitle(static_cast<Series>(i)), titles[i]);
}

}  // namespace
}  // namespace ictalscope
