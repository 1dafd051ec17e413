#include "ui/save_widget_as_wmf.h"

#include <qcustomplot.h>

#include <QWidget>

#include "ui/wmf_paint_engine.h"

namespace ictalscope {

void SaveWidgetAsWmf(QWidget& widget, const std::string& path) {
  WmfPaintDevice device(widget.size());
  if (auto* plot = qobject_cast<QCustomPlot*>(&widget)) {
    // A chart paints its cached pixmaps when asked to render; drawn this way it draws its
    // lines, markers and labels afresh, and the vectorized mode leaves out the half-pixel shift
    // meant for screens.
    QCPPainter painter(&device);
    painter.setMode(QCPPainter::pmVectorized);
    plot->toPainter(&painter);
  } else {
    widget.render(&device);
  }
  device.Save(path);
}

}  // namespace ictalscope
