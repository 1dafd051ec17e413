#include "ui/qt_chart.h"

#include <gtest/gtest.h>

#include <QMouseEvent>
#include <random>
#include <vector>

#include "recording/memory_chart.h"
#include "ui/chart_widget.h"
#include "window_test_support.h"

namespace ictalscope {

void PrintTo(const ChartPoint& p, std::ostream* os) { *os << "(" << p.x << ", " << p.y << ")"; }

namespace {

class QtChartTest : public testing::QtTest {
 protected:
  void SetUp() override {
    widget_ = std::make_unique<ChartWidget>();
    widget_->resize(1153, 336);
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

}  // namespace
}  // namespace ictalscope
