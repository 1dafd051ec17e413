// A text trace: one record, read whole, then conditioned and drawn like a record of a binary
// recording.

#include <algorithm>

#include "recording/record_formats.h"
#include "recording/record_reading.h"
#include "recording/recording_lookup.h"
#include "recording/text_trace_reader.h"

namespace ictalscope {

RecordingInfo TextRecordingInfo(const std::string& path, double interval_ms) {
  RecordingInfo info;
  info.format = RecordingFormat::kText;
  info.file = path;
  info.records = 1;
  info.channels = {{"V", "mV"}};
  info.interval_ms = interval_ms;
  info.record = 1;
  return info;
}

namespace {

constexpr int32_t kChunkSamples = 1 << 14;

// The samples are all stored already; the chunks follow the binary readers' (the first ends at
// sample 3).
void PassChunks(const RecordReading& reading, int32_t last) {
  for (int32_t first = 0; first <= last;) {
    const int32_t chunk_last = std::min(first == 0 ? 3 : first + kChunkSamples - 1, last);
    reading.after_chunk(first, chunk_last);
    first = chunk_last + 1;
  }
}

}  // namespace

void ReadText(Workspace& ws, const std::string& path, const RecordReading& reading) {
  Panel& panel = ws.panel;
  Trace& trace = ws.trace;
  if (reading.text_checks_record) {
    const int32_t record = reading.record_number(panel);
    if (record != 1) ThrowNoRecord(trace, RecordMissingMessage(record, path, 1));
  }
  ReadTextTrace(path, trace);
  ws.recording = TextRecordingInfo(path, trace.AcqTime);
  ShowRecordingInLabel(ws, "");
  ShowFactors(panel, 0, 0);
  trace.NR = 1;
  WriteFieldValue(panel, Field::NR, 1);
  WriteFieldValue(panel, Field::AcqTime, trace.AcqTime);
  trace.RecordNo = reading.text_checks_record ? 1 : reading.record_number(panel);
  reading.before_samples();
  PassChunks(reading, trace.LastIndex);
  panel.ProcessEvents();
}

}  // namespace ictalscope
