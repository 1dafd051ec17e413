#include "ui/wmf_paint_engine.h"

#include <gtest/gtest.h>
#include <qcustomplot.h>

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

#include "base/error.h"
#include "base/file_layer.h"
#include "ui/save_widget_as_wmf.h"
#include "ui/wmf_records.h"
#include "window_test_support.h"

namespace ictalscope {
namespace {

// ---- Reading the metafile back -------------------------------------------------------------

struct Record {
  uint16_t function;
  uint32_t words;
  std::vector<int> params;  // signed 16-bit words
  uint16_t Param(size_t i) const { return static_cast<uint16_t>(params.at(i)); }
};

struct Metafile {
  QByteArray bytes;
  std::vector<Record> records;
};

int Word(const QByteArray& bytes, int at) {
  return static_cast<int16_t>(static_cast<uint8_t>(bytes[at]) | static_cast<uint8_t>(bytes[at + 1])
                                                                    << 8);
}
uint16_t UWord(const QByteArray& bytes, int at) { return static_cast<uint16_t>(Word(bytes, at)); }
uint32_t UDword(const QByteArray& bytes, int at) {
  return UWord(bytes, at) | static_cast<uint32_t>(UWord(bytes, at + 2)) << 16;
}

// Splits the records after both headers; a record that overruns the file ends the walk.
Metafile Parse(const QByteArray& bytes) {
  Metafile file{bytes, {}};
  int at = wmf::kPlaceableHeaderBytes + wmf::kMetaHeaderBytes;
  while (at + 6 <= bytes.size()) {
    Record record{UWord(bytes, at + 4), UDword(bytes, at), {}};
    if (record.words < 3 || at + 2 * static_cast<int64_t>(record.words) > bytes.size()) {
      ADD_FAILURE() << "record at byte " << at << " overruns the file";
      break;
    }
    for (uint32_t i = 3; i < record.words; ++i) record.params.push_back(Word(bytes, at + 2 * i));
    file.records.push_back(record);
    at += 2 * static_cast<int>(record.words);
  }
  return file;
}

std::vector<Record> Only(const Metafile& file, uint16_t function) {
  std::vector<Record> found;
  for (const Record& record : file.records) {
    if (record.function == function) found.push_back(record);
  }
  return found;
}

Metafile Paint(QSize size_px, const std::function<void(QPainter&)>& paint) {
  WmfPaintDevice device(size_px);
  {
    QPainter painter(&device);
    paint(painter);
  }
  return Parse(device.Metafile());
}

// Plays the object records as a reader keeps its object table and its stack of saved device
// contexts, and lists every fault: an unknown slot, a drawing record without a live object of a
// kind it needs, an object deleted while it (or a saved level) still selects it and more drawing
// follows, an object never deleted.
class ObjectReplay {
 public:
  explicit ObjectReplay(const Metafile& file) {
    for (size_t i = 0; i < file.records.size(); ++i) {
      if (kNeeds.count(file.records[i].function)) last_drawing_ = i;
    }
    for (index_ = 0; index_ < file.records.size(); ++index_) Play(file.records[index_]);
    for (size_t slot = 0; slot < table_.size(); ++slot) {
      if (table_[slot]) faults.push_back("slot " + std::to_string(slot) + " never deleted");
    }
  }

  std::vector<std::string> faults;
  size_t high_water = 0;

 private:
  using Selection = std::array<int, 3>;  // slot selected per kind: pen, brush, font
  inline static const std::map<uint16_t, int> kKindOf = {
      {wmf::kCreatePenIndirect, 0}, {wmf::kCreateBrushIndirect, 1}, {wmf::kCreateFontIndirect, 2}};
  inline static const std::map<uint16_t, std::vector<int>> kNeeds = {{wmf::kPolyline, {0}},
                                                                     {wmf::kPolygon, {0, 1}},
                                                                     {wmf::kRectangle, {0, 1}},
                                                                     {wmf::kEllipse, {0, 1}},
                                                                     {wmf::kExtTextOut, {2}}};

  void Play(const Record& record) {
    if (kKindOf.count(record.function)) {
      Create(kKindOf.at(record.function));
    } else if (record.function == wmf::kSelectObject) {
      if (Live(record.Param(0))) levels_.back()[*table_[record.Param(0)]] = record.Param(0);
    } else if (record.function == wmf::kDeleteObject) {
      if (Live(record.Param(0))) Delete(record.Param(0));
    } else if (record.function == wmf::kSaveDc) {
      levels_.push_back(levels_.back());
    } else if (record.function == wmf::kRestoreDc) {
      if (levels_.size() < 2) Fault("RestoreDC without SaveDC");
      if (levels_.size() >= 2) levels_.pop_back();
    } else if (kNeeds.count(record.function)) {
      for (int kind : kNeeds.at(record.function)) {
        const int slot = levels_.back()[kind];
        if (slot < 0 || !table_[slot] || *table_[slot] != kind) Fault("draws without object");
      }
    }
  }

  void Create(int kind) {
    const auto free_slot = std::find(table_.begin(), table_.end(), std::nullopt);
    if (free_slot == table_.end()) {
      table_.push_back(kind);
    } else {
      *free_slot = kind;
    }
    high_water = std::max(high_water, table_.size());
  }

  bool Live(size_t slot) {
    if (slot < table_.size() && table_[slot]) return true;
    Fault("no live object in slot " + std::to_string(slot));
    return false;
  }

  void Delete(size_t slot) {
    for (const Selection& level : levels_) {
      if (level[*table_[slot]] == static_cast<int>(slot) && index_ < last_drawing_) {
        Fault("deletes a selected object before more drawing");
      }
    }
    table_[slot].reset();
  }

  void Fault(const std::string& what) {
    faults.push_back("record " + std::to_string(index_) + ": " + what);
  }

  std::vector<std::optional<int>> table_;  // the kind of the object in each slot
  std::vector<Selection> levels_ = {{-1, -1, -1}};
  size_t index_ = 0;
  size_t last_drawing_ = 0;
};

using WmfPaintDeviceTest = testing::QtTest;

// A bit of everything, with pens, brushes and fonts changing inside and outside clips.
void PaintMixture(QPainter& painter) {
  painter.drawLine(QPointF(1, 1), QPointF(50, 30));
  painter.setClipRect(QRect(5, 5, 100, 60));
  painter.setPen(QPen(Qt::red, 2, Qt::DashLine));
  painter.setBrush(Qt::yellow);
  painter.drawRect(QRectF(10, 10, 20, 15));
  painter.drawEllipse(QRectF(40, 10, 20, 15));
  painter.setFont(QFont("Arial", 12));
  painter.drawText(QPointF(10, 50), "inside");
  painter.setClipping(false);
  painter.setPen(Qt::blue);
  QPainterPath ring;
  ring.addEllipse(QRectF(120, 10, 40, 40));
  ring.addEllipse(QRectF(130, 20, 20, 20));
  painter.drawPath(ring);
  painter.save();
  painter.setClipRect(QRect(0, 70, 200, 30));
  painter.setFont(QFont("Arial", 20));
  painter.drawText(QPointF(5, 90), "clipped");
  painter.restore();
  painter.drawPolyline(QPolygonF({QPointF(0, 99), QPointF(100, 80), QPointF(199, 99)}));
  QPixmap pixmap(4, 3);
  pixmap.fill(Qt::green);
  painter.drawPixmap(QPointF(170, 60), pixmap);
}

TEST_F(WmfPaintDeviceTest, HeadersFrameTheRecordsExactly) {
  const Metafile file = Paint(QSize(200, 100), PaintMixture);
  const QByteArray& bytes = file.bytes;
  ASSERT_GT(bytes.size(), 40);
  EXPECT_EQ(UDword(bytes, 0), 0x9AC6CDD7u);
  EXPECT_EQ(UWord(bytes, 4), 0);
  EXPECT_EQ(std::vector<int>({Word(bytes, 6), Word(bytes, 8), Word(bytes, 10), Word(bytes, 12)}),
            std::vector<int>({0, 0, 3000, 1500}));
  EXPECT_EQ(UWord(bytes, 14), 1440);
  EXPECT_EQ(UDword(bytes, 16), 0u);
  uint16_t checksum = 0;
  for (int at = 0; at < 20; at += 2) checksum ^= UWord(bytes, at);
  EXPECT_EQ(UWord(bytes, 20), checksum);

  EXPECT_EQ(UWord(bytes, 22), 1);       // in memory
  EXPECT_EQ(UWord(bytes, 24), 9);       // header words
  EXPECT_EQ(UWord(bytes, 26), 0x0300);  // version
  EXPECT_EQ(UDword(bytes, 28), static_cast<uint32_t>((bytes.size() - 22) / 2));
  EXPECT_EQ(UWord(bytes, 32), ObjectReplay(file).high_water);
  uint32_t words = 9, largest = 0;
  for (const Record& record : file.records) {
    words += record.words;
    largest = std::max(largest, record.words);
  }
  EXPECT_EQ(UDword(bytes, 34), largest);
  EXPECT_EQ(UWord(bytes, 38), 0);
  EXPECT_EQ(words, UDword(bytes, 28));
  ASSERT_FALSE(file.records.empty());
  EXPECT_EQ(file.records.back().function, wmf::kEof);
  EXPECT_EQ(file.records.back().words, 3u);
  EXPECT_EQ(Only(file, wmf::kEof).size(), 1u);
}

TEST_F(WmfPaintDeviceTest, ObjectTableStaysConsistent) {
  const Metafile file = Paint(QSize(200, 100), PaintMixture);
  const ObjectReplay replay(file);
  EXPECT_TRUE(replay.faults.empty()) << ::testing::PrintToString(replay.faults);
  EXPECT_GE(Only(file, wmf::kSaveDc).size(), 2u);
  EXPECT_EQ(Only(file, wmf::kSaveDc).size(), Only(file, wmf::kRestoreDc).size());
  for (uint16_t drawn : {wmf::kRectangle, wmf::kEllipse, wmf::kPolygon, wmf::kExtTextOut,
                         wmf::kPolyline, wmf::kStretchDib}) {
    EXPECT_FALSE(Only(file, drawn).empty()) << std::hex << drawn;
  }
}

TEST_F(WmfPaintDeviceTest, WindowAndClipAreInLogicalUnits) {
  const Metafile file = Paint(QSize(200, 100), [](QPainter& painter) {
    painter.setClipRect(QRect(10, 20, 30, 40));
    painter.drawLine(QPointF(0.5, 1.25), QPointF(1e6, -1e6));
  });
  EXPECT_EQ(Only(file, wmf::kSetMapMode).at(0).params, std::vector<int>({8}));
  EXPECT_EQ(Only(file, wmf::kSetWindowOrg).at(0).params, std::vector<int>({0, 0}));
  EXPECT_EQ(Only(file, wmf::kSetWindowExt).at(0).params, std::vector<int>({1500, 3000}));
  // Bottom, right, top, left; 15 units to the pixel.
  EXPECT_EQ(Only(file, wmf::kIntersectClipRect).at(0).params,
            std::vector<int>({900, 600, 300, 150}));
  // 7.5 and 18.75 units round to nearest; far points stop at the 16-bit range.
  EXPECT_EQ(Only(file, wmf::kPolyline).at(0).params, std::vector<int>({2, 8, 19, 32767, -32768}));
  EXPECT_EQ(file.records.at(file.records.size() - 3).function, wmf::kRestoreDc);
}

TEST_F(WmfPaintDeviceTest, LargeDevicesGetFewerUnitsPerPixel) {
  WmfPaintDevice device(QSize(3000, 200));
  QPainter(&device).drawLine(QPointF(0, 0), QPointF(3000, 200));
  const QByteArray bytes = device.Metafile();
  EXPECT_EQ(Word(bytes, 10), 30000);  // 10 units to the pixel
  EXPECT_EQ(UWord(bytes, 14), 960);
  EXPECT_EQ(Only(Parse(bytes), wmf::kPolyline).at(0).params,
            std::vector<int>({2, 0, 0, 30000, 2000}));
}

TEST_F(WmfPaintDeviceTest, LongPolylinesAreSplitIntoJoinedRecords) {
  for (int count : {2, 7999, 8000, 8001, 20000}) {
    SCOPED_TRACE(count);
    QPolygonF line;
    for (int i = 0; i < count; ++i) line << QPointF(i % 2000, i / 2000);
    const Metafile file = Paint(QSize(2000, 20), [&](QPainter& p) { p.drawPolyline(line); });
    const std::vector<Record> pieces = Only(file, wmf::kPolyline);
    EXPECT_EQ(pieces.size(), static_cast<size_t>((count - 2) / 7999 + 1));
    std::vector<int> joined;
    for (const Record& piece : pieces) {
      EXPECT_LE(piece.params.at(0), 8000);
      ASSERT_EQ(piece.params.size(), 1 + 2 * static_cast<size_t>(piece.params.at(0)));
      if (!joined.empty()) {  // the piece starts where the last one ended
        EXPECT_EQ(std::vector<int>(piece.params.begin() + 1, piece.params.begin() + 3),
                  std::vector<int>(joined.end() - 2, joined.end()));
        joined.resize(joined.size() - 2);
      }
      joined.insert(joined.end(), piece.params.begin() + 1, piece.params.end());
    }
    ASSERT_EQ(joined.size(), 2 * static_cast<size_t>(count));
    for (int i = 0; i < count; i += 997) {
      EXPECT_EQ(joined[2 * i], (i % 2000) * 15);
      EXPECT_EQ(joined[2 * i + 1], (i / 2000) * 15);
    }
  }
}

TEST_F(WmfPaintDeviceTest, PensAndBrushesKeepStyleWidthAndColour) {
  struct Case {
    QPen pen;
    QBrush brush;
    std::vector<int> pen_params;    // style, width, 0, colour low, colour high
    std::vector<int> brush_params;  // style, colour low, colour high, hatch
  };
  const QColor colour(0x01, 0x02, 0x03);
  const std::vector<Case> cases = {
      {QPen(colour, 0), QBrush(colour), {0, 15, 0, 0x0201, 3}, {0, 0x0201, 3, 0}},
      {QPen(colour, 2.5, Qt::DashLine), Qt::NoBrush, {1, 38, 0, 0x0201, 3}, {1, 0, 0, 0}},
      {QPen(colour, 1, Qt::DotLine), QColor(0, 0, 0, 0), {2, 15, 0, 0x0201, 3}, {1, 0, 0, 0}},
      {Qt::NoPen, QBrush(Qt::white), {5, 0, 0, 0, 0}, {0, -1, 0xFF, 0}},
  };
  for (const Case& c : cases) {
    const Metafile file = Paint(QSize(50, 50), [&](QPainter& painter) {
      painter.setPen(c.pen);
      painter.setBrush(c.brush);
      painter.drawRect(QRectF(1, 2, 3, 4));
    });
    EXPECT_EQ(Only(file, wmf::kCreatePenIndirect).at(0).params, c.pen_params);
    EXPECT_EQ(Only(file, wmf::kCreateBrushIndirect).at(0).params, c.brush_params);
    EXPECT_EQ(Only(file, wmf::kRectangle).at(0).params, std::vector<int>({90, 60, 30, 15}));
  }
}

std::string TextOf(const Record& text) {
  std::string bytes;
  for (size_t i = 4; bytes.size() < text.Param(2); ++i) {
    bytes += static_cast<char>(text.Param(i) & 0xFF);
    if (bytes.size() < text.Param(2)) bytes += static_cast<char>(text.Param(i) >> 8);
  }
  return bytes;
}

TEST_F(WmfPaintDeviceTest, TextKeepsBaselineFontAndAdvances) {
  QFont font("Arial");
  font.setPixelSize(16);
  font.setBold(true);
  const Metafile file = Paint(QSize(200, 100), [&](QPainter& painter) {
    painter.setFont(font);
    painter.setPen(QColor(0x10, 0x20, 0x30));
    painter.drawText(QPointF(10, 30), "t, s");
    painter.translate(20, 90);
    painter.rotate(-90);
    painter.drawText(QPointF(0, 0), QString::fromUtf8("V\u2126"));
  });
  const std::vector<Record> fonts = Only(file, wmf::kCreateFontIndirect);
  ASSERT_GE(fonts.size(), 2u);
  EXPECT_EQ(std::vector<int>(fonts[0].params.begin(), fonts[0].params.begin() + 5),
            std::vector<int>({-240, 0, 0, 0, 700}));
  EXPECT_EQ(fonts[0].params.size(), 25u);
  EXPECT_EQ(fonts[0].params.at(9), 'A' | 'r' << 8);
  EXPECT_EQ(fonts[1].params.at(2), 900);  // a quarter turn counter-clockwise
  EXPECT_EQ(Only(file, wmf::kSetTextColor).at(0).params, std::vector<int>({0x2010, 0x30}));
  EXPECT_EQ(Only(file, wmf::kSetTextAlign).at(0).params, std::vector<int>({24}));

  // The turned text may come in more than one piece when the face lacks a character.
  const std::vector<Record> texts = Only(file, wmf::kExtTextOut);
  ASSERT_GE(texts.size(), 2u);
  EXPECT_EQ(std::vector<int>(texts[0].params.begin(), texts[0].params.begin() + 4),
            std::vector<int>({450, 150, 4, 0}));
  EXPECT_EQ(TextOf(texts[0]), "t, s");
  ASSERT_EQ(texts[0].params.size(), 4u + 2u + 4u);
  int advance_units = 0;
  for (size_t i = 6; i < 10; ++i) advance_units += texts[0].params[i];
  QFontMetricsF metrics(font, nullptr);
  EXPECT_NEAR(advance_units, metrics.horizontalAdvance("t, s") * 15, 2.0);
  EXPECT_EQ(std::vector<int>(texts[1].params.begin(), texts[1].params.begin() + 2),
            std::vector<int>({1350, 300}));
  std::string turned;
  for (size_t i = 1; i < texts.size(); ++i) {
    turned += TextOf(texts[i]);
    EXPECT_EQ(texts[i].params.size(), 4u + (texts[i].Param(2) + 1) / 2);  // no advances
  }
  EXPECT_EQ(turned, "V?");
}

TEST_F(WmfPaintDeviceTest, PixmapBecomesBottomUpBgrBitmap) {
  QImage image(2, 2, QImage::Format_RGB32);
  image.setPixelColor(0, 0, QColor(1, 2, 3));
  image.setPixelColor(1, 0, QColor(4, 5, 6));
  image.setPixelColor(0, 1, QColor(7, 8, 9));
  image.setPixelColor(1, 1, QColor(10, 11, 12));
  const Metafile file = Paint(QSize(50, 50), [&](QPainter& painter) {
    painter.drawPixmap(QRectF(10, 20, 4, 4), QPixmap::fromImage(image), QRectF(0, 0, 2, 2));
  });
  const Record dib = Only(file, wmf::kStretchDib).at(0);
  EXPECT_EQ(std::vector<int>(dib.params.begin(), dib.params.begin() + 11),
            std::vector<int>({0x0020, 0x00CC, 0, 2, 2, 0, 0, 60, 60, 300, 150}));
  QByteArray bitmap;
  for (size_t i = 11; i < dib.params.size(); ++i) {
    bitmap.append(static_cast<char>(dib.Param(i) & 0xFF));
    bitmap.append(static_cast<char>(dib.Param(i) >> 8));
  }
  EXPECT_EQ(UDword(bitmap, 0), 40u);
  EXPECT_EQ(UDword(bitmap, 4), 2u);
  EXPECT_EQ(UDword(bitmap, 8), 2u);
  EXPECT_EQ(UWord(bitmap, 14), 24);
  EXPECT_EQ(UDword(bitmap, 20), 16u);
  // Rows of 6 bytes padded to 8, the bottom row first, blue before green before red.
  EXPECT_EQ(bitmap.mid(40, 16),
            QByteArray("\x09\x08\x07\x0C\x0B\x0A\0\0\x03\x02\x01\x06\x05\x04\0\0", 16));
}

TEST_F(WmfPaintDeviceTest, SaveWritesTheFileOrThrowsTheFileLayerMessage) {
  QTemporaryDir directory;
  WmfPaintDevice device(QSize(20, 20));
  QPainter(&device).drawLine(0, 0, 19, 19);
  const std::string path = directory.filePath(".wmf").toStdString();
  device.Save(path);
  QFile written(QString::fromStdString(path));
  ASSERT_TRUE(written.open(QIODevice::ReadOnly));
  EXPECT_EQ(written.readAll(), device.Metafile());

  const std::string missing = directory.filePath("missing/1.wmf").toStdString();
  const std::vector<std::pair<std::string, std::string>> failures = {
      {missing, "File not found: " + missing},
      {directory.path().toStdString(), "File access denied: " + directory.path().toStdString()},
  };
  for (const auto& [bad_path, message] : failures) {
    try {
      device.Save(bad_path);
      ADD_FAILURE() << "no error for " << bad_path;
    } catch (const Error& error) {
      EXPECT_EQ(error.what(), message);
    }
  }
}

TEST_F(WmfPaintDeviceTest, PlainWidgetsAreRenderedToo) {
  QTemporaryDir directory;
  QLabel label("Criteria:");
  label.resize(80, 20);
  const std::string path = directory.filePath("label.wmf").toStdString();
  SaveWidgetAsWmf(label, path);
  QFile file(QString::fromStdString(path));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const std::vector<Record> texts = Only(Parse(file.readAll()), wmf::kExtTextOut);
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(TextOf(texts[0]), "Criteria:");
}

// ---- The chart through an independent reader -------------------------------------------------

struct SvgText {
  QString text;
  std::vector<double> matrix;  // a b c d e f
  double font_size;
};

struct Svg {
  std::vector<std::vector<QPointF>> polylines;
  std::vector<QString> polyline_styles;
  std::vector<SvgText> texts;
};

std::vector<double> Numbers(QString text) {
  std::vector<double> numbers;
  for (const QString& part : text.replace(',', ' ').split(' ', Qt::SkipEmptyParts)) {
    numbers.push_back(part.toDouble());
  }
  return numbers;
}

Svg ReadSvg(const QByteArray& xml) {
  Svg svg;
  QXmlStreamReader reader(xml);
  while (!reader.atEnd()) {
    if (reader.readNext() != QXmlStreamReader::StartElement) continue;
    const auto attributes = reader.attributes();
    if (reader.name() == u"polyline") {
      const std::vector<double> xy = Numbers(attributes.value("points").toString().simplified());
      std::vector<QPointF> points;
      for (size_t i = 0; i + 1 < xy.size(); i += 2) points.emplace_back(xy[i], xy[i + 1]);
      svg.polylines.push_back(points);
      svg.polyline_styles.push_back(attributes.value("style").toString());
    } else if (reader.name() == u"text") {
      const QString style = attributes.value("style").toString();
      const QString size = style.section("font-size:", 1).section(';', 0, 0);
      QString matrix = attributes.value("transform").toString();
      matrix = matrix.section('(', 1).section(')', 0, 0);
      svg.texts.push_back({reader.readElementText(), Numbers(matrix), size.toDouble()});
    }
  }
  EXPECT_FALSE(reader.hasError()) << reader.errorString().toStdString();
  return svg;
}

// The reader may write one element per character; characters on the same baseline that follow
// each other closely make one line of text again.
std::vector<QString> TextLines(const std::vector<SvgText>& texts) {
  std::vector<QString> lines;
  const SvgText* last = nullptr;
  for (const SvgText& text : texts) {
    const bool continues = last != nullptr && text.matrix.size() == 6 && last->matrix.size() == 6 &&
                           text.matrix[1] == 0 && text.matrix[5] == last->matrix[5] &&
                           text.matrix[4] > last->matrix[4] &&
                           text.matrix[4] - last->matrix[4] < 1.2 * last->font_size;
    if (continues) {
      lines.back() += text.text;
    } else {
      lines.push_back(text.text);
    }
    last = &text;
  }
  return lines;
}

QByteArray ConvertWithWmf2svg(const QString& wmf_path) {
  QProcess process;
  process.start("wmf2svg", {"-o", wmf_path + ".svg", wmf_path});
  if (!process.waitForStarted()) {
    ADD_FAILURE() << "wmf2svg (package libwmf-bin) is not installed";
    return {};
  }
  process.waitForFinished();
  EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
  QFile svg(wmf_path + ".svg");
  EXPECT_TRUE(svg.open(QIODevice::ReadOnly));
  return svg.readAll();
}

// A small copy of the window's chart: a sine on "V", markers on "th" and " peak        ".
void BuildChart(QCustomPlot& plot, QVector<double>& t_s, QVector<double>& v_mv) {
  plot.resize(1153, 336);
  QFont arial("Arial");
  arial.setPixelSize(16);
  plot.legend->setVisible(true);
  plot.legend->setFont(arial);
  plot.xAxis->setLabel("t, s");
  plot.yAxis->setLabel("V, mV");
  for (int i = 0; i < 200; ++i) {
    t_s << i * 0.01;
    v_mv << -60 + 20 * std::sin(i * 2 * std::numbers::pi / 100);
  }
  QCPGraph* v = plot.addGraph();
  v->setName("V");
  v->setPen(QPen(Qt::black));
  v->setData(t_s, v_mv);
  const std::vector<std::pair<QString, QColor>> markers = {{"th", Qt::green},
                                                           {" peak        ", Qt::gray}};
  for (const auto& [name, colour] : markers) {
    QCPGraph* graph = plot.addGraph();
    graph->setName(name);
    graph->setLineStyle(QCPGraph::lsNone);
    graph->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssDisc, colour, colour, 3));
    graph->addData(0.25, -40);
  }
  plot.rescaleAxes();
  plot.replot();
}

TEST_F(WmfPaintDeviceTest, ChartOpensInAnIndependentReader) {
  QCustomPlot plot;
  QVector<double> t_s, v_mv;
  BuildChart(plot, t_s, v_mv);
  QTemporaryDir directory;
  const QString path = directory.filePath("1.wmf");
  SaveWidgetAsWmf(plot, path.toStdString());
  const QByteArray xml = ConvertWithWmf2svg(path);
  ASSERT_FALSE(xml.isEmpty());
  const Svg svg = ReadSvg(xml);

  const std::vector<QString> lines = TextLines(svg.texts);
  for (const char* expected : {"V", "th", " peak        ", "t, s", "V, mV"}) {
    EXPECT_EQ(std::count(lines.begin(), lines.end(), expected), 1) << expected;
  }

  // The reader scales each axis on its own, so the trace must be the drawn points under one
  // scale and offset per axis.
  const auto trace = std::find_if(svg.polylines.begin(), svg.polylines.end(),
                                  [&](const auto& points) { return points.size() == 200; });
  ASSERT_NE(trace, svg.polylines.end());
  EXPECT_TRUE(svg.polyline_styles[trace - svg.polylines.begin()].contains("stroke:black"));
  std::vector<QPointF> pixels;
  for (int i = 0; i < t_s.size(); ++i) {
    pixels.emplace_back(plot.xAxis->coordToPixel(t_s[i]), plot.yAxis->coordToPixel(v_mv[i]));
  }
  const double x_scale =
      (trace->back().x() - trace->front().x()) / (pixels.back().x() - pixels.front().x());
  const double y_scale =
      (trace->at(75).y() - trace->at(25).y()) / (pixels[75].y() - pixels[25].y());
  EXPECT_NEAR(y_scale / x_scale, 1.0, 0.05);
  for (size_t i = 0; i < pixels.size(); ++i) {
    const QPointF expected(trace->front().x() + (pixels[i].x() - pixels[0].x()) * x_scale,
                           trace->at(25).y() + (pixels[i].y() - pixels[25].y()) * y_scale);
    EXPECT_NEAR(trace->at(i).x(), expected.x(), 0.1 * x_scale) << i;
    EXPECT_NEAR(trace->at(i).y(), expected.y(), 0.1 * y_scale) << i;
  }
}

}  // namespace
}  // namespace ictalscope
