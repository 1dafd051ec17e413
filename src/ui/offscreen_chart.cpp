#include "ui/offscreen_chart.h"

#include <algorithm>

#include "recording/memory_chart.h"
#include "ui/chart_widget.h"
#include "ui/qt_chart.h"
#include "ui/window_font.h"
#include "ui/window_layout.h"

namespace ictalscope {
namespace {

QRect ChartGeometry() {
  const auto controls = WindowControls();
  const auto chart = std::find_if(controls.begin(), controls.end(), [](const WindowControl& c) {
    return c.kind == WindowControl::Kind::kChart;
  });
  return chart->geometry;
}

}  // namespace

// The font is set before the chart is made, as the window sets its own before its controls.
// Shown (to no screen), the chart gets its size as the window's shown chart does.
OffscreenChart::OffscreenChart() {
  frame_.setAttribute(Qt::WA_DontShowOnScreen);
  frame_.setFont(WindowFont());
  frame_.resize(kWindowSize);
  widget_ = new ChartWidget(&frame_);
  widget_->setGeometry(ChartGeometry());
  chart_ = std::make_unique<QtChart>(*widget_);
  frame_.show();
}

OffscreenChart::~OffscreenChart() = default;

void OffscreenChart::Draw(const MemoryChart& drawn) {
  drawn.DrawOn(*chart_);
  chart_->Replot();
}

void SaveMemoryChartPicture(const MemoryChart& drawn, PictureFormat format,
                            const std::string& path) {
  OffscreenChart offscreen;
  offscreen.Draw(drawn);
  SaveChartPicture(offscreen.widget(), format, path);
}

}  // namespace ictalscope
