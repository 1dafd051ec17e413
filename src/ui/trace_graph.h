#pragma once

#include <qcustomplot.h>

#include <cstdint>
#include <vector>

#include "recording/drawn_run.h"
#include "recording/min_max_pyramid.h"

namespace ictalscope {

// Series "V": a graph of the points appended one by one, and the runs of a load or "two
// traces" drawn at full resolution. A run is recorded, not copied. Where pixel columns of the
// plot hold several of its samples, each column is a vertical line from the least to the
// greatest of all its samples (both sources of a run with two), joined to the next column from
// the column's last sample to the next one's first; zoomed in so far that samples lie a pixel
// or more apart, the line goes through every sample. The extremes come from a min/max pyramid
// of the run's samples, built on the first paint (or fit of the axes) that needs it and
// extended or rebuilt when the run grows or keeps a copy of its samples.
//
// The graph's data as the chart's users see it (dataCount, dataMainKey, ..., the tooltip's
// nearest point) are the points as defined: the points appended one by one, then each run's.
class TraceGraph : public QCPGraph {
 public:
  TraceGraph(QCPAxis* key_axis, QCPAxis* value_axis);

  void AddRun(const DrawnRun& run);
  void ExtendLastRun(int64_t points);
  void KeepSamplesOf(const double* array);
  void ClearRuns();

  // The line that run `run` is drawn as, in the widget's pixels, for the columns of the plot
  // (0 at its left edge) first_column .. end_column - 1; it reaches one sample beyond them on
  // each side, where there is one.
  QPolygonF RunLine(size_t run, int64_t first_column, int64_t end_column) const;
  // How many times the pyramid of run `run` was built afresh.
  int PyramidBuilds(size_t run) const;

  int dataCount() const override;
  double dataMainKey(int index) const override;
  double dataSortKey(int index) const override;
  double dataMainValue(int index) const override;
  QCPRange dataValueRange(int index) const override;
  QPointF dataPixelPosition(int index) const override;
  // The runs' points follow the others; with runs, the whole index range.
  int findBegin(double sort_key, bool expanded_range = true) const override;
  int findEnd(double sort_key, bool expanded_range = true) const override;

  // The distance to the line or to a point as defined, whichever is nearer; the details name
  // the nearest point as defined.
  double selectTest(const QPointF& pos, bool only_selectable,
                    QVariant* details = nullptr) const override;
  // Over every sample drawn, not only the points as defined.
  QCPRange getKeyRange(bool& found_range, QCP::SignDomain domain = QCP::sdBoth) const override;
  QCPRange getValueRange(bool& found_range, QCP::SignDomain domain = QCP::sdBoth,
                         const QCPRange& in_key_range = QCPRange()) const override;

 protected:
  void draw(QCPPainter* painter) override;

 private:
  struct ShownRun {
    DrawnRun run;
    mutable MinMaxPyramid pyramid;
  };
  struct NearPoint {
    int index = -1;  // in the run
    double distance_px = -1;
  };

  const MinMaxPyramid& Covered(const ShownRun& shown) const;
  // The run holding point `index` of the data, and the point's index in it; null for the
  // points appended one by one.
  const ShownRun* Locate(int index, int64_t* in_run) const;
  ChartPoint RunPoint(int index) const;
  NearPoint NearestRunPoint(const ShownRun& shown, const QPointF& pos) const;
  double LineDistance(const ShownRun& shown, const QPointF& pos) const;
  QPolygonF Line(const ShownRun& shown, int64_t first_column, int64_t end_column) const;

  std::vector<ShownRun> runs_;
};

}  // namespace ictalscope
