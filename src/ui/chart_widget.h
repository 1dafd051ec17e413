#pragma once

#include <qcustomplot.h>

class QMenu;

namespace ictalscope {

// The chart's drawing surface: white, no grid, axes "t, s" (bottom), "V, mV" (left) and the
// hidden "I, pA" (right), the legend in a row of its own above the plot area. The mouse zooms
// with the wheel, pans by dragging, zooms into a rubber band drawn with the right button (or
// with Ctrl and the left one) and shows everything again on a double click; the tooltip names
// the point under the cursor. A right click that drags no band (and the keyboard's menu key)
// opens the chart's menu, when it has one.
class ChartWidget : public QCustomPlot {
 public:
  explicit ChartWidget(QWidget* parent = nullptr);

  // Fits the axes to the shown series, with some room above and below.
  void ShowAll();
  // "title: t = ... s, V = ... mV" for the point nearest to `pos` within the selection
  // tolerance; empty when there is none.
  QString PointTextAt(const QPointF& pos);
  // The menu that a right click opens; the widget does not own it.
  void SetMenu(QMenu* menu) { menu_ = menu; }

 protected:
  bool event(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void SetUpAxes();
  void SetUpLegend();

  QMenu* menu_ = nullptr;
};

}  // namespace ictalscope
