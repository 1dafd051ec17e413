#include "recording/record_reading.h"

#include <algorithm>

#include "recording/binary_file.h"
#include "recording/recording_lookup.h"
#include "recording/wcp_header.h"

namespace ictalscope {

void ReadRecordOf(Workspace& ws, const std::string& path, const RecordReading& given) {
  ws.recording.reset();
  RecordReading reading = given;
  reading.after_chunk = [&ws, &given](int32_t first, int32_t last) {
    if (first == 0) ws.v_written_end = std::max(ws.v_written_end, ws.trace.LastIndex + int64_t{1});
    given.after_chunk(first, last);
  };
  std::string first_bytes;
  {
    const BinaryFile file(path);
    first_bytes = file.BytesAt(0, kWcpFullHeaderBytes);
  }
  switch (SniffFormat(first_bytes)) {
    case RecordingFormat::kAbf:
      ReadAbf(ws, path, reading);
      return;
    case RecordingFormat::kWcp:
      if (FieldValue(ws.panel, Field::Channel) < 1 &&
          FitsClassicLayout(WcpHeaderLines(first_bytes))) {
        ReadClassicWcp(ws, path, first_bytes, reading);
      } else {
        ReadHeaderWcp(ws, path, reading);
      }
      return;
    case RecordingFormat::kText:
      ReadText(ws, path, reading);
      return;
  }
}

void ShowFactors(Panel& panel, double calib_v, double calib_i) {
  WriteFieldValue(panel, Field::CalibV, calib_v);
  WriteFieldValue(panel, Field::CalibI, calib_i);
  panel.ProcessEvents();
}

void CheckRecordExists(Workspace& ws, int64_t record, int64_t records) {
  if (record >= 1 && record <= records) return;
  ThrowNoRecord(ws.trace, RecordMissingMessage(record, ws.recording->file, records));
}

void ShowRecordingInLabel(Workspace& ws, const std::string& header_text) {
  std::string label = RecordingSummary(*ws.recording);
  if (!header_text.empty()) label += "\r\n" + header_text;
  ws.panel.SetHeaderLabel(label);
}

}  // namespace ictalscope
