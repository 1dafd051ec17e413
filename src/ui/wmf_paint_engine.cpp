#include "ui/wmf_paint_engine.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPaintEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QTextItem>
#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <vector>

#include "ui/picture_file.h"
#include "ui/wmf_records.h"

namespace ictalscope {

namespace {

constexpr int kDpi = 96;
// 15 units per pixel make 1440 units per inch; fewer when a large device would overflow the
// 16-bit coordinates.
constexpr int kMaxUnitsPerPixel = 15;
// Some readers keep a record in a 64 KiB buffer; 8000 points make 32 KB.
constexpr int kMaxPointsPerRecord = 8000;

constexpr int kMmAnisotropic = 8;
constexpr int kBkTransparent = 1;
constexpr int kBkOpaque = 2;
constexpr int kTaBaseline = 24;
constexpr int kPsSolid = 0;
constexpr int kPsNull = 5;
constexpr int kBsSolid = 0;
constexpr int kBsNull = 1;
constexpr int kDibRgbColors = 0;
constexpr uint32_t kSrcCopy = 0x00CC0020;

enum ObjectKind { kPen, kBrush, kFont, kObjectKinds };

using Points = std::vector<QPoint>;

// Edges in logical units; unlike QRect, right and bottom lie just outside.
struct UnitRect {
  int left, top, right, bottom;
};

uint32_t ColorRef(const QColor& color) {
  return static_cast<uint32_t>(color.red()) | static_cast<uint32_t>(color.green()) << 8 |
         static_cast<uint32_t>(color.blue()) << 16;
}

int Clamp16(double units) {
  return static_cast<int>(std::lround(std::clamp(units, -32768.0, 32767.0)));
}

int PenStyle(const QPen& pen) {
  if (pen.color().alpha() == 0) return kPsNull;
  switch (pen.style()) {
    case Qt::NoPen:
      return kPsNull;
    case Qt::DashLine:
    case Qt::CustomDashLine:
      return 1;
    case Qt::DotLine:
      return 2;
    case Qt::DashDotLine:
      return 3;
    case Qt::DashDotDotLine:
      return 4;
    default:
      return kPsSolid;
  }
}

// The gaps of a dashed or dotted line show the background colour unless the background mode
// is transparent.
bool IsStyled(const QPen& pen) {
  const int style = PenStyle(pen);
  return style != kPsSolid && style != kPsNull;
}

// Gradients and patterns are filled with one colour: the gradient's first stop or the brush's.
QColor BrushColor(const QBrush& brush) {
  const QGradient* gradient = brush.gradient();
  if (gradient != nullptr && !gradient->stops().isEmpty()) return gradient->stops().first().second;
  return brush.color();
}

bool Fills(const QBrush& brush) {
  return brush.style() != Qt::NoBrush && BrushColor(brush).alpha() != 0;
}

WmfRecord BrushRecord(const QBrush& brush) {
  return WmfRecord(wmf::kCreateBrushIndirect)
      .Word(Fills(brush) ? kBsSolid : kBsNull)
      .Dword(ColorRef(BrushColor(brush)))
      .Word(0);
}

// LOGFONT: height negative so that it is the em height, not the cell height; no width, so the
// reader keeps the face's proportions; ANSI character set, default precision and quality.
WmfRecord FontRecord(const QFont& font, int height_units, int escapement) {
  std::string flags = {static_cast<char>(font.italic()), static_cast<char>(font.underline()),
                       static_cast<char>(font.strikeOut())};
  flags.resize(8, '\0');
  std::string face = font.family().toLatin1().left(31).toStdString();
  face.resize(32, '\0');
  return WmfRecord(wmf::kCreateFontIndirect)
      .Word(-std::max(1, height_units))
      .Word(0)
      .Word(escapement)
      .Word(escapement)
      .Word(font.weight())
      .Bytes(flags)
      .Bytes(face);
}

double FontPixels(const QFont& font) {
  return font.pixelSize() > 0 ? font.pixelSize() : font.pointSizeF() * kDpi / 72.0;
}

// A device-independent bitmap of 24 bits per pixel, bottom row first, rows padded to 4 bytes;
// transparent parts are laid on white.
QByteArray Dib(const QImage& source) {
  QImage image(source.size(), QImage::Format_BGR888);
  image.fill(Qt::white);
  QPainter(&image).drawImage(0, 0, source);
  const int row_bytes = 3 * image.width();
  const QByteArray padding((4 - row_bytes % 4) % 4, '\0');
  const auto pixel_bytes = static_cast<uint32_t>((row_bytes + padding.size()) * image.height());
  WmfRecord header(0);  // used only to lay out the little-endian header fields
  header.Dword(40).Dword(image.width()).Dword(image.height()).Word(1).Word(24);
  header.Dword(0).Dword(pixel_bytes).Dword(0).Dword(0).Dword(0).Dword(0);
  QByteArray dib = header.params();
  // The image's own padding bytes are undefined, so the padding is written afresh.
  for (int y = image.height() - 1; y >= 0; --y) {
    dib.append(reinterpret_cast<const char*>(image.constScanLine(y)), row_bytes);
    dib.append(padding);
  }
  return dib;
}

}  // namespace

// Turns the painter's calls into records. Pens, brushes and fonts are created lazily, when a
// record needs them, and a new one replaces (and deletes) the last one of its kind. A clip
// becomes SaveDC + IntersectClipRect of its bounding box, undone by RestoreDC; because RestoreDC
// also brings back the objects selected at SaveDC, such an object is deleted only after it has
// been deselected again.
class WmfPaintEngine final : public QPaintEngine {
 public:
  explicit WmfPaintEngine(QSize size_px);

  bool begin(QPaintDevice* device) override;
  bool end() override;
  void updateState(const QPaintEngineState& state) override;
  void drawPath(const QPainterPath& path) override;
  void drawPolygon(const QPointF* points, int count, PolygonDrawMode mode) override;
  void drawLines(const QLineF* lines, int count) override;
  void drawRects(const QRectF* rects, int count) override;
  void drawEllipse(const QRectF& rect) override;
  void drawTextItem(const QPointF& position, const QTextItem& item) override;
  void drawPixmap(const QRectF& target, const QPixmap& pixmap, const QRectF& source) override;
  Type type() const override { return QPaintEngine::User; }

  const QByteArray& metafile() const { return metafile_; }

 private:
  struct LiveObject {
    int slot;
    WmfRecord record;
  };

  void WritePreamble();
  void UpdateClip(const QPaintEngineState& state);
  void IntersectOrReplaceClip(const QRectF& rect_px, Qt::ClipOperation operation);
  std::optional<QRectF> EffectiveClip() const;
  void SyncClip();
  void RestoreDc();
  void Use(ObjectKind kind, const WmfRecord& create);
  void Retire(ObjectKind kind, int slot);
  void UseShapeObjects(const QPen& pen, const QBrush& brush);
  void SetTextModes(const QColor& color);
  void SetBkMode(int mode);
  WmfRecord PenRecord(const QPen& pen) const;
  std::vector<int> Advances(const QTextItem& item, double units_per_item_px) const;
  QPoint ToUnits(const QPointF& device_px) const;
  UnitRect ToUnits(const QRectF& device_px) const;
  Points ToUnits(const QPolygonF& user) const;
  void WritePoints(uint16_t function, const Points& points, int first, int count);
  void Polyline(const Points& points, const QPen& pen);
  void Polygon(const Points& points, const QPen& pen, const QBrush& brush);
  void Box(uint16_t function, const QRectF& rect);

  QSize size_px_;
  int units_per_pixel_;
  WmfRecordWriter writer_;
  QByteArray metafile_;

  QPen pen_;
  QBrush brush_;
  QTransform transform_;
  std::optional<QRectF> clip_px_;
  bool clip_enabled_ = false;

  std::array<std::optional<LiveObject>, kObjectKinds> live_;
  std::array<int, kObjectKinds> selected_{};
  std::array<int, kObjectKinds> selected_at_save_{};
  std::array<int, kObjectKinds> deferred_delete_{};
  std::optional<QRectF> written_clip_px_;
  // Text colour, background mode and text alignment as last written, unknown after SaveDC and
  // RestoreDC: some readers start a saved level with their defaults.
  std::optional<QRgb> text_color_;
  std::optional<int> bk_mode_;
  bool baseline_aligned_ = false;
};

WmfPaintEngine::WmfPaintEngine(QSize size_px)
    : QPaintEngine(QPaintEngine::AllFeatures),
      size_px_(size_px),
      units_per_pixel_(std::clamp(32767 / std::max({1, size_px.width(), size_px.height()}), 1,
                                  kMaxUnitsPerPixel)) {}

bool WmfPaintEngine::begin(QPaintDevice*) {
  writer_ = WmfRecordWriter();
  live_ = {};
  selected_.fill(-1);
  deferred_delete_.fill(-1);
  written_clip_px_.reset();
  text_color_.reset();
  bk_mode_.reset();
  baseline_aligned_ = false;
  clip_px_.reset();
  clip_enabled_ = false;
  WritePreamble();
  return true;
}

// Logical units map one to one onto the window; the placeable header gives the physical size.
void WmfPaintEngine::WritePreamble() {
  const QSize units = size_px_ * units_per_pixel_;
  writer_.Add(WmfRecord(wmf::kSetMapMode).Word(kMmAnisotropic));
  writer_.Add(WmfRecord(wmf::kSetWindowOrg).Word(0).Word(0));
  writer_.Add(WmfRecord(wmf::kSetWindowExt).Word(units.height()).Word(units.width()));
}

bool WmfPaintEngine::end() {
  if (written_clip_px_) RestoreDc();
  for (auto& live : live_) {
    if (live) writer_.DeleteObject(live->slot);
    live.reset();
  }
  const QSize units = size_px_ * units_per_pixel_;
  metafile_ = writer_.Finish(QRect(QPoint(0, 0), units), kDpi * units_per_pixel_);
  return true;
}

void WmfPaintEngine::updateState(const QPaintEngineState& state) {
  const DirtyFlags dirty = state.state();
  if (dirty & DirtyTransform) transform_ = state.transform();
  if (dirty & DirtyPen) pen_ = state.pen();
  if (dirty & DirtyBrush) brush_ = state.brush();
  UpdateClip(state);
}

// The painter hands over each clip in its own coordinates together with how it combines with
// the last one; the metafile keeps only the bounding box in device pixels.
void WmfPaintEngine::UpdateClip(const QPaintEngineState& state) {
  const DirtyFlags dirty = state.state();
  if (dirty & DirtyClipPath) {
    IntersectOrReplaceClip(transform_.mapRect(state.clipPath().boundingRect()),
                           state.clipOperation());
  }
  if (dirty & DirtyClipRegion) {
    IntersectOrReplaceClip(transform_.mapRect(QRectF(state.clipRegion().boundingRect())),
                           state.clipOperation());
  }
  if (dirty & (DirtyClipEnabled | DirtyClipPath | DirtyClipRegion)) {
    clip_enabled_ = state.isClipEnabled();
  }
}

void WmfPaintEngine::IntersectOrReplaceClip(const QRectF& rect_px, Qt::ClipOperation operation) {
  if (operation == Qt::NoClip) {
    clip_px_.reset();
  } else if (operation == Qt::IntersectClip && clip_px_) {
    clip_px_ = clip_px_->intersected(rect_px);
  } else {
    clip_px_ = rect_px;
  }
}

// Widgets rendered onto the device come with a system clip (their own area) in device pixels.
std::optional<QRectF> WmfPaintEngine::EffectiveClip() const {
  std::optional<QRectF> clip = clip_enabled_ ? clip_px_ : std::nullopt;
  const QRegion system_clip = systemClip();
  if (!system_clip.isEmpty()) {
    const QRectF system_rect(system_clip.boundingRect());
    clip = clip ? clip->intersected(system_rect) : system_rect;
  }
  return clip;
}

// Written only before a drawing record, so that the painter's save/restore replays of clips
// that draw nothing leave no records.
void WmfPaintEngine::SyncClip() {
  const std::optional<QRectF> clip = EffectiveClip();
  if (clip == written_clip_px_) return;
  if (written_clip_px_) RestoreDc();
  if (clip) {
    writer_.Add(WmfRecord(wmf::kSaveDc));
    selected_at_save_ = selected_;
    text_color_.reset();
    bk_mode_.reset();
    baseline_aligned_ = false;
    const UnitRect units = ToUnits(*clip);
    writer_.Add(WmfRecord(wmf::kIntersectClipRect)
                    .Word(units.bottom)
                    .Word(units.right)
                    .Word(units.top)
                    .Word(units.left));
  }
  written_clip_px_ = clip;
}

void WmfPaintEngine::RestoreDc() {
  writer_.Add(WmfRecord(wmf::kRestoreDc).Word(-1));
  selected_ = selected_at_save_;
  text_color_.reset();
  bk_mode_.reset();
  baseline_aligned_ = false;
  for (int kind = 0; kind < kObjectKinds; ++kind) {
    if (deferred_delete_[kind] < 0) continue;
    writer_.SelectObject(live_[kind]->slot);
    selected_[kind] = live_[kind]->slot;
    writer_.DeleteObject(deferred_delete_[kind]);
    deferred_delete_[kind] = -1;
  }
  written_clip_px_.reset();
}

void WmfPaintEngine::Use(ObjectKind kind, const WmfRecord& create) {
  std::optional<LiveObject>& live = live_[kind];
  if (live && live->record == create) {
    if (selected_[kind] != live->slot) writer_.SelectObject(live->slot);
    selected_[kind] = live->slot;
    return;
  }
  const std::optional<LiveObject> old = live;
  live = LiveObject{writer_.CreateObject(create), create};
  writer_.SelectObject(live->slot);
  selected_[kind] = live->slot;
  if (old) Retire(kind, old->slot);
}

// An object that a pending RestoreDC would select again must outlive that RestoreDC.
void WmfPaintEngine::Retire(ObjectKind kind, int slot) {
  if (written_clip_px_ && selected_at_save_[kind] == slot) {
    deferred_delete_[kind] = slot;
  } else {
    writer_.DeleteObject(slot);
  }
}

// Solid fills ask for the opaque background mode although it does not change them: some readers
// draw any fill made in transparent mode half transparent.
void WmfPaintEngine::UseShapeObjects(const QPen& pen, const QBrush& brush) {
  SyncClip();
  Use(kPen, PenRecord(pen));
  Use(kBrush, BrushRecord(brush));
  if (IsStyled(pen)) {
    SetBkMode(kBkTransparent);
  } else if (Fills(brush)) {
    SetBkMode(kBkOpaque);
  }
}

// Text is placed by its baseline, as the painter places it, and never fills its background.
void WmfPaintEngine::SetTextModes(const QColor& color) {
  SetBkMode(kBkTransparent);
  if (!baseline_aligned_) writer_.Add(WmfRecord(wmf::kSetTextAlign).Word(kTaBaseline));
  baseline_aligned_ = true;
  if (text_color_ == color.rgb()) return;
  writer_.Add(WmfRecord(wmf::kSetTextColor).Dword(ColorRef(color)));
  text_color_ = color.rgb();
}

void WmfPaintEngine::SetBkMode(int mode) {
  if (bk_mode_ == mode) return;
  writer_.Add(WmfRecord(wmf::kSetBkMode).Word(mode));
  bk_mode_ = mode;
}

// A cosmetic pen keeps its width in pixels whatever the transform; any pen is at least one
// pixel wide, as the painter draws it. A null pen has no width, so readers that size the picture
// by what is drawn do not count one.
WmfRecord WmfPaintEngine::PenRecord(const QPen& pen) const {
  const double scale = pen.isCosmetic() ? 1.0 : std::sqrt(std::abs(transform_.determinant()));
  const double width_px = std::max(1.0, pen.widthF() * scale);
  const int style = PenStyle(pen);
  return WmfRecord(wmf::kCreatePenIndirect)
      .Word(style)
      .Word(style == kPsNull ? 0 : Clamp16(width_px * units_per_pixel_))
      .Word(0)
      .Dword(ColorRef(pen.color()));
}

QPoint WmfPaintEngine::ToUnits(const QPointF& device_px) const {
  return {Clamp16(device_px.x() * units_per_pixel_), Clamp16(device_px.y() * units_per_pixel_)};
}

UnitRect WmfPaintEngine::ToUnits(const QRectF& device_px) const {
  const QPoint top_left = ToUnits(device_px.topLeft());
  const QPoint bottom_right = ToUnits(device_px.bottomRight());
  return {top_left.x(), top_left.y(), bottom_right.x(), bottom_right.y()};
}

// Points that are not finite (gaps in a series) are left out.
Points WmfPaintEngine::ToUnits(const QPolygonF& user) const {
  Points units;
  units.reserve(static_cast<size_t>(user.size()));
  for (const QPointF& point : user) {
    if (std::isfinite(point.x()) && std::isfinite(point.y())) {
      units.push_back(ToUnits(transform_.map(point)));
    }
  }
  return units;
}

void WmfPaintEngine::WritePoints(uint16_t function, const Points& points, int first, int count) {
  WmfRecord record(function);
  record.Word(count);
  for (int i = first; i < first + count; ++i) record.Word(points[i].x()).Word(points[i].y());
  writer_.Add(record);
}

// Long lines go out in pieces that share their joining point, so the line stays unbroken.
void WmfPaintEngine::Polyline(const Points& points, const QPen& pen) {
  if (points.size() < 2 || PenStyle(pen) == kPsNull) return;
  SyncClip();
  Use(kPen, PenRecord(pen));
  if (IsStyled(pen)) SetBkMode(kBkTransparent);
  const int size = static_cast<int>(points.size());
  for (int first = 0; first < size - 1; first += kMaxPointsPerRecord - 1) {
    WritePoints(wmf::kPolyline, points, first, std::min(kMaxPointsPerRecord, size - first));
  }
}

// A polygon too long for one record cannot be split without changing its fill, so only its
// outline is drawn.
void WmfPaintEngine::Polygon(const Points& points, const QPen& pen, const QBrush& brush) {
  if (points.size() < 2) return;
  if (points.size() > static_cast<size_t>(kMaxPointsPerRecord)) {
    Points closed = points;
    closed.push_back(points.front());
    Polyline(closed, pen);
    return;
  }
  UseShapeObjects(pen, brush);
  WritePoints(wmf::kPolygon, points, 0, static_cast<int>(points.size()));
}

// One closed outline is one polygon record with its outline pen; anything else (holes, several
// pieces, open lines) is filled without outline and then stroked piece by piece. Fills follow
// the odd-even rule whatever the path's rule, as the metafile's default fill mode does.
void WmfPaintEngine::drawPath(const QPainterPath& path) {
  const QList<QPolygonF> pieces = path.toSubpathPolygons();
  if (pieces.size() == 1 && pieces.front().isClosed()) {
    Polygon(ToUnits(pieces.front()), pen_, brush_);
    return;
  }
  if (Fills(brush_)) {
    for (const QPolygonF& fill : path.toFillPolygons()) Polygon(ToUnits(fill), Qt::NoPen, brush_);
  }
  for (const QPolygonF& piece : pieces) Polyline(ToUnits(piece), pen_);
}

void WmfPaintEngine::drawPolygon(const QPointF* points, int count, PolygonDrawMode mode) {
  const QPolygonF polygon(QList<QPointF>(points, points + count));
  if (mode == PolylineMode) {
    Polyline(ToUnits(polygon), pen_);
  } else {
    Polygon(ToUnits(polygon), pen_, brush_);
  }
}

void WmfPaintEngine::drawLines(const QLineF* lines, int count) {
  for (int i = 0; i < count; ++i) {
    Polyline(ToUnits(QPolygonF({lines[i].p1(), lines[i].p2()})), pen_);
  }
}

// Rectangles and ellipses keep their own records unless the transform turns them.
void WmfPaintEngine::Box(uint16_t function, const QRectF& rect) {
  if (transform_.type() > QTransform::TxScale) {
    QPainterPath path;
    function == wmf::kEllipse ? path.addEllipse(rect) : path.addRect(rect);
    drawPath(path);
    return;
  }
  UseShapeObjects(pen_, brush_);
  const UnitRect units = ToUnits(transform_.mapRect(rect).normalized());
  writer_.Add(
      WmfRecord(function).Word(units.bottom).Word(units.right).Word(units.top).Word(units.left));
}

void WmfPaintEngine::drawRects(const QRectF* rects, int count) {
  for (int i = 0; i < count; ++i) Box(wmf::kRectangle, rects[i]);
}

void WmfPaintEngine::drawEllipse(const QRectF& rect) { Box(wmf::kEllipse, rect); }

// Text keeps the painter's baseline start and turns with the transform (the escapement, in
// tenths of a degree counter-clockwise); characters outside Latin-1 become '?'. The advance of
// each character is written too, so that a reader's substitute face still puts every character
// where the painter put it; not for turned text, whose advances some readers misapply.
void WmfPaintEngine::drawTextItem(const QPointF& position, const QTextItem& item) {
  const QByteArray text = item.text().toLatin1();
  if (text.isEmpty()) return;
  const QLineF baseline = transform_.map(QLineF(position, position + QPointF(1, 0)));
  const int escapement = static_cast<int>(std::lround(baseline.angle() * 10)) % 3600;
  const double units_per_item_px = baseline.length() * units_per_pixel_;
  SyncClip();
  Use(kFont,
      FontRecord(item.font(), Clamp16(FontPixels(item.font()) * units_per_item_px), escapement));
  SetTextModes(pen_.color());
  const QPoint at = ToUnits(baseline.p1());
  WmfRecord record(wmf::kExtTextOut);
  record.Word(at.y()).Word(at.x()).Word(static_cast<int>(text.size())).Word(0);
  record.Bytes(text.toStdString());
  if (escapement == 0) {
    for (int advance : Advances(item, units_per_item_px)) record.Word(advance);
  }
  writer_.Add(record);
}

// The font's advance of each character, rounded on the running sum so that the rounding does
// not add up along the text.
std::vector<int> WmfPaintEngine::Advances(const QTextItem& item, double units_per_item_px) const {
  const QFontMetricsF metrics(item.font(), paintDevice());
  std::vector<int> advances;
  double end = 0;
  int written = 0;
  for (const QChar character : item.text()) {
    end += metrics.horizontalAdvance(character) * units_per_item_px;
    advances.push_back(Clamp16(end) - written);
    written += advances.back();
  }
  return advances;
}

void WmfPaintEngine::drawPixmap(const QRectF& target, const QPixmap& pixmap, const QRectF& source) {
  const QImage image = pixmap.copy(source.toAlignedRect()).toImage();
  if (image.isNull()) return;
  SyncClip();
  const UnitRect units = ToUnits(transform_.mapRect(target));
  WmfRecord record(wmf::kStretchDib);
  record.Dword(kSrcCopy).Word(kDibRgbColors);
  record.Word(image.height()).Word(image.width()).Word(0).Word(0);
  record.Word(units.bottom - units.top).Word(units.right - units.left);
  record.Word(units.top).Word(units.left);
  writer_.Add(record.Bytes(Dib(image).toStdString()));
}

WmfPaintDevice::WmfPaintDevice(QSize size_px)
    : size_px_(size_px), engine_(std::make_unique<WmfPaintEngine>(size_px)) {}

WmfPaintDevice::~WmfPaintDevice() = default;

QPaintEngine* WmfPaintDevice::paintEngine() const { return engine_.get(); }

QByteArray WmfPaintDevice::Metafile() const { return engine_->metafile(); }

void WmfPaintDevice::Save(const std::string& path) const { WritePictureFile(path, Metafile()); }

int WmfPaintDevice::metric(PaintDeviceMetric metric) const {
  switch (metric) {
    case PdmWidth:
      return size_px_.width();
    case PdmHeight:
      return size_px_.height();
    case PdmWidthMM:
      return static_cast<int>(std::lround(size_px_.width() * 25.4 / kDpi));
    case PdmHeightMM:
      return static_cast<int>(std::lround(size_px_.height() * 25.4 / kDpi));
    case PdmNumColors:
      return 1 << 24;
    case PdmDepth:
      return 24;
    case PdmDevicePixelRatio:
      return 1;
    case PdmDevicePixelRatioScaled:
      return static_cast<int>(devicePixelRatioFScale());
    default:
      return kDpi;  // the four resolutions
  }
}

}  // namespace ictalscope
