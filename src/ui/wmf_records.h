#pragma once

#include <QByteArray>
#include <QRect>
#include <cstdint>
#include <string_view>
#include <vector>

namespace ictalscope {

// Record functions of the standard Windows metafile that the chart export writes.
namespace wmf {
inline constexpr uint16_t kEof = 0x0000;
inline constexpr uint16_t kSaveDc = 0x001E;
inline constexpr uint16_t kSetBkMode = 0x0102;
inline constexpr uint16_t kSetMapMode = 0x0103;
inline constexpr uint16_t kRestoreDc = 0x0127;
inline constexpr uint16_t kSelectObject = 0x012D;
inline constexpr uint16_t kSetTextAlign = 0x012E;
inline constexpr uint16_t kDeleteObject = 0x01F0;
inline constexpr uint16_t kSetTextColor = 0x0209;
inline constexpr uint16_t kSetWindowOrg = 0x020B;
inline constexpr uint16_t kSetWindowExt = 0x020C;
inline constexpr uint16_t kCreatePenIndirect = 0x02FA;
inline constexpr uint16_t kCreateFontIndirect = 0x02FB;
inline constexpr uint16_t kCreateBrushIndirect = 0x02FC;
inline constexpr uint16_t kPolygon = 0x0324;
inline constexpr uint16_t kPolyline = 0x0325;
inline constexpr uint16_t kIntersectClipRect = 0x0416;
inline constexpr uint16_t kEllipse = 0x0418;
inline constexpr uint16_t kRectangle = 0x041B;
inline constexpr uint16_t kExtTextOut = 0x0A32;
inline constexpr uint16_t kStretchDib = 0x0F43;

inline constexpr uint32_t kPlaceableKey = 0x9AC6CDD7;
inline constexpr int kPlaceableHeaderBytes = 22;
inline constexpr int kMetaHeaderBytes = 18;
}  // namespace wmf

// The parameters of one record, little-endian, in the order the record stores them (which for
// most drawing records is the reverse of the call's argument order: y before x, bottom before
// top).
class WmfRecord {
 public:
  explicit WmfRecord(uint16_t function) : function_(function) {}

  WmfRecord& Word(int value);
  WmfRecord& Dword(uint32_t value);
  // Appends the bytes and one zero byte when needed so that the record stays word-aligned.
  WmfRecord& Bytes(std::string_view bytes);

  uint16_t function() const { return function_; }
  const QByteArray& params() const { return params_; }
  bool operator==(const WmfRecord& other) const = default;

 private:
  uint16_t function_;
  QByteArray params_;
};

// Collects the records of one metafile and keeps the object table as a reader rebuilds it: a
// created object takes the lowest free slot, a deleted one frees its slot.
class WmfRecordWriter {
 public:
  void Add(const WmfRecord& record);
  int CreateObject(const WmfRecord& create_record);
  void SelectObject(int slot);
  void DeleteObject(int slot);

  // The whole file: placeable header over `frame` (logical units, `units_per_inch` of them per
  // inch), META_HEADER, the records added so far and META_EOF.
  QByteArray Finish(const QRect& frame, int units_per_inch);

 private:
  QByteArray records_;
  uint32_t max_record_words_ = 0;
  std::vector<bool> slot_used_;
};

}  // namespace ictalscope
