#pragma once

#include <QByteArray>
#include <optional>
#include <string>
#include <string_view>

class QCustomPlot;

namespace ictalscope {

// The pictures of the chart that the window and the batch tool save.
enum class PictureFormat { kWmf, kSvg, kPng };

// "wmf", "svg", "png": the extension of the picture's file and the name of its command.
const char* PictureExtension(PictureFormat format);
std::optional<PictureFormat> PictureFormatByExtension(std::string_view extension);

// The chart as it stands, drawn afresh at its size in pixels (not from the pixmaps it keeps for
// the screen): a placeable metafile at 96 dpi, an SVG document (Qt SVG) whose view box is
// that many pixels, or a PNG image (Qt's image writer) of that many pixels.
QByteArray ChartPicture(QCustomPlot& chart, PictureFormat format);

// Writes ChartPicture(chart, format) to `path`, created or overwritten; throws Error with the
// file layer's message naming `path` when it cannot be written.
void SaveChartPicture(QCustomPlot& chart, PictureFormat format, const std::string& path);

}  // namespace ictalscope
