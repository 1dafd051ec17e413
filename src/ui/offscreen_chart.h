#pragma once

#include <QWidget>
#include <memory>
#include <string>

#include "ui/chart_pictures.h"

namespace ictalscope {

class ChartWidget;
class MemoryChart;
class QtChart;

// The window's chart without the window, for pictures of a chart held in memory: a chart widget
// at the window chart's place and size, in a top-level widget that carries the window's font as
// the window does, shown to no screen. Needs a QApplication.
class OffscreenChart {
 public:
  OffscreenChart();
  ~OffscreenChart();
  OffscreenChart(const OffscreenChart&) = delete;
  OffscreenChart& operator=(const OffscreenChart&) = delete;

  // Draws the series of `drawn` as the handlers drew them, then fits the axes and redraws as the
  // window does when a handler returns.
  void Draw(const MemoryChart& drawn);

  ChartWidget& widget() { return *widget_; }
  QtChart& chart() { return *chart_; }

 private:
  QWidget frame_;
  ChartWidget* widget_;
  std::unique_ptr<QtChart> chart_;
};

// `drawn` as the window would show it after the same handlers, into `path`; throws Error with
// the file layer's message naming `path` when it cannot be written.
void SaveMemoryChartPicture(const MemoryChart& drawn, PictureFormat format,
                            const std::string& path);

}  // namespace ictalscope
