// A .wcp file of the one rig that the classic loader was written for: two channels, the voltage
// on channel 0, records at the fixed stride 4N + 1024 bytes with N from "NBD=" and "DT=", and
// the calibration of the header scan. The last 1023 pairs of a record stay out of the trace.

#include <algorithm>
#include <limits>

#include "recording/header_scan.h"
#include "recording/record_formats.h"
#include "recording/record_reading.h"
#include "recording/recording_lookup.h"
#include "recording/wcp_header.h"
#include "recording/wcp_record_reader.h"

namespace ictalscope {

namespace {

constexpr int64_t kFirstRecordAt = 1024;

}  // namespace

// The records that start before the end of the file. A stride of no bytes (or fewer) puts every
// record at or before the first, so none ends the count.
int32_t ClassicRecordCount(int64_t file_size, int64_t samples_per_record) {
  if (file_size <= kFirstRecordAt) return 0;
  const __int128 stride = static_cast<__int128>(samples_per_record) * 4 + 1024;
  if (stride <= 0) return std::numeric_limits<int32_t>::max();
  const __int128 count = (file_size - kFirstRecordAt + stride - 1) / stride;
  return static_cast<int32_t>(std::min<__int128>(count, std::numeric_limits<int32_t>::max()));
}

RecordingInfo ClassicRecordingInfo(const std::string& path, const WcpHeaderLines& lines,
                                   int32_t records, double interval_ms) {
  RecordingInfo info;
  info.format = RecordingFormat::kWcp;
  info.file = path;
  info.version = lines.Value("VER").value_or("");
  info.layout = "classic";
  info.records = records;
  for (const std::string c : {"0", "1"}) {
    info.channels.push_back(
        {lines.Value("YN" + c).value_or(""), lines.Value("YU" + c).value_or("")});
  }
  info.interval_ms = interval_ms;
  return info;
}

void ReadClassicWcp(Workspace& ws, const std::string& path, const std::string& first_bytes,
                    const RecordReading& reading) {
  Panel& panel = ws.panel;
  Trace& trace = ws.trace;
  WcpRecordReader reader(path);
  const std::string header_text = reader.ReadHeaderText();
  panel.SetHeaderLabel(header_text);
  panel.ProcessEvents();
  const HeaderScanResult header = ScanWcpHeader(header_text, panel, trace);
  CheckRecordLength(header.SamplesPerRecord);
  const int32_t records = ClassicRecordCount(reader.FileSize(), header.SamplesPerRecord);
  ws.recording = ClassicRecordingInfo(path, WcpHeaderLines(first_bytes), records, trace.AcqTime);
  ShowRecordingInLabel(ws, header_text);
  ShowFactors(panel, header.CalibV, header.CalibI);
  trace.RecordNo = reading.record_number(panel);
  CheckRecordExists(ws, trace.RecordNo, records);
  ws.recording->record = trace.RecordNo;
  reader.SeekRecord(trace.RecordNo, header.SamplesPerRecord);
  reader.SkipLeadingBlock();
  trace.LastIndex = LastIndexFor(header.SamplesPerRecord);
  reading.before_samples();
  reader.ReadRecord(trace.V.data(), trace.LastIndex, header.CalibV, reading.after_chunk);
  panel.ProcessEvents();
  reader.Close();
}

}  // namespace ictalscope
