#include "ui/chart_pictures.h"

#include <qcustomplot.h>

#include <QBuffer>
#include <QImageWriter>
#include <QSvgGenerator>
#include <cmath>

#include "base/error.h"
#include "ui/picture_file.h"
#include "ui/save_widget_as_wmf.h"

namespace ictalscope {
namespace {

constexpr int kDpi = 96;

// Lines, markers and text stay vectors, without the half-pixel shift meant for screens.
QByteArray ChartSvg(QCustomPlot& chart) {
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  QSvgGenerator generator;
  generator.setOutputDevice(&buffer);
  generator.setSize(chart.size());
  generator.setViewBox(QRect(QPoint(0, 0), chart.size()));
  generator.setResolution(kDpi);
  generator.setTitle(QStringLiteral("ictalscope chart"));
  {
    QCPPainter painter(&generator);
    painter.setMode(QCPPainter::pmVectorized);
    chart.toPainter(&painter);
  }
  return buffer.data();
}

QByteArray ChartPng(QCustomPlot& chart) {
  QImage image = chart.toPixmap(0, 0, 1.0).toImage();
  image.setDotsPerMeterX(static_cast<int>(std::lround(kDpi / 0.0254)));
  image.setDotsPerMeterY(image.dotsPerMeterX());
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, "png");
  if (!writer.write(image)) throw Error("PNG: " + writer.errorString().toStdString());
  return buffer.data();
}

}  // namespace

const char* PictureExtension(PictureFormat format) {
  switch (format) {
    case PictureFormat::kWmf:
      return "wmf";
    case PictureFormat::kSvg:
      return "svg";
    case PictureFormat::kPng:
      return "png";
  }
  return "";
}

std::optional<PictureFormat> PictureFormatByExtension(std::string_view extension) {
  for (PictureFormat format : {PictureFormat::kWmf, PictureFormat::kSvg, PictureFormat::kPng}) {
    if (extension == PictureExtension(format)) return format;
  }
  return std::nullopt;
}

QByteArray ChartPicture(QCustomPlot& chart, PictureFormat format) {
  switch (format) {
    case PictureFormat::kWmf:
      return WidgetAsWmf(chart);
    case PictureFormat::kSvg:
      return ChartSvg(chart);
    case PictureFormat::kPng:
      return ChartPng(chart);
  }
  return {};
}

void SaveChartPicture(QCustomPlot& chart, PictureFormat format, const std::string& path) {
  WritePictureFile(path, ChartPicture(chart, format));
}

}  // namespace ictalscope
