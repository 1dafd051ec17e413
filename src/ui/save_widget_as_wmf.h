#pragma once

#include <QByteArray>
#include <string>

class QWidget;

namespace ictalscope {

// `widget` drawn as vectors into a standard (placeable) Windows metafile, one pixel of the
// widget per pixel of the picture at 96 dpi.
QByteArray WidgetAsWmf(QWidget& widget);

// Writes WidgetAsWmf(widget) to `path` (created or overwritten). Throws Error with the file
// layer's message when the file cannot be written.
void SaveWidgetAsWmf(QWidget& widget, const std::string& path);

}  // namespace ictalscope
