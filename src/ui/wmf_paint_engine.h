#pragma once

#include <QByteArray>
#include <QPaintDevice>
#include <QSize>
#include <memory>
#include <string>

namespace ictalscope {

class WmfPaintEngine;

// A paint device whose painting becomes a standard (placeable) Windows metafile: pens, brushes
// and fonts become GDI objects, shapes and text become drawing records in 16-bit logical units.
// The picture keeps the device's size in pixels at 96 dpi, with up to 15 logical units per pixel
// so that lines keep sub-pixel positions.
class WmfPaintDevice : public QPaintDevice {
 public:
  explicit WmfPaintDevice(QSize size_px);
  ~WmfPaintDevice() override;

  QPaintEngine* paintEngine() const override;

  // The file's bytes as of the last painter that ended on this device.
  QByteArray Metafile() const;
  // Writes Metafile() to `path`, created or overwritten; throws Error with the file layer's
  // message when that fails.
  void Save(const std::string& path) const;

 protected:
  int metric(PaintDeviceMetric metric) const override;

 private:
  QSize size_px_;
  std::unique_ptr<WmfPaintEngine> engine_;
};

}  // namespace ictalscope
