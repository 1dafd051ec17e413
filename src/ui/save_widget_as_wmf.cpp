#include "ui/save_widget_as_wmf.h"

#include <qcustomplot.h>

#include <QWidget>

#include "ui/picture_file.h"
#include "ui/wmf_paint_engine.h"

namespace ictalscope {

QByteArray WidgetAsWmf(QWidget& widget) {
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
  return device.Metafile();
}

void SaveWidgetAsWmf(QWidget& widget, const std::string& path) {
  WritePictureFile(path, WidgetAsWmf(widget));
}

}  // namespace ictalscope
