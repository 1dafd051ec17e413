#include "ui/qt_chart.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QMouseEvent>
#include <cmath>
#include <limits>
#include <map>
#include <random>
#include <vector>

#include "analysis/analyses.h"
#include "panel/memory_panel.h"
#include "recording/loader.h"
#include "recording/memory_chart.h"
#include "recording/workspace.h"
#include "ui/chart_widget.h"
#include "ui/save_widget_as_wmf.h"
#include "ui/trace_graph.h"
#include "window_test_support.h"

namespace ictalscope {

void PrintTo(const ChartPoint& p, std::ostream* os) { *os << "(" << p.x << ", " << p.y << ")"; }

namespace {

class QtChartTest : public testing::QtTest {
 protected:
  void SetUp() override { MakeChart(); }

  // A fresh chart widget of the window's chart's size, and the chart over it.
  void MakeChart() {
    chart_.reset();
    widget_ = std::make_unique<ChartWidget>();
    widget_->resize(1153, 336);
    widget_->setViewport(widget_->rect());  // a hidden widget gets its resize event only when shown
    chart_ = std::make_unique<QtChart>(*widget_);
  }

  std::vector<ChartPoint> PointsOf(Series series) const {
    std::vector<ChartPoint> points;
    const QCPPlottableInterface1D* data = chart_->Plottable(series)->interface1D();
    for (int i = 0; i < data->dataCount(); ++i) {
      points.push_back({data->dataMainKey(i), data->dataMainValue(i)});
    }
    return points;
  }

  std::unique_ptr<ChartWidget> widget_;
  std::unique_ptr<QtChart> chart_;
};

TEST_F(QtChartTest, HasTheSevenSeriesInLegendOrderWithOnlyCurrentHiddenOnTheRightAxis) {
  const char* const titles[] = {"V", "I", "th", " peak        ", "V_min", "ID", "IID"};
  ASSERT_EQ(widget_->legend->itemCount(), kSeriesCount);
  for (int i = 0; i < kSeriesCount; ++i) {
    const auto series = static_cast<Series>(i);
    auto* item = qobject_cast<QCPPlottableLegendItem*>(widget_->legend->item(i));
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->plottable(), chart_->Plottable(series));
    EXPECT_EQ(item->plottable()->name(), QString::fromLatin1(titles[i]));
    const bool current = series == Series::I;
    EXPECT_EQ(item->plottable()->visible(), !current) << titles[i];
    EXPECT_EQ(item->plottable()->valueAxis(), current ? widget_->yAxis2 : widget_->yAxis);
  }
  EXPECT_FALSE(widget_->yAxis2->visible());
  EXPECT_EQ(widget_->xAxis->label(), "t, s");
  EXPECT_EQ(widget_->yAxis->label(), "V, mV");
  EXPECT_EQ(widget_->yAxis2->label(), "I, pA");
}

// Random runs and single points, in and out of order and with many equal x, must leave every
// series exactly as the in-memory chart that the batch tool uses: ascending x, later points
// after earlier ones of equal x, and insertion order for "I".
TEST_F(QtChartTest, KeepsTheSameOrderAsTheMemoryChartWhateverTheOrderOfAdding) {
  MemoryChart reference;
  std::mt19937 random(7);
  std::uniform_int_distribution<int> coarse_x(0, 30), run_length(1, 12), kind(0, 3);
  for (int step = 0; step < 400; ++step) {
    const auto series = static_cast<Series>(step % kSeriesCount);
    std::vector<ChartPoint> run(static_cast<size_t>(run_length(random)));
    double x = coarse_x(random);
    for (ChartPoint& p : run) {
      x += kind(random) == 0 ? -1.0 : (kind(random) == 1 ? 0.0 : 0.5);  // mostly ascending
      p = {x, static_cast<double>(step)};
    }
    if (kind(random) == 0) {
      for (const ChartPoint& p : run) {
        chart_->Append(series, p.x, p.y);
        reference.Append(series, p.x, p.y);
      }
    } else {
      chart_->AppendPoints(series, run);
      reference.AppendPoints(series, run);
    }
    if (step == 200) {
      chart_->Clear(Series::th);
      reference.Clear(Series::th);
    }
  }
  for (int i = 0; i < kSeriesCount; ++i) {
    const auto series = static_cast<Series>(i);
    EXPECT_EQ(PointsOf(series), reference.Points(series)) << SeriesTitle(series);
  }
}

TEST_F(QtChartTest, EqualXRunsKeepTheirOrderAtTheEndAndInFront) {
  const std::vector<ChartPoint> first = {{5, 1}, {5, 2}};
  const std::vector<ChartPoint> second = {{5, 3}, {5, 4}};
  chart_->AppendPoints(Series::V, first);
  chart_->AppendPoints(Series::V, second);
  chart_->Append(Series::V, 5, 5);
  chart_->Append(Series::V, 4, 0);
  EXPECT_EQ(PointsOf(Series::V),
            (std::vector<ChartPoint>{{4, 0}, {5, 1}, {5, 2}, {5, 3}, {5, 4}, {5, 5}}));
}

TEST_F(QtChartTest, ReplotFitsTheAxesToTheShownSeriesAndTheTooltipNamesThePoint) {
  chart_->Append(Series::I, 100, 1e6);  // hidden: does not count for the axes
  const std::vector<ChartPoint> trace = {{0, -70}, {1, -60}, {2, -65}};
  chart_->AppendPoints(Series::V, trace);
  chart_->Append(Series::th, 1.5, -40);
  chart_->Replot();
  EXPECT_EQ(widget_->xAxis->range(), QCPRange(0, 2));
  EXPECT_NEAR(widget_->yAxis->range().lower, -70.9, 1e-9);  // 3 % of the range as room
  EXPECT_NEAR(widget_->yAxis->range().upper, -39.1, 1e-9);

  const QPointF marker(widget_->xAxis->coordToPixel(1.5), widget_->yAxis->coordToPixel(-40));
  EXPECT_EQ(widget_->PointTextAt(marker + QPointF(2, 1)), "th: t = 1.5 s, V = -40 mV");
  EXPECT_EQ(widget_->PointTextAt(QPointF(widget_->xAxis->coordToPixel(1), marker.y())), "");
}

void SendMouse(QWidget& widget, QEvent::Type type, QPointF pos, Qt::MouseButton button,
               Qt::MouseButtons buttons) {
  QMouseEvent event(type, pos, widget.mapToGlobal(pos), button, buttons, Qt::NoModifier);
  QApplication::sendEvent(&widget, &event);
}

// The right button draws the band to zoom into; a double click shows everything again.
TEST_F(QtChartTest, ZoomsIntoARubberBandAndShowsAllOnADoubleClick) {
  const std::vector<ChartPoint> trace = {{0, -80}, {10, 0}};
  chart_->AppendPoints(Series::V, trace);
  chart_->Replot();
  const QPointF from(widget_->xAxis->coordToPixel(2), widget_->yAxis->coordToPixel(-20));
  const QPointF to(widget_->xAxis->coordToPixel(6), widget_->yAxis->coordToPixel(-60));
  SendMouse(*widget_, QEvent::MouseButtonPress, from, Qt::RightButton, Qt::RightButton);
  SendMouse(*widget_, QEvent::MouseMove, to, Qt::NoButton, Qt::RightButton);
  SendMouse(*widget_, QEvent::MouseButtonRelease, to, Qt::RightButton, Qt::NoButton);
  EXPECT_NEAR(widget_->xAxis->range().lower, 2, 0.05);
  EXPECT_NEAR(widget_->xAxis->range().upper, 6, 0.05);
  EXPECT_NEAR(widget_->yAxis->range().lower, -60, 0.5);
  EXPECT_NEAR(widget_->yAxis->range().upper, -20, 0.5);

  SendMouse(*widget_, QEvent::MouseButtonDblClick, from, Qt::LeftButton, Qt::LeftButton);
  EXPECT_EQ(widget_->xAxis->range(), QCPRange(0, 10));
  EXPECT_NEAR(widget_->yAxis->range().lower, -82.4, 1e-9);
  EXPECT_NEAR(widget_->yAxis->range().upper, 2.4, 1e-9);
}

// ---- Series "V" drawn at full resolution -------------------------------------------------

constexpr double kAcqMs = 0.0625;  // 16 kHz, as the demo and the big record
constexpr int64_t kRunSamples = 100'001;
constexpr int64_t kFirst = 3, kStep = 5;  // the samples a load defines as points

// Noise around -65 mV and spikes to 25 mV whose peaks fall on any sample, step-th or not.
std::vector<double> SyntheticSamples(int64_t count, uint32_t seed) {
  std::mt19937 random(seed);
  std::normal_distribution<double> noise(-65, 2);
  std::vector<double> v(static_cast<size_t>(count));
  for (double& x : v) x = noise(random);
  for (int64_t k = 1001; k + 40 < count; k += 7919) {
    for (int64_t d = -20; d <= 20; ++d) {
      v[k + d] = std::max(v[k + d], 25 - 4.5 * static_cast<double>(std::abs(d)));
    }
  }
  return v;
}

// The samples 0 .. n - 1 that a run shows: all of the record once its last point as defined is
// there, up to its last drawn sample before (the later ones may not have been read yet).
int64_t ShownSamples(const DrawnRun& run) {
  if (run.count() == 0) return 0;
  const int64_t last = run.first() + (run.count() - 1) * run.step();
  return last + run.step() < run.RecordSamples() ? last + 1 : run.RecordSamples();
}

// What one pixel column of a run's line shows: the rows of the column's first and last sample
// (where it joins its neighbours) and of its greatest and least sample.
struct DrawnColumn {
  int64_t column;
  double first_y, last_y, top_y, bottom_y;
  bool operator==(const DrawnColumn&) const = default;
};

void PrintTo(const DrawnColumn& c, std::ostream* os) {
  *os << "column " << c.column << ": first " << c.first_y << ", last " << c.last_y << ", top "
      << c.top_y << ", bottom " << c.bottom_y;
}

class TraceDrawingTest : public QtChartTest {
 protected:
  // A run of the samples of `raw`, after those of `smooth` when given, defined as a load defines
  // them, `fraction` of its points drawn so far.
  void AddRun(const std::vector<double>& raw, const std::vector<double>* smooth, double offset_s,
              double fraction = 1) {
    const std::array<const double*, 2> sources =
        smooth != nullptr ? std::array<const double*, 2>{smooth->data(), raw.data()}
                          : std::array<const double*, 2>{raw.data(), nullptr};
    DrawnRun run(sources, static_cast<int64_t>(raw.size()), kFirst, kStep, kAcqMs, offset_s);
    const int64_t samples = (static_cast<int64_t>(raw.size()) - 1 - kFirst) / kStep + 1;
    run.set_point_count(static_cast<int64_t>(fraction * samples) * run.SourceCount());
    chart_->AppendRun(Series::V, run);
    runs_.push_back(run);
  }

  void Show(double from_s, double to_s) {
    widget_->xAxis->setRange(from_s, to_s);
    widget_->replot();
  }
  double Left() const { return widget_->axisRect()->left(); }
  int Width() const { return widget_->axisRect()->width(); }
  // The pixel row and column that the line puts a value and a time in.
  double Row(double mv) const { return std::floor(widget_->yAxis->coordToPixel(mv)); }
  double PixelColumn(double x) const { return std::floor(widget_->xAxis->coordToPixel(x)); }
  double SpacingPx() const { return kAcqMs / 1000 * Width() / widget_->xAxis->range().size(); }

  // Every drawn sample of the run by the visible column its x falls in, worked out one by one.
  std::vector<DrawnColumn> BruteColumns(const DrawnRun& run) const {
    std::vector<DrawnColumn> columns;
    const double* first_source = run.Samples(0);
    const double* last_source = run.Samples(run.SourceCount() - 1);
    const double left = Left();
    const int width = Width();
    for (int64_t k = 0; k < ShownSamples(run); ++k) {
      const double c = std::floor(widget_->xAxis->coordToPixel(run.X(k)) - left);
      if (c < 0 || c >= width) continue;
      double top = Row(first_source[k]), bottom = top;
      for (int s = 0; s < run.SourceCount(); ++s) {
        top = std::min(top, Row(run.Samples(s)[k]));
        bottom = std::max(bottom, Row(run.Samples(s)[k]));
      }
      const auto column = static_cast<int64_t>(c);
      if (columns.empty() || columns.back().column != column) {
        columns.push_back({column, Row(first_source[k]), 0, top, bottom});
      }
      DrawnColumn& last = columns.back();
      last.last_y = Row(last_source[k]);
      last.top_y = std::min(last.top_y, top);
      last.bottom_y = std::max(last.bottom_y, bottom);
    }
    return columns;
  }

  // The line's points grouped by the visible pixel column they are drawn at.
  std::vector<DrawnColumn> LineColumns(const QPolygonF& line) const {
    std::vector<DrawnColumn> columns;
    const double left = Left();
    const int width = Width();
    for (int i = 0; i < line.size();) {
      int j = i;
      double top = line[i].y(), bottom = line[i].y();
      for (; j < line.size() && line[j].x() == line[i].x(); ++j) {
        top = std::min(top, line[j].y());
        bottom = std::max(bottom, line[j].y());
      }
      const double c = line[i].x() - left;
      if (c >= 0 && c < width && c == std::floor(c)) {
        columns.push_back({static_cast<int64_t>(c), line[i].y(), line[j - 1].y(), top, bottom});
      }
      i = j;
    }
    return columns;
  }

  // With columns of several samples, the line shows each column's extremes and joins the
  // neighbouring columns through their first and last samples; with samples a pixel or more
  // apart, it goes through every sample in view and one beyond on each side.
  void ExpectDrawsEverySample(size_t r) const {
    const DrawnRun& run = runs_.at(r);
    const QPolygonF line = chart_->Trace().RunLine(r, 0, Width());
    const std::vector<DrawnColumn> expected = BruteColumns(run);
    if (SpacingPx() < 1) {
      EXPECT_EQ(LineColumns(line), expected) << "run " << r;
      return;
    }
    std::vector<QPointF> through;
    int64_t begin = ShownSamples(run), end = 0;
    const double left = Left();
    const int width = Width();
    for (int64_t k = 0; k < ShownSamples(run); ++k) {
      const double c = std::floor(widget_->xAxis->coordToPixel(run.X(k)) - left);
      if (c >= 0 && c < width) begin = std::min(begin, k), end = k + 1;
    }
    if (begin >= end) return;  // no sample in view: nothing to check here
    for (int64_t k = std::max<int64_t>(begin - 1, 0); k < std::min(end + 1, ShownSamples(run));
         ++k) {
      for (int s = 0; s < run.SourceCount(); ++s) {
        through.emplace_back(PixelColumn(run.X(k)), Row(run.Samples(s)[k]));
      }
    }
    ASSERT_EQ(line.size(), static_cast<qsizetype>(through.size())) << "run " << r;
    for (size_t i = 1; i + 1 < through.size(); ++i) {
      EXPECT_EQ(line[i], through[i]) << "run " << r << " point " << i;
    }
  }

  std::vector<DrawnRun> runs_;
};

struct ViewCase {
  const char* name;
  bool two_sources;
  bool second_run;  // "two traces" 300 s to the right
  double from_s, to_s;
  bool apart;        // samples a pixel or more apart: the line goes through each
  double drawn = 1;  // the fraction of the run's points drawn so far
};

class TraceViewTest : public TraceDrawingTest, public ::testing::WithParamInterface<ViewCase> {};

TEST_P(TraceViewTest, EachColumnShowsTheExtremesOfAllItsSamples) {
  const ViewCase c = GetParam();
  const std::vector<double> raw = SyntheticSamples(kRunSamples, 1);
  const std::vector<double> smooth = SyntheticSamples(kRunSamples, 2);
  const std::vector<double> second = SyntheticSamples(kRunSamples, 3);
  AddRun(raw, c.two_sources ? &smooth : nullptr, 0, c.drawn);
  if (c.second_run) AddRun(second, nullptr, 300);
  chart_->Replot();
  Show(c.from_s, c.to_s);
  EXPECT_EQ(SpacingPx() >= 1, c.apart) << SpacingPx() << " pixels apart";
  for (size_t r = 0; r < runs_.size(); ++r) ExpectDrawsEverySample(r);
}

// The axis rect is about 1080 pixels wide: 0.0877 s makes about 1.3 samples a column, 0.027 s
// puts samples 2.5 pixels apart.
INSTANTIATE_TEST_SUITE_P(
    Views, TraceViewTest,
    ::testing::Values(ViewCase{"WholeRecord", false, false, 0, 6.25, false},
                      ViewCase{"TwoRunsAt0And300s", false, true, 0, 306.25, false},
                      ViewCase{"Zoomed14SamplesAColumn", true, false, 2, 2.95, false},
                      ViewCase{"OneOrTwoSamplesAColumn", false, false, 3, 3.0877, false},
                      ViewCase{"OneOrNoSampleAColumn", true, false, 3, 3.027, true},
                      ViewCase{"AtTheRunsStart", false, false, -1, 1, false},
                      ViewCase{"AtTheRunsEnd", true, false, 5.5, 7, false},
                      ViewCase{"SecondRunZoomed", false, true, 303, 303.5, false},
                      ViewCase{"SecondRunSampleBySample", true, true, 306.2, 306.26, true},
                      ViewCase{"BetweenTheRuns", false, true, 5, 302, false},
                      ViewCase{"GrowingRun", true, false, 0, 6.25, false, 0.4},
                      ViewCase{"GrowingRunZoomedAtItsEnd", false, false, 2.4, 2.6, false, 0.4}),
    [](const ::testing::TestParamInfo<ViewCase>& info) { return info.param.name; });

// Random zoom levels from samples several pixels apart to hundreds of samples a column,
// anywhere over and around two runs at 0 s and 300 s.
TEST_F(TraceDrawingTest, RandomViewsShowTheExtremesOfAllSamples) {
  const std::vector<double> raw = SyntheticSamples(kRunSamples, 4);
  const std::vector<double> smooth = SyntheticSamples(kRunSamples, 5);
  const std::vector<double> second = SyntheticSamples(kRunSamples, 6);
  AddRun(raw, &smooth, 0);
  AddRun(second, nullptr, 300);
  chart_->Replot();
  std::mt19937 random(7);
  std::uniform_real_distribution<double> log_span(std::log(0.01), std::log(400.0));
  std::uniform_real_distribution<double> centre(-3, 310);
  for (int i = 0; i < 30; ++i) {
    const double span = std::exp(log_span(random));
    const double mid = i % 2 == 0 ? centre(random) : (i % 4 == 1 ? 3.1 : 303.1);
    Show(mid - span / 2, mid + span / 2);
    SCOPED_TRACE(::testing::Message() << "view " << mid - span / 2 << " .. " << mid + span / 2);
    for (size_t r = 0; r < runs_.size(); ++r) ExpectDrawsEverySample(r);
  }
}

// The axes fit every sample, also the extremes that are no point as defined: the defined
// samples are 3 + 5 m, the extremes lie between them.
TEST_F(TraceDrawingTest, TheAxesFitTheExtremesOfAllSamples) {
  struct Case {
    const char* name;
    bool two_sources, second_run;
    double expected_upper_x;
  } cases[] = {{"OneRun", false, false, (kRunSamples - 1) * kAcqMs / 1000},
               {"TwoSources", true, false, (kRunSamples - 1) * kAcqMs / 1000},
               {"TwoRuns", false, true, 300 + (kRunSamples - 1) * kAcqMs / 1000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MakeChart();
    runs_.clear();
    std::vector<double> raw = SyntheticSamples(kRunSamples, 8), smooth = raw;
    std::vector<double>& extremes = c.two_sources ? smooth : raw;
    extremes[50'001] = 40;  // 50,001 = 3 + 5 m + 3
    raw[70'000] = -100;
    AddRun(raw, c.two_sources ? &smooth : nullptr, 0);
    std::vector<double> second = SyntheticSamples(kRunSamples, 9);
    if (c.second_run) AddRun(second, nullptr, 300);
    chart_->Replot();
    EXPECT_EQ(widget_->xAxis->range().lower, 0);
    EXPECT_NEAR(widget_->xAxis->range().upper, c.expected_upper_x, 1e-12);
    EXPECT_NEAR(widget_->yAxis->range().lower, -100 - 0.03 * 140, 1e-9);
    EXPECT_NEAR(widget_->yAxis->range().upper, 40 + 0.03 * 140, 1e-9);
  }
}

// The tooltip names the nearest point as defined, whether the mouse rests on a point or on
// the line between points, in a column's extremes that are no points as defined.
TEST_F(TraceDrawingTest, TheTooltipNamesTheNearestPointAsDefined) {
  const std::vector<double> raw = SyntheticSamples(kRunSamples, 10);
  const std::vector<double> smooth = SyntheticSamples(kRunSamples, 11);
  const std::vector<double> second = SyntheticSamples(kRunSamples, 12);
  AddRun(raw, &smooth, 0);
  AddRun(second, nullptr, 300);
  chart_->Replot();
  const auto nearest_text = [&](const QPointF& pos) {
    double best = std::numeric_limits<double>::infinity();
    ChartPoint point{};
    for (const DrawnRun& run : runs_) {
      for (int64_t j = 0; j < run.PointCount(); ++j) {
        const ChartPoint p = run.Point(j);
        const double d = std::hypot(widget_->xAxis->coordToPixel(p.x) - pos.x(),
                                    widget_->yAxis->coordToPixel(p.y) - pos.y());
        if (d < best) best = d, point = p;
      }
    }
    return QStringLiteral("V: t = %1 s, V = %2 mV").arg(point.x, 0, 'g', 8).arg(point.y, 0, 'g', 7);
  };
  std::mt19937 random(13);
  for (auto [from, to] : {std::pair{0.0, 306.25}, {1.0, 1.5}, {301.0, 301.05}}) {
    Show(from, to);
    SCOPED_TRACE(::testing::Message() << "view " << from << " .. " << to);
    std::uniform_int_distribution<int> column(5, Width() - 5);
    for (int i = 0; i < 12; ++i) {
      const int64_t c = column(random);
      for (size_t r = 0; r < runs_.size(); ++r) {
        const QPolygonF line = chart_->Trace().RunLine(r, c, c + 1);
        if (line.size() < 2) continue;
        // On the line: a point of it inside column c, or halfway along a segment.
        const QPointF on = i % 2 == 0 ? line[line.size() / 2]
                                      : (line[line.size() / 2 - 1] + line[line.size() / 2]) / 2;
        EXPECT_EQ(widget_->PointTextAt(on), nearest_text(on)) << "column " << c << " run " << r;
      }
    }
  }
  Show(1.0, 1.5);
  EXPECT_EQ(widget_->PointTextAt(QPointF(Left() + 100, Row(200))), "");  // far above the line
}

TEST_F(TraceDrawingTest, KeptSamplesDrawTheSameAfterTheArrayIsOverwritten) {
  std::vector<double> kept = SyntheticSamples(kRunSamples, 14);
  std::vector<double> overwritten = SyntheticSamples(kRunSamples, 15);
  AddRun(kept, nullptr, 0);
  AddRun(overwritten, nullptr, 300);
  EXPECT_EQ(chart_->Trace().PyramidBuilds(0), 0);  // built on first use
  chart_->Replot();
  EXPECT_EQ(chart_->Trace().PyramidBuilds(0), 1);
  for (auto [from, to] : {std::pair{0.0, 306.25}, {2.0, 2.5}}) {
    Show(from, to);
    const QPolygonF before = chart_->Trace().RunLine(0, 0, Width());
    const QPolygonF control = chart_->Trace().RunLine(1, 0, Width());
    chart_->KeepSamplesOf(kept.data());
    std::fill(kept.begin(), kept.end(), 0.0);
    std::fill(overwritten.begin(), overwritten.end(), 0.0);
    widget_->replot();
    EXPECT_EQ(chart_->Trace().RunLine(0, 0, Width()), before);
    if (!control.isEmpty()) {
      EXPECT_NE(chart_->Trace().RunLine(1, 0, Width()), control);
    }
    kept = SyntheticSamples(kRunSamples, 14);  // what the copy holds
  }
  EXPECT_EQ(chart_->Trace().PyramidBuilds(0), 2);  // once more, over the copy
}

// ---- The demo drawn as the window draws it ---------------------------------------------------

// The demo recording's record 1, loaded into the window's chart (and the batch tool's, to
// compare with), its spikes marked.
class DemoChartTest : public QtChartTest {
 protected:
  void Load(bool filter, bool two_traces) {
    if (!directory_.Has(QStringLiteral("1.wcp"))) directory_.AddDemoRecording();
    for (MemoryPanel* panel : {&panel_, &reference_panel_}) {
      panel->SetNameBoxText("1");
      panel->SetChecked(Check::Filter, filter);
    }
    ws_ = std::make_unique<Workspace>(panel_, *chart_);
    reference_ws_ = std::make_unique<Workspace>(reference_panel_, reference_);
    for (Workspace* ws : {ws_.get(), reference_ws_.get()}) {
      AnalysisState analysis;
      ClickRecordingName(*ws);
      RunSpikes(*ws, analysis.spikes);
      if (two_traces) RunTwoTraces(*ws);
    }
    chart_->Replot();
  }
  // Only the line of "V" is drawn, over the fitted axes.
  void HideAllButTheLine() {
    for (Series series : {Series::th, Series::peak, Series::V_min, Series::ID, Series::IID}) {
      chart_->Plottable(series)->setVisible(false);
    }
  }
  void Show(double from_s, double to_s) {
    widget_->xAxis->setRange(from_s, to_s);
    widget_->replot();
  }
  int Column(double x) const {
    return static_cast<int>(std::floor(widget_->xAxis->coordToPixel(x)));
  }
  int RowOf(double mv) const {
    return static_cast<int>(std::floor(widget_->yAxis->coordToPixel(mv)));
  }

  // The top-most black pixel of the image's pixel column `x` inside the plot, -1 for none.
  int TopBlack(const QImage& image, int x) const {
    const QRect plot = widget_->axisRect()->rect();
    for (int y = plot.top(); y < plot.bottom() - 6; ++y) {  // above the ticks of the time axis
      const QRgb c = image.pixel(x, y);
      if (qRed(c) < 60 && qGreen(c) < 60 && qBlue(c) < 60) return y;
    }
    return -1;
  }

  // The peaks in view, 8 pixels and more inside the plot (away from the voltage axis's ticks).
  std::vector<ChartPoint> PeaksInView() const {
    std::vector<ChartPoint> peaks;
    const QRect plot = widget_->axisRect()->rect();
    for (const ChartPoint& p : reference_.Points(Series::peak)) {
      const int x = Column(p.x);
      if (x >= plot.left() + 8 && x < plot.right() - 2) peaks.push_back(p);
    }
    return peaks;
  }

  testing::WorkingDirectory directory_;
  MemoryPanel panel_, reference_panel_;
  MemoryChart reference_;
  std::unique_ptr<Workspace> ws_, reference_ws_;
};

TEST_F(DemoChartTest, PointCountAndPointsAreThoseAsDefined) {
  struct Case {
    bool filter, two_traces;
  } cases[] = {{false, false}, {true, false}, {false, true}, {true, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "filter " << c.filter << ", two traces " << c.two_traces);
    ws_.reset();
    MakeChart();
    reference_ = MemoryChart();
    Load(c.filter, c.two_traces);
    EXPECT_EQ(chart_->PointCount(Series::V), static_cast<int>(reference_.PointCount(Series::V)));
    EXPECT_EQ(chart_->PointCount(Series::V), static_cast<int>(reference_.Points(Series::V).size()));
    EXPECT_EQ(PointsOf(Series::V), reference_.Points(Series::V));
    EXPECT_EQ(PointsOf(Series::peak), reference_.Points(Series::peak));
  }
}

QImage Render(ChartWidget& widget, bool as_picture) {
  if (!as_picture) return widget.toPixmap(widget.width(), widget.height()).toImage();
  // As the picture exports draw: vectorized, without the half-pixel shift meant for screens.
  QImage image(widget.size(), QImage::Format_RGB32);
  image.fill(Qt::white);
  QCPPainter painter(&image);
  painter.setMode(QCPPainter::pmVectorized);
  widget.toPainter(&painter);
  painter.end();
  return image;
}

// Zoomed around each spike, so that a column holds a few samples or samples lie pixels apart,
// the line reaches each peak marker's row in the marker's column, in the drawing for the screen
// and in a picture; the step-th samples alone would miss some peaks by a pixel or more.
TEST_F(DemoChartTest, EverySpikePeakReachesItsMarker) {
  Load(false, false);
  HideAllButTheLine();
  const std::vector<ChartPoint> peaks = reference_.Points(Series::peak);
  ASSERT_GE(peaks.size(), 10u);
  const std::vector<ChartPoint>& defined = reference_.Points(Series::V);
  int missed_by_defined_points = 0;
  for (double half_width_s : {0.27, 0.02}) {
    for (const ChartPoint& peak : peaks) {
      Show(peak.x - half_width_s, peak.x + half_width_s);
      const int x = Column(peak.x);
      for (bool as_picture : {false, true}) {
        EXPECT_EQ(TopBlack(Render(*widget_, as_picture), x), RowOf(peak.y))
            << "peak " << peak.y << " mV at " << peak.x << " s, " << half_width_s * 2
            << " s in view" << (as_picture ? ", picture" : "");
      }
      double top_defined = -1e9;
      for (const ChartPoint& p : defined) {
        if (Column(p.x) == x) top_defined = std::max(top_defined, p.y);
      }
      missed_by_defined_points += RowOf(top_defined) > RowOf(peak.y);
    }
  }
  EXPECT_GT(missed_by_defined_points, 0);
}

// Showing the whole record, several spikes of a burst can share a column: the column's line
// reaches the highest of their markers. With "Filter" ticked the spikes are found on the
// smoothed values and the raw ones, drawn too, reach higher: the line reaches the greatest
// sample of both in the column.
TEST_F(DemoChartTest, TheWholeRecordReachesTheHighestSampleOfEachSpikesColumn) {
  for (bool filter : {false, true}) {
    SCOPED_TRACE(filter ? "filter" : "no filter");
    ws_.reset();
    MakeChart();
    reference_ = MemoryChart();
    Load(filter, false);
    HideAllButTheLine();
    widget_->replot();
    std::map<int, double> highest_peak, highest_sample;
    for (const ChartPoint& p : PeaksInView()) {
      auto [it, added] = highest_peak.emplace(Column(p.x), p.y);
      if (!added) it->second = std::max(it->second, p.y);
      highest_sample[Column(p.x)] = -1e9;
    }
    ASSERT_GE(highest_peak.size(), 10u);
    const DrawnRun& run = *reference_.Runs(Series::V).at(0);
    for (int64_t k = 0; k < ShownSamples(run); ++k) {
      const auto it = highest_sample.find(Column(run.X(k)));
      if (it == highest_sample.end()) continue;
      for (int s = 0; s < run.SourceCount(); ++s)
        it->second = std::max(it->second, run.Samples(s)[k]);
    }
    const QImage image = Render(*widget_, false);
    for (auto [x, mv] : highest_sample) {
      EXPECT_EQ(TopBlack(image, x), RowOf(mv)) << "column " << x;
      if (!filter) {
        EXPECT_LE(RowOf(mv), RowOf(highest_peak[x])) << "column " << x;
      }
    }
  }
}

// The metafile's polylines reach each peak marker's row in its column, in logical units.
TEST_F(DemoChartTest, TheMetafileReachesEveryPeakToo) {
  Load(false, false);
  HideAllButTheLine();
  const ChartPoint peak = reference_.Points(Series::peak).at(4);
  Show(peak.x - 0.27, peak.x + 0.27);
  SaveWidgetAsWmf(*widget_, "chart.wmf");
  QFile file(QStringLiteral("chart.wmf"));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray bytes = file.readAll();
  const auto word = [&](qsizetype at) {
    return static_cast<int16_t>(static_cast<uint8_t>(bytes[at]) |
                                static_cast<uint8_t>(bytes[at + 1]) << 8);
  };
  const int units_per_px = static_cast<uint16_t>(word(14)) / 96;  // the header's units per inch
  ASSERT_GE(units_per_px, 1);
  const int x_units = Column(peak.x) * units_per_px;
  const int plot_top_units = widget_->axisRect()->rect().top() * units_per_px;
  int top_units = std::numeric_limits<int>::max();
  for (qsizetype at = 22 + 18; at + 6 <= bytes.size();) {
    const uint32_t words = static_cast<uint16_t>(word(at)) | static_cast<uint32_t>(word(at + 2))
                                                                 << 16;
    if (words < 3 || at + 2 * qsizetype{words} > bytes.size()) break;
    if (static_cast<uint16_t>(word(at + 4)) == 0x0325) {  // a polyline: count, then x, y pairs
      for (int i = 0; i < word(at + 6); ++i) {
        const int x = word(at + 8 + 4 * i), y = word(at + 10 + 4 * i);
        if (x >= x_units && x < x_units + units_per_px && y >= plot_top_units) {
          top_units = std::min(top_units, y);
        }
      }
    }
    at += 2 * qsizetype{words};
  }
  EXPECT_EQ(top_units, RowOf(peak.y) * units_per_px);
}

}  // namespace
}  // namespace ictalscope
