#pragma once

#include <array>
#include <span>
#include <vector>

#include "recording/chart.h"
#include "recording/drawn_run.h"

class QCPAbstractPlottable;
class QCPCurve;
class QCPGraph;

namespace ictalscope {

class ChartWidget;
class TraceGraph;

// The handlers' chart over the window's chart widget: seven series in legend order, "I" a curve
// in insertion order on the hidden right axis, the others graphs kept in ascending x. Appending
// only stores points; the widget is redrawn by Replot, which the window calls when a handler
// returns and whenever the handler lets the event loop run.
//
// Series "V" records the runs of a load or "two traces" (AppendRun and ExtendLastRun take the
// same short time whatever the run's length) and draws every sample of them (TraceGraph); a run
// on another series, which no handler draws, has its points copied.
class QtChart : public Chart {
 public:
  // Adds the series, in their styles, to `widget`, which outlives this object.
  explicit QtChart(ChartWidget& widget);

  void Clear(Series series) override;
  void Append(Series series, double x, double y) override;
  void AppendPoints(Series series, std::span<const ChartPoint> points) override;
  void AppendRun(Series series, const DrawnRun& run) override;
  void ExtendLastRun(Series series, int64_t points) override;
  void KeepSamplesOf(const double* array) override;

  // Redraws the widget when a series changed since the last redraw, after fitting the axes to
  // the shown series.
  void Replot();
  ChartWidget& Widget() { return widget_; }
  QCPAbstractPlottable* Plottable(Series series) const;
  int PointCount(Series series) const;
  // The graph of series "V".
  TraceGraph& Trace() const { return *trace_; }

 private:
  QCPGraph* Graph(Series series) const;
  void AppendSorted(QCPGraph& graph, std::span<const ChartPoint> points);
  void MergeSorted(QCPGraph& graph, std::span<const ChartPoint> points);

  ChartWidget& widget_;
  QCPCurve* current_ = nullptr;                   // series "I"
  std::array<QCPGraph*, kSeriesCount> graphs_{};  // every series but "I"
  TraceGraph* trace_ = nullptr;                   // series "V"
  bool dirty_ = false;
  // The runs of each series but "V" and, for each, the points of it that its graph holds.
  struct ShownRun {
    DrawnRun run;
    int64_t shown = 0;
  };
  std::array<std::vector<ShownRun>, kSeriesCount> runs_;
};

}  // namespace ictalscope
