#include "ui/wmf_records.h"

#include <algorithm>

namespace ictalscope {

namespace {

void AppendWord(QByteArray& out, int value) {
  out.append(static_cast<char>(value & 0xFF));
  out.append(static_cast<char>((value >> 8) & 0xFF));
}

void AppendDword(QByteArray& out, uint32_t value) {
  AppendWord(out, static_cast<int>(value & 0xFFFF));
  AppendWord(out, static_cast<int>(value >> 16));
}

// A reader sizes the picture from this header: the frame in logical units and how many of them
// make an inch. Its checksum is the XOR of the ten words before it.
QByteArray PlaceableHeader(const QRect& frame, int units_per_inch) {
  QByteArray header;
  AppendDword(header, wmf::kPlaceableKey);
  AppendWord(header, 0);
  AppendWord(header, frame.left());
  AppendWord(header, frame.top());
  AppendWord(header, frame.left() + frame.width());
  AppendWord(header, frame.top() + frame.height());
  AppendWord(header, units_per_inch);
  AppendDword(header, 0);
  uint16_t checksum = 0;
  for (int i = 0; i < header.size(); i += 2) {
    checksum ^= static_cast<uint8_t>(header[i]) | static_cast<uint8_t>(header[i + 1]) << 8;
  }
  AppendWord(header, checksum);
  return header;
}

QByteArray MetaHeader(uint32_t total_words, int object_count, uint32_t max_record_words) {
  QByteArray header;
  AppendWord(header, 1);  // a metafile in memory, not on disk: no file names inside
  AppendWord(header, wmf::kMetaHeaderBytes / 2);
  AppendWord(header, 0x0300);  // the version that understands device-independent bitmaps
  AppendDword(header, total_words);
  AppendWord(header, object_count);
  AppendDword(header, max_record_words);
  AppendWord(header, 0);
  return header;
}

}  // namespace

WmfRecord& WmfRecord::Word(int value) {
  AppendWord(params_, value);
  return *this;
}

WmfRecord& WmfRecord::Dword(uint32_t value) {
  AppendDword(params_, value);
  return *this;
}

WmfRecord& WmfRecord::Bytes(std::string_view bytes) {
  params_.append(bytes.data(), static_cast<qsizetype>(bytes.size()));
  if (params_.size() % 2 != 0) params_.append('\0');
  return *this;
}

void WmfRecordWriter::Add(const WmfRecord& record) {
  const uint32_t words = 3 + static_cast<uint32_t>(record.params().size() / 2);
  AppendDword(records_, words);
  AppendWord(records_, record.function());
  records_.append(record.params());
  max_record_words_ = std::max(max_record_words_, words);
}

int WmfRecordWriter::CreateObject(const WmfRecord& create_record) {
  Add(create_record);
  const auto free_slot = std::find(slot_used_.begin(), slot_used_.end(), false);
  const int slot = static_cast<int>(free_slot - slot_used_.begin());
  if (free_slot == slot_used_.end()) {
    slot_used_.push_back(true);
  } else {
    *free_slot = true;
  }
  return slot;
}

void WmfRecordWriter::SelectObject(int slot) { Add(WmfRecord(wmf::kSelectObject).Word(slot)); }

void WmfRecordWriter::DeleteObject(int slot) {
  Add(WmfRecord(wmf::kDeleteObject).Word(slot));
  slot_used_[static_cast<size_t>(slot)] = false;
}

QByteArray WmfRecordWriter::Finish(const QRect& frame, int units_per_inch) {
  Add(WmfRecord(wmf::kEof));
  const auto total_words = static_cast<uint32_t>((wmf::kMetaHeaderBytes + records_.size()) / 2);
  QByteArray file = PlaceableHeader(frame, units_per_inch);
  file.append(MetaHeader(total_words, static_cast<int>(slot_used_.size()), max_record_words_));
  file.append(records_);
  return file;
}

}  // namespace ictalscope
