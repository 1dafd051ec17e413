#include "recording/column_envelope.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "recording/min_max_pyramid.h"

namespace ictalscope {

void PrintTo(const ColumnSamples& c, std::ostream* os) {
  *os << "column " << c.column << " [" << c.begin << ", " << c.end << ") " << c.range.min << ".."
      << c.range.max;
}

namespace {

std::vector<double> RandomSamples(int64_t count, uint32_t seed) {
  std::mt19937 random(seed);
  std::normal_distribution<double> noise(-65, 3);
  std::uniform_int_distribution<int> spike(0, 499);
  std::vector<double> v(static_cast<size_t>(count));
  for (double& x : v) x = spike(random) == 0 ? 30 + noise(random) : noise(random);
  return v;
}

MinMax BruteMinMax(const std::vector<const double*>& sources, int64_t begin, int64_t end) {
  MinMax m;
  for (const double* s : sources) {
    for (int64_t k = begin; k < end; ++k) m.Add(s[k]);
  }
  return m;
}

// ---- MinMaxPyramid ---------------------------------------------------------------------------

struct PyramidCase {
  int64_t samples;
  bool two_sources;
};

class MinMaxPyramidTest : public ::testing::TestWithParam<PyramidCase> {};

// Random ranges, and those that start or end at block and node edges and at the ends.
TEST_P(MinMaxPyramidTest, AnyRangeGivesTheExtremesOfItsSamples) {
  const PyramidCase c = GetParam();
  const std::vector<double> a = RandomSamples(c.samples, 1), b = RandomSamples(c.samples, 2);
  std::vector<const double*> sources = {a.data()};
  if (c.two_sources) sources.push_back(b.data());
  MinMaxPyramid pyramid;
  pyramid.Cover({a.data(), c.two_sources ? b.data() : nullptr}, c.samples);
  ASSERT_EQ(pyramid.count(), c.samples);

  std::vector<std::pair<int64_t, int64_t>> ranges = {
      {0, c.samples}, {0, 0}, {c.samples, c.samples}};
  const int64_t block = MinMaxPyramid::kBlockSamples;
  for (int64_t edge : {block, block * MinMaxPyramid::kFanOut,
                       block * MinMaxPyramid::kFanOut * MinMaxPyramid::kFanOut}) {
    for (int64_t d : {-1, 0, 1}) {
      const int64_t at = std::clamp<int64_t>(edge + d, 0, c.samples);
      ranges.push_back({0, at});
      ranges.push_back({at, c.samples});
      ranges.push_back({std::max<int64_t>(at - edge, 0), std::min(c.samples, at + 3 * edge)});
    }
  }
  std::mt19937 random(3);
  std::uniform_int_distribution<int64_t> index(0, c.samples);
  for (int i = 0; i < 300; ++i) {
    int64_t begin = index(random), end = index(random);
    if (begin > end) std::swap(begin, end);
    ranges.push_back({begin, end});
  }
  for (auto [begin, end] : ranges) {
    EXPECT_EQ(pyramid.Of(begin, end), BruteMinMax(sources, begin, end))
        << "[" << begin << ", " << end << ")";
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, MinMaxPyramidTest,
                         ::testing::Values(PyramidCase{0, false}, PyramidCase{1, false},
                                           PyramidCase{31, true}, PyramidCase{32, false},
                                           PyramidCase{65, true}, PyramidCase{2047, false},
                                           PyramidCase{2048, true}, PyramidCase{2049, false},
                                           PyramidCase{100'003, false},
                                           PyramidCase{100'003, true}));

// A run grows while its record is read: the pyramid only adds what the new samples complete,
// and still answers exactly over all covered samples.
TEST(MinMaxPyramid, GrowingCoverExtendsWithoutRebuilding) {
  const std::vector<double> a = RandomSamples(50'000, 4), b = RandomSamples(50'000, 5);
  MinMaxPyramid pyramid;
  std::mt19937 random(6);
  std::uniform_int_distribution<int64_t> grow(0, 3000);
  for (int64_t count = 0; count < 50'000;) {
    count = std::min<int64_t>(50'000, count + grow(random));
    pyramid.Cover({a.data(), b.data()}, count);
    std::uniform_int_distribution<int64_t> index(0, count);
    for (int i = 0; i < 20; ++i) {
      int64_t begin = index(random), end = index(random);
      if (begin > end) std::swap(begin, end);
      ASSERT_EQ(pyramid.Of(begin, end), BruteMinMax({a.data(), b.data()}, begin, end))
          << "count " << count << " [" << begin << ", " << end << ")";
    }
    ASSERT_EQ(pyramid.Of(0, count + 100), BruteMinMax({a.data(), b.data()}, 0, count));
  }
  EXPECT_EQ(pyramid.builds(), 1);
}

// Other arrays (a run that kept a copy of its samples, here with other values to tell) and
// fewer samples build afresh.
TEST(MinMaxPyramid, OtherArraysOrFewerSamplesRebuild) {
  const std::vector<double> a = RandomSamples(10'000, 7);
  std::vector<double> copy = a;
  copy[5'000] = 1000;
  MinMaxPyramid pyramid;
  pyramid.Cover({a.data(), nullptr}, 10'000);
  pyramid.Cover({copy.data(), nullptr}, 10'000);
  EXPECT_EQ(pyramid.builds(), 2);
  EXPECT_EQ(pyramid.Of(0, 10'000).max, 1000);
  copy[2'000] = 2000;
  pyramid.Cover({copy.data(), nullptr}, 4'000);
  EXPECT_EQ(pyramid.builds(), 3);
  EXPECT_EQ(pyramid.Of(0, 10'000), BruteMinMax({copy.data()}, 0, 4'000));
  EXPECT_EQ(pyramid.Of(0, 10'000).max, 2000);
}

// ---- The run's samples by column -------------------------------------------------------------

TEST(DrawnSamples, AllOfTheRecordOnceTheLastPointIsThereUpToTheLastDrawnBefore) {
  const double v[100] = {};
  struct Case {
    int sources;
    int64_t first, step, points, expected;
  } cases[] = {
      {1, 3, 5, 0, 0},    {1, 3, 5, 1, 4},   {1, 3, 5, 19, 94},   {1, 3, 5, 20, 100},
      {2, 5, 5, 1, 6},    {2, 5, 5, 2, 6},   {2, 5, 5, 36, 91},   {2, 5, 5, 37, 100},
      {1, 99, 7, 1, 100}, {1, 0, 1, 99, 99}, {1, 0, 1, 100, 100},
  };
  for (const Case& c : cases) {
    DrawnRun run({v, c.sources == 2 ? v : nullptr}, 100, c.first, c.step, 0.1, 0);
    run.set_point_count(c.points);
    EXPECT_EQ(DrawnSamples(run), c.expected)
        << c.sources << " sources, first " << c.first << " step " << c.step << ", " << c.points;
  }
}

struct ColumnCase {
  std::string name;
  int64_t samples;
  double acq_ms;
  double offset_s;
  bool two_sources;
  // The x range as fractions of the run's span, and the columns asked for.
  double from, to;
  int width;
  int64_t first_column, end_column;
};

std::ostream& operator<<(std::ostream& os, const ColumnCase& c) { return os << c.name; }

// Sample k lies in column floor(Position(X(k))), counted when the column is asked for.
std::vector<ColumnSamples> BruteColumns(const DrawnRun& run, int64_t samples,
                                        const ColumnGrid& grid, int64_t first_column,
                                        int64_t end_column) {
  std::vector<ColumnSamples> columns;
  for (int64_t k = 0; k < samples; ++k) {
    const double column = std::floor(grid.Position(run.X(k)));
    if (!(column >= double(first_column) && column < double(end_column))) continue;
    const auto c = static_cast<int64_t>(column);
    if (columns.empty() || columns.back().column != c) columns.push_back({c, k, k, {}});
    ColumnSamples& last = columns.back();
    EXPECT_EQ(last.end, k) << "column " << c << " is not one range of samples";
    last.end = k + 1;
    for (int s = 0; s < run.SourceCount(); ++s) last.range.Add(run.Samples(s)[k]);
  }
  return columns;
}

class SamplesByColumnTest : public ::testing::TestWithParam<ColumnCase> {};

TEST_P(SamplesByColumnTest, EachColumnHoldsItsSamplesAndTheirExtremes) {
  const ColumnCase c = GetParam();
  const std::vector<double> raw = RandomSamples(c.samples, 8), smooth = RandomSamples(c.samples, 9);
  const DrawnRun run(
      {c.two_sources ? smooth.data() : raw.data(), c.two_sources ? raw.data() : nullptr}, c.samples,
      3, 5, c.acq_ms, c.offset_s);
  MinMaxPyramid pyramid;
  pyramid.Cover({run.Samples(0), run.Samples(1)}, c.samples);
  const double x0 = std::min(run.X(0), run.X(c.samples - 1));
  const double x1 = std::max(run.X(0), run.X(c.samples - 1));
  const ColumnGrid grid{x0 + c.from * (x1 - x0), x0 + c.to * (x1 - x0), c.width};
  if (c.acq_ms == 0) {
    const ColumnGrid around{x0 - 1, x0 + 1, c.width};
    EXPECT_EQ(SamplesByColumn(run, c.samples, pyramid, around, c.first_column, c.end_column),
              BruteColumns(run, c.samples, around, c.first_column, c.end_column));
    return;
  }
  const std::vector<ColumnSamples> columns =
      SamplesByColumn(run, c.samples, pyramid, grid, c.first_column, c.end_column);
  EXPECT_EQ(columns, BruteColumns(run, c.samples, grid, c.first_column, c.end_column));
  EXPECT_FALSE(columns.empty());
}

// The big record's 16 kHz over 1153 columns, as the window's chart has, with the cases that
// the window's tests do not draw (they check the drawing over ordinary views).
constexpr double kAcq = 0.0625;
INSTANTIATE_TEST_SUITE_P(
    Views, SamplesByColumnTest,
    ::testing::Values(
        ColumnCase{"FullViewTwoSources", 200'001, kAcq, 0, true, 0, 1, 1153, 0, 1153},
        ColumnCase{"ColumnsOutsideThePlot", 50'001, kAcq, 0, false, 0.3, 0.6, 1153, -3, 1157},
        ColumnCase{"OddSampleInterval", 77'777, 0.1 / 3, 300, true, 0.1, 0.7, 997, 0, 997},
        ColumnCase{"TimeFallsWithTheIndex", 50'001, -kAcq, 0, true, 0.2, 0.9, 1153, 0, 1153},
        ColumnCase{"AllAtOneTime", 5'001, 0, 0, true, 0, 1, 1153, 0, 1153}),
    [](const ::testing::TestParamInfo<ColumnCase>& info) { return info.param.name; });

// Random zoom levels from a handful of samples per column to thousands, and windows anywhere
// over and around the run.
TEST(SamplesByColumn, RandomViewsMatchTheSamples) {
  const int64_t samples = 300'001;
  const std::vector<double> raw = RandomSamples(samples, 10), smooth = RandomSamples(samples, 11);
  std::mt19937 random(12);
  std::uniform_real_distribution<double> log_span(std::log(1.0), std::log(30.0));
  std::uniform_real_distribution<double> centre(-0.2, 1.2);
  std::uniform_int_distribution<int> width(50, 1500);
  for (int i = 0; i < 60; ++i) {
    const bool two = i % 2 == 0;
    const double offset = i % 3 == 0 ? 300 : 0;
    const DrawnRun run({two ? smooth.data() : raw.data(), two ? raw.data() : nullptr}, samples, 3,
                       5, kAcq, offset);
    MinMaxPyramid pyramid;
    pyramid.Cover({run.Samples(0), run.Samples(1)}, samples);
    const double span_s = std::exp(log_span(random)) * (i % 4 == 0 ? 0.01 : 1);
    const double mid = run.X(0) + centre(random) * (run.X(samples - 1) - run.X(0));
    const ColumnGrid grid{mid - span_s / 2, mid + span_s / 2, width(random)};
    ASSERT_EQ(SamplesByColumn(run, samples, pyramid, grid, -1, grid.width + 1),
              BruteColumns(run, samples, grid, -1, grid.width + 1))
        << "view " << grid.lower << " .. " << grid.upper << " s over " << grid.width;
  }
}

}  // namespace
}  // namespace ictalscope
