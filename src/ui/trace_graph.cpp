#include "ui/trace_graph.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "recording/column_envelope.h"

namespace ictalscope {
namespace {

constexpr double kFarPx = 1e6;  // pixel positions are kept within this of the widget

ColumnGrid GridOf(const QCPAxis& key_axis) {
  return {key_axis.range().lower, key_axis.range().upper, key_axis.axisRect()->width()};
}

double Bounded(double px) {
  if (!(px > -kFarPx)) return -kFarPx;  // NaN too
  return std::min(px, kFarPx);
}

// Moves the end point `end` of the segment to `next` onto the nearer of x = x_min and x = x_max
// when it lies beyond and the segment crosses that edge.
void ClipEnd(QPointF& end, const QPointF& next, double x_min, double x_max) {
  const double edge = std::clamp(end.x(), x_min, x_max);
  if (edge == end.x() || next.x() == end.x()) return;
  const double t = (edge - end.x()) / (next.x() - end.x());
  if (t > 0 && t <= 1) end = QPointF(edge, end.y() + t * (next.y() - end.y()));
}

bool InDomain(const QCPRange& range, QCP::SignDomain domain) {
  if (domain == QCP::sdNegative) return range.upper < 0;
  if (domain == QCP::sdPositive) return range.lower > 0;
  return true;
}

void Include(QCPRange& range, bool& found, const QCPRange& more) {
  if (found) {
    range.expand(more);
  } else {
    range = more;
    found = true;
  }
}

}  // namespace

TraceGraph::TraceGraph(QCPAxis* key_axis, QCPAxis* value_axis) : QCPGraph(key_axis, value_axis) {}

void TraceGraph::AddRun(const DrawnRun& run) { runs_.push_back({run, {}}); }

void TraceGraph::ExtendLastRun(int64_t points) {
  if (!runs_.empty()) runs_.back().run.set_point_count(points);
}

void TraceGraph::KeepSamplesOf(const double* array) {
  for (ShownRun& shown : runs_) shown.run.KeepIfShowing(array);
}

void TraceGraph::ClearRuns() { runs_.clear(); }

int TraceGraph::PyramidBuilds(size_t run) const { return runs_.at(run).pyramid.builds(); }

const MinMaxPyramid& TraceGraph::Covered(const ShownRun& shown) const {
  const DrawnRun& run = shown.run;
  shown.pyramid.Cover({run.Samples(0), run.Samples(1)}, DrawnSamples(run));
  return shown.pyramid;
}

// ---- The points as defined -------------------------------------------------------------------

int TraceGraph::dataCount() const {
  int64_t count = mDataContainer->size();
  for (const ShownRun& shown : runs_) count += shown.run.PointCount();
  return static_cast<int>(std::min<int64_t>(count, std::numeric_limits<int>::max()));
}

const TraceGraph::ShownRun* TraceGraph::Locate(int index, int64_t* in_run) const {
  int64_t i = index - int64_t{mDataContainer->size()};
  *in_run = -1;
  if (index < 0 || i < 0) return nullptr;
  for (const ShownRun& shown : runs_) {
    if (i < shown.run.PointCount()) {
      *in_run = i;
      return &shown;
    }
    i -= shown.run.PointCount();
  }
  return nullptr;
}

// A point that is not there reads as (0, 0), as the graph's own data do.
ChartPoint TraceGraph::RunPoint(int index) const {
  int64_t in_run = 0;
  const ShownRun* shown = Locate(index, &in_run);
  return shown != nullptr ? shown->run.Point(in_run) : ChartPoint{0, 0};
}

double TraceGraph::dataMainKey(int index) const {
  if (index < mDataContainer->size()) return QCPGraph::dataMainKey(index);
  return RunPoint(index).x;
}

double TraceGraph::dataSortKey(int index) const { return dataMainKey(index); }

double TraceGraph::dataMainValue(int index) const {
  if (index < mDataContainer->size()) return QCPGraph::dataMainValue(index);
  return RunPoint(index).y;
}

QCPRange TraceGraph::dataValueRange(int index) const {
  const double value = dataMainValue(index);
  return {value, value};
}

QPointF TraceGraph::dataPixelPosition(int index) const {
  if (index < mDataContainer->size()) return QCPGraph::dataPixelPosition(index);
  const ChartPoint p = RunPoint(index);
  return coordsToPixels(p.x, p.y);
}

int TraceGraph::findBegin(double sort_key, bool expanded_range) const {
  return runs_.empty() ? QCPGraph::findBegin(sort_key, expanded_range) : 0;
}

int TraceGraph::findEnd(double sort_key, bool expanded_range) const {
  return runs_.empty() ? QCPGraph::findEnd(sort_key, expanded_range) : dataCount();
}

// ---- Drawing -----------------------------------------------------------------------------

// Columns that hold several samples become vertical lines at the column's pixel through the
// first sample, the extreme nearer to it, the other extreme and the last sample, so
// that the joins to the neighbouring columns run between neighbouring samples. With samples a
// pixel or more apart, the line goes through each, at the pixel of its own x. With two
// sources, each sample gives the smoothed value and then the raw one, as its points as defined
// do.
QPolygonF TraceGraph::Line(const ShownRun& shown, int64_t first_column, int64_t end_column) const {
  QPolygonF line;
  const DrawnRun& run = shown.run;
  const int64_t samples = DrawnSamples(run);
  if (samples == 0 || mKeyAxis.isNull() || mValueAxis.isNull()) return line;
  const ColumnGrid grid = GridOf(*mKeyAxis);
  if (!(grid.upper > grid.lower) || grid.width <= 0) return line;
  const double left = mKeyAxis->axisRect()->left();
  const int sources = run.SourceCount();
  const double* first_source = run.Samples(0);
  const double* last_source = run.Samples(sources - 1);
  // Whole pixels: drawn without antialiasing, a point at (x, y) fills pixel (x, y) whichever way
  // the line comes and goes.
  const auto y = [this](double value) {
    return std::floor(Bounded(mValueAxis->coordToPixel(value)));
  };
  const auto x = [&](int64_t k) { return Bounded(left + grid.Position(run.X(k))); };

  const double spacing_px =
      std::abs(run.acq_time_ms()) / 1000 * grid.width / (grid.upper - grid.lower);
  if (spacing_px >= 1) {
    int64_t begin = SampleBoundary(run, samples, grid, double(first_column));
    int64_t end = SampleBoundary(run, samples, grid, double(end_column));
    if (begin > end) std::swap(begin, end);
    if (begin == end && (begin == 0 || begin == samples)) return line;  // all on one side
    begin = std::max<int64_t>(begin - 1, 0);
    end = std::min(end + 1, samples);
    for (int64_t k = begin; k < end; ++k) {
      for (int s = 0; s < sources; ++s) line << QPointF(x(k), y(run.Samples(s)[k]));
    }
    if (line.size() >= 2) {
      const double x_min = left + double(first_column) - 2, x_max = left + double(end_column) + 2;
      ClipEnd(line.front(), line[1], x_min, x_max);
      ClipEnd(line.back(), line[line.size() - 2], x_min, x_max);
    }
    for (QPointF& point : line) point = QPointF(std::floor(point.x()), std::floor(point.y()));
    return line;
  }

  const std::vector<ColumnSamples> columns =
      SamplesByColumn(run, samples, Covered(shown), grid, first_column, end_column);
  if (columns.empty()) return line;
  const auto add = [&line](const QPointF& point) {
    if (line.isEmpty() || line.back() != point) line << point;
  };
  if (columns.front().begin > 0) {
    const int64_t k = columns.front().begin - 1;
    add({std::floor(x(k)), y(last_source[k])});
  }
  for (const ColumnSamples& column : columns) {
    const double at = left + double(column.column);
    const double first = first_source[column.begin];
    const bool max_first = std::abs(first - column.range.max) < std::abs(first - column.range.min);
    add({at, y(first)});
    add({at, y(max_first ? column.range.max : column.range.min)});
    add({at, y(max_first ? column.range.min : column.range.max)});
    add({at, y(last_source[column.end - 1])});
  }
  if (columns.back().end < samples) {
    const int64_t k = columns.back().end;
    add({std::floor(x(k)), y(first_source[k])});
  }
  return line;
}

QPolygonF TraceGraph::RunLine(size_t run, int64_t first_column, int64_t end_column) const {
  return Line(runs_.at(run), first_column, end_column);
}

// Drawn without antialiasing at whole pixels, a column's line fills exactly the pixels from its
// least to its greatest sample, on the screen, in pictures and in the metafile alike:
// everything goes through the painter.
void TraceGraph::draw(QCPPainter* painter) {
  QCPGraph::draw(painter);
  if (runs_.empty() || mKeyAxis.isNull() || mValueAxis.isNull()) return;
  const int width = mKeyAxis->axisRect()->width();
  painter->setAntialiasing(false);
  painter->setPen(mPen);
  painter->setBrush(Qt::NoBrush);
  for (const ShownRun& shown : runs_) {
    const QPolygonF line = Line(shown, 0, width);
    if (line.size() == 1) {
      painter->drawPoint(line.front());
    } else if (line.size() > 1) {
      painter->drawPolyline(line);
    }
  }
}

// ---- The tooltip and the axes ------------------------------------------------------------

// The points as defined lie at samples first + m step; from the first of them at or after the
// position in the order of the index, the search goes both ways until a point is farther in x
// alone than the nearest found.
TraceGraph::NearPoint TraceGraph::NearestRunPoint(const ShownRun& shown, const QPointF& pos) const {
  const DrawnRun& run = shown.run;
  const int64_t count = run.count();
  const ColumnGrid grid = GridOf(*mKeyAxis);
  if (count == 0 || !(grid.upper > grid.lower) || grid.width <= 0) return {};
  const double left = mKeyAxis->axisRect()->left();
  const int64_t boundary = SampleBoundary(run, DrawnSamples(run), grid, pos.x() - left);
  const int64_t m0 =
      boundary <= run.first() ? 0 : (boundary - run.first() + run.step() - 1) / run.step();
  const int sources = run.SourceCount();
  const int64_t points = run.PointCount();
  int best = -1;
  double best_sq = std::numeric_limits<double>::infinity();
  const auto visit = [&](int64_t m) {
    const int64_t k = run.first() + m * run.step();
    const double dx = mKeyAxis->coordToPixel(run.X(k)) - pos.x();
    if (best >= 0 && dx * dx > best_sq) return false;
    for (int s = 0; s < sources && m * sources + s < points; ++s) {
      const double dy = mValueAxis->coordToPixel(run.Samples(s)[k]) - pos.y();
      if (dx * dx + dy * dy < best_sq) {
        best_sq = dx * dx + dy * dy;
        best = static_cast<int>(m * sources + s);
      }
    }
    return true;
  };
  constexpr int64_t kBudget = int64_t{1} << 20;  // samples visited each way at most
  for (int64_t m = m0, left_over = kBudget; m < count && left_over > 0 && visit(m); ++m) {
    --left_over;
  }
  for (int64_t m = std::min(m0, count) - 1, left_over = kBudget;
       m >= 0 && left_over > 0 && visit(m); --m) {
    --left_over;
  }
  if (best < 0) return {};
  return {best, std::sqrt(best_sq)};
}

double TraceGraph::LineDistance(const ShownRun& shown, const QPointF& pos) const {
  const double tolerance = mParentPlot->selectionTolerance();
  const double column = pos.x() - mKeyAxis->axisRect()->left();
  const QPolygonF line = Line(shown, static_cast<int64_t>(std::floor(column - tolerance)) - 1,
                              static_cast<int64_t>(std::ceil(column + tolerance)) + 2);
  double best_sq = std::numeric_limits<double>::infinity();
  const QCPVector2D at(pos);
  if (line.size() == 1) best_sq = (at - QCPVector2D(line.front())).lengthSquared();
  for (int i = 1; i < line.size(); ++i) {
    best_sq =
        std::min(best_sq, at.distanceSquaredToLine(QCPVector2D(line[i - 1]), QCPVector2D(line[i])));
  }
  return std::sqrt(best_sq);
}

double TraceGraph::selectTest(const QPointF& pos, bool only_selectable, QVariant* details) const {
  if ((only_selectable && mSelectable == QCP::stNone) || mKeyAxis.isNull() || mValueAxis.isNull())
    return -1;
  if (!mKeyAxis->axisRect()->rect().contains(pos.toPoint()) &&
      !mParentPlot->interactions().testFlag(QCP::iSelectPlottablesBeyondAxisRect))
    return -1;
  double best = -1;
  int best_index = -1;
  const int own = mDataContainer->size();
  if (own > 0) {
    QVariant own_details;
    best = QCPGraph::selectTest(pos, only_selectable, &own_details);
    best_index = own_details.value<QCPDataSelection>().dataRange().begin();
    if (best_index < 0 || best_index >= own) best = -1;
  }
  int64_t base = own;
  for (const ShownRun& shown : runs_) {
    const NearPoint near = NearestRunPoint(shown, pos);
    if (near.index >= 0) {
      const double distance = std::min(near.distance_px, LineDistance(shown, pos));
      if (best < 0 || distance < best) {
        best = distance;
        best_index = static_cast<int>(base + near.index);
      }
    }
    base += shown.run.PointCount();
  }
  if (best >= 0 && details != nullptr) {
    details->setValue(QCPDataSelection(QCPDataRange(best_index, best_index + 1)));
  }
  return best;
}

QCPRange TraceGraph::getKeyRange(bool& found_range, QCP::SignDomain domain) const {
  QCPRange range = QCPGraph::getKeyRange(found_range, domain);
  for (const ShownRun& shown : runs_) {
    const int64_t samples = DrawnSamples(shown.run);
    if (samples == 0) continue;
    const double a = shown.run.X(0), b = shown.run.X(samples - 1);
    const QCPRange run_range(std::min(a, b), std::max(a, b));
    if (std::isfinite(run_range.lower) && std::isfinite(run_range.upper) &&
        InDomain(run_range, domain)) {
      Include(range, found_range, run_range);
    }
  }
  return range;
}

QCPRange TraceGraph::getValueRange(bool& found_range, QCP::SignDomain domain,
                                   const QCPRange& in_key_range) const {
  QCPRange range = QCPGraph::getValueRange(found_range, domain, in_key_range);
  for (const ShownRun& shown : runs_) {
    const int64_t samples = DrawnSamples(shown.run);
    int64_t begin = 0, end = samples;
    if (in_key_range != QCPRange()) {
      if (!(in_key_range.upper > in_key_range.lower)) continue;
      const ColumnGrid grid{in_key_range.lower, in_key_range.upper, 1};
      begin = SampleBoundary(shown.run, samples, grid, 0);
      end = SampleBoundary(shown.run, samples, grid, std::nextafter(1.0, 2.0));
      if (begin > end) std::swap(begin, end);
    }
    const MinMax extremes = Covered(shown).Of(begin, end);
    const QCPRange run_range(extremes.min, extremes.max);
    if (!extremes.empty() && InDomain(run_range, domain)) Include(range, found_range, run_range);
  }
  return range;
}

}  // namespace ictalscope
