#include "ui/qt_chart.h"

#include <QVector>
#include <algorithm>

#include "ui/chart_widget.h"
#include "ui/trace_graph.h"

namespace ictalscope {
namespace {

// Marker sizes are half-widths around the point, as the styles give them: a marker of size n
// covers 2n + 1 pixels.
double MarkerWidth(int half_width_px) { return 2.0 * half_width_px + 1; }

QCPScatterStyle FilledMarker(QCPScatterStyle::ScatterShape shape, const QColor& fill,
                             int half_width_px) {
  return {shape, QPen(Qt::NoPen), QBrush(fill), MarkerWidth(half_width_px)};
}

// A star is drawn by its outline only.
QCPScatterStyle StarMarker(const QColor& outline, const QColor& fill, int half_width_px) {
  return {QCPScatterStyle::ssStar, QPen(outline), QBrush(fill), MarkerWidth(half_width_px)};
}

void StyleAsMarkers(QCPGraph& graph, const QColor& colour, const QCPScatterStyle& marker) {
  graph.setPen(QPen(colour));
  graph.setLineStyle(QCPGraph::lsNone);
  graph.setScatterStyle(marker);
}

void StyleGraph(QCPGraph& graph, Series series) {
  const QColor silver(192, 192, 192), aqua(128, 255, 255), sky(0, 128, 255);
  constexpr int kDefaultStarHalfWidth = 4;
  switch (series) {
    case Series::V:
      graph.setPen(QPen(Qt::black, 1, Qt::SolidLine));
      graph.setLineStyle(QCPGraph::lsLine);
      break;
    case Series::th:
      StyleAsMarkers(graph, Qt::green, FilledMarker(QCPScatterStyle::ssSquare, Qt::green, 2));
      break;
    case Series::peak:
      StyleAsMarkers(graph, silver, FilledMarker(QCPScatterStyle::ssCircle, silver, 3));
      break;
    case Series::V_min:
      StyleAsMarkers(graph, aqua, FilledMarker(QCPScatterStyle::ssCircle, aqua, 2));
      break;
    case Series::ID:
      StyleAsMarkers(graph, Qt::red, StarMarker(Qt::red, Qt::red, kDefaultStarHalfWidth));
      break;
    case Series::IID:
      StyleAsMarkers(graph, sky, StarMarker(QColor(255, 128, 64), sky, 3));
      break;
    case Series::I:
      break;
  }
}

// "I": a dashed blue line with blue dots, on the right axis, inactive at start.
QCPCurve* AddCurrentCurve(ChartWidget& widget) {
  auto* curve = new QCPCurve(widget.xAxis, widget.yAxis2);
  curve->setName(QString::fromUtf8(SeriesTitle(Series::I)));
  curve->setPen(QPen(Qt::blue, 1, Qt::DashLine));
  curve->setScatterStyle(FilledMarker(QCPScatterStyle::ssCircle, Qt::blue, 2));
  curve->setVisible(false);
  return curve;
}

QVector<QCPGraphData> ToGraphData(std::span<const ChartPoint> points) {
  QVector<QCPGraphData> data(static_cast<qsizetype>(points.size()));
  std::transform(points.begin(), points.end(), data.begin(),
                 [](const ChartPoint& p) { return QCPGraphData(p.x, p.y); });
  return data;
}

bool IsAscending(std::span<const ChartPoint> points) {
  return std::is_sorted(points.begin(), points.end(),
                        [](const ChartPoint& a, const ChartPoint& b) { return a.x < b.x; });
}

}  // namespace

QtChart::QtChart(ChartWidget& widget) : widget_(widget) {
  for (int i = 0; i < kSeriesCount; ++i) {
    const auto series = static_cast<Series>(i);
    if (series == Series::I) {
      current_ = AddCurrentCurve(widget_);
      continue;
    }
    QCPGraph* graph = nullptr;
    if (series == Series::V) {
      trace_ = new TraceGraph(widget_.xAxis, widget_.yAxis);
      graph = trace_;
    } else {
      graph = widget_.addGraph(widget_.xAxis, widget_.yAxis);
    }
    graph->setName(QString::fromUtf8(SeriesTitle(series)));
    StyleGraph(*graph, series);
    graphs_[i] = graph;
  }
  // The chart clips what it draws one pixel above an element's bottom edge; room below the
  // entries keeps their descenders (the underscore of "V_min").
  for (int i = 0; i < widget_.legend->itemCount(); ++i) {
    widget_.legend->item(i)->setMargins(QMargins(0, 0, 0, 2));
  }
}

QCPGraph* QtChart::Graph(Series series) const { return graphs_[static_cast<int>(series)]; }

QCPAbstractPlottable* QtChart::Plottable(Series series) const {
  if (series == Series::I) return current_;
  return Graph(series);
}

int QtChart::PointCount(Series series) const {
  if (series == Series::I) return current_->dataCount();
  return Graph(series)->dataCount();
}

void QtChart::Clear(Series series) {
  runs_[static_cast<int>(series)].clear();
  if (series == Series::V) trace_->ClearRuns();
  if (series == Series::I) {
    current_->data()->clear();
  } else {
    Graph(series)->data()->clear();
  }
  dirty_ = true;
}

void QtChart::Append(Series series, double x, double y) {
  const ChartPoint point{x, y};
  AppendPoints(series, std::span<const ChartPoint>(&point, 1));
}

void QtChart::AppendPoints(Series series, std::span<const ChartPoint> points) {
  if (points.empty()) return;
  dirty_ = true;
  if (series == Series::I) {
    for (const ChartPoint& p : points) current_->addData(p.x, p.y);
    return;
  }
  AppendSorted(*Graph(series), points);
}

// The common case, a run in ascending x that starts at or after the last point, is copied to
// the end of the graph's data at once. The graph's own insertion would put a point before the
// points of equal x, and a run of equal x in front of the data, so every other case is merged
// here, later points after earlier ones of equal x.
void QtChart::AppendSorted(QCPGraph& graph, std::span<const ChartPoint> points) {
  const QSharedPointer<QCPGraphDataContainer> data = graph.data();
  if (data->isEmpty() && IsAscending(points)) {
    data->set(ToGraphData(points), true);
    return;
  }
  const bool at_end = !data->isEmpty() && !(points.front().x < (data->constEnd() - 1)->key) &&
                      data->constBegin()->key < points.back().x && IsAscending(points);
  if (at_end) {
    data->add(ToGraphData(points), true);
  } else {
    MergeSorted(graph, points);
  }
}

void QtChart::MergeSorted(QCPGraph& graph, std::span<const ChartPoint> points) {
  QVector<QCPGraphData> added = ToGraphData(points);
  std::stable_sort(added.begin(), added.end(), qcpLessThanSortKey<QCPGraphData>);
  const QSharedPointer<QCPGraphDataContainer> data = graph.data();
  QVector<QCPGraphData> merged(data->size() + added.size());
  std::merge(data->constBegin(), data->constEnd(), added.constBegin(), added.constEnd(),
             merged.begin(), qcpLessThanSortKey<QCPGraphData>);
  data->set(merged, true);
}

void QtChart::AppendRun(Series series, const DrawnRun& run) {
  if (series == Series::V) {
    trace_->AddRun(run);
    dirty_ = true;
    return;
  }
  runs_[static_cast<int>(series)].push_back({run, 0});
  ExtendLastRun(series, run.PointCount());
}

// Another series' graph takes the run's new points in ascending x, as the loader's points
// always came.
void QtChart::ExtendLastRun(Series series, int64_t points) {
  if (series == Series::V) {
    trace_->ExtendLastRun(points);
    dirty_ = true;
    return;
  }
  std::vector<ShownRun>& runs = runs_[static_cast<int>(series)];
  if (runs.empty()) return;
  ShownRun& last = runs.back();
  last.run.set_point_count(points);
  std::vector<ChartPoint> added;
  for (int64_t i = last.shown; i < points; ++i) added.push_back(last.run.Point(i));
  last.shown = points;
  AppendPoints(series, added);
}

void QtChart::KeepSamplesOf(const double* array) {
  trace_->KeepSamplesOf(array);
  for (std::vector<ShownRun>& runs : runs_) {
    for (ShownRun& shown : runs) shown.run.KeepIfShowing(array);
  }
}

void QtChart::Replot() {
  if (!dirty_) return;
  dirty_ = false;
  widget_.ShowAll();
  widget_.replot();
}

}  // namespace ictalscope
