#pragma once

#include <string>

class QWidget;

namespace ictalscope {

// Draws `widget` as vectors into a standard Windows metafile at `path` (created or
// overwritten), one pixel of the widget per pixel of the picture at 96 dpi. Throws Error with
// the file layer's message when the file cannot be written.
void SaveWidgetAsWmf(QWidget& widget, const std::string& path);

}  // namespace ictalscope
