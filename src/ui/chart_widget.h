#pragma once

#include <qcustomplot.h>

namespace ictalscope {

// The chart's drawing surface: white, no grid, axes "t, s" (bottom), "V, mV" (left) and the
// hidden "I, pA" (right), the legend in a row of its own above the plot area. The mouse zooms
// with the wheel, pans by dragging, zooms into a rubber band drawn with the right button (or
// with Ctrl and the left one) and shows everything again on a double click; the tooltip names
// the point under the cursor.
class ChartWidget : public QCustomPlot {
 public:
  explicit ChartWidget(QWidget* parent = nullptr);

  // Fits the axes to the shown series, with some room above and below.
  void ShowAll();
  // "title: t = ... s, V = ... mV" for the point nearest to `pos` within the selection
  // tolerance; empty when there is none.
  QString PointTextAt(const QPointF& pos);

 protected:
  bool event(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  void SetUpAxes();
  void SetUpLegend();
};

}  // namespace ictalscope
