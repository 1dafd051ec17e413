#include "recording/memory_chart.h"

#include <gtest/gtest.h>

#include <algorithm>
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

// A run's points are those the loader drew one by one: x = k * AcqTime / 1000 + offset in
// extended precision, two points per sample with two sources, placed among the series' other
// points as Append would place them.
TEST(MemoryChart, RunsGiveThePointsTheyStandFor) {
  const std::vector<double> smoothed = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
  const std::vector<double> raw = {0, -1, -2, -3, -4, -5, -6, -7, -8, -9, -10, -11};
  const double acq_ms = 0.1;  // no binary fraction: the arithmetic shows
  auto x = [acq_ms](int64_t k, double offset) {
    return static_cast<double>(static_cast<long double>(k) * acq_ms / 1000 + offset);
  };
  DrawnRun both({smoothed.data(), raw.data()}, 12, 3, 4, acq_ms, 0);
  both.set_point_count(5);  // samples 3, 7 and the smoothed point of 11
  DrawnRun later({raw.data(), nullptr}, 12, 5, 5, acq_ms, 300);
  later.set_point_count(2);  // samples 5 and 10, 300 s on
  MemoryChart chart;
  chart.Append(Series::V, x(7, 0), 99);  // before the run: goes before its points of equal x
  chart.AppendRun(Series::V, both);
  chart.AppendRun(Series::V, later);
  chart.Append(Series::V, 0, 98);
  EXPECT_EQ(chart.PointCount(Series::V), 9u);
  EXPECT_EQ(chart.Points(Series::V), (std::vector<ChartPoint>{{0, 98},
                                                              {x(3, 0), 3},
                                                              {x(3, 0), -3},
                                                              {x(7, 0), 99},
                                                              {x(7, 0), 7},
                                                              {x(7, 0), -7},
                                                              {x(11, 0), 11},
                                                              {x(5, 300), -5},
                                                              {x(10, 300), -10}}));
  chart.ExtendLastRun(Series::V, 1);
  EXPECT_EQ(chart.Points(Series::V).back(), (ChartPoint{x(5, 300), -5}));
}

// Samples about to be overwritten are copied into the runs that show them, and only into those.
TEST(MemoryChart, KeepsTheSamplesOfAnArrayAboutToChange) {
  std::vector<double> trace = {1, 2, 3, 4, 5, 6};
  std::vector<double> other = {7, 8, 9, 10, 11, 12};
  MemoryChart chart;
  DrawnRun run({trace.data(), nullptr}, 6, 3, 1, 1, 0);
  run.set_point_count(3);
  chart.AppendRun(Series::V, run);
  DrawnRun second({other.data(), nullptr}, 6, 3, 1, 1, 0);
  second.set_point_count(3);
  chart.AppendRun(Series::IID, second);
  chart.KeepSamplesOf(trace.data());
  std::fill(trace.begin(), trace.end(), 0);
  std::fill(other.begin(), other.end(), 0);
  EXPECT_EQ(chart.Points(Series::V), (std::vector<ChartPoint>{{0.003, 4}, {0.004, 5}, {0.005, 6}}));
  EXPECT_EQ(chart.Points(Series::IID),
            (std::vector<ChartPoint>{{0.003, 0}, {0.004, 0}, {0.005, 0}}));
  EXPECT_NE(chart.Runs(Series::V).front()->Samples(0), trace.data());
  EXPECT_EQ(chart.Runs(Series::IID).front()->Samples(0), other.data());
}

TEST(SeriesTitle, NamesInLegendOrder) {
  const std::vector<std::string_view> titles = {"V",     "I",  "th", " peak        ",
                                                "V_min", "ID", "IID"};
  for (int i = 0; i < kSeriesCount; ++i) EXPECT_EQ(SeriesTitle(static_cast<Series>(i)), titles[i]);
}

}  // namespace
}  // namespace ictalscope
