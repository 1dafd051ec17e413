#include "recording/loader.h"


#include "recording/conditioning.h"
#include "recording/file_layer.h"
#include "recording/float_ops.h"
#include "recording/header_scan.h"
#include "recording/text_trace_reader.h"
#include "recording/wcp_record_reader.h"

namespace ictalscope {

namespace {

void ShowFactors(Panel& panel, double calib_v, double calib_i) {
  WriteFieldValue(panel, Field::CalibV, calib_v);
  WriteFieldValue(panel, Field::CalibI, calib_i);
  panel.ProcessEvents();
}

void ReadRecord(Workspace& ws, Conditioning& conditioning, WcpRecordReader& reader,
                const HeaderScanResult& header) {
  Trace& trace = ws.trace;
  reader.SeekRecord(trace.RecordNo, header.SamplesPerRecord);
  reader.SkipLeadingBlock();
  trace.LastIndex = LastIndexFor(header.SamplesPerRecord);
  reader.ReadRecord(
      trace.V.data(), trace.LastIndex, header.CalibV,
      [&](int32_t first, int32_t last) { conditioning.ConditionSamples(first, last); });
}

void LoadWcp(Workspace& ws, Conditioning& conditioning, const std::string& path) {
  Panel& panel = ws.panel;
  WcpRecordReader reader(path);
  const std::string header_text = reader.ReadHeaderText();
  panel.SetHeaderLabel(header_text);
  panel.ProcessEvents();
  const HeaderScanResult header = ScanWcpHeader(header_text, panel, ws.trace);
  CheckRecordLength(header.SamplesPerRecord);
  ShowFactors(panel, header.CalibV, header.CalibI);
  ws.trace.RecordNo = TruncToInt32(FieldValue(panel, Field::Analyse));
  ReadRecord(ws, conditioning, reader, header);
  panel.ProcessEvents();
  reader.Close();
  conditioning.EndLoad(true);
}

// A text trace computes no factors: both fields show 0.
void LoadText(Workspace& ws, Conditioning& conditioning, const std::string& path) {
  Panel& panel = ws.panel;
  ReadTextTrace(path, ws.trace);
  ShowFactors(panel, 0, 0);
  ws.trace.RecordNo = TruncToInt32(FieldValue(panel, Field::Analyse));
  panel.ProcessEvents();
  conditioning.EndLoad(false);
}

}  // namespace

void LoadRecording(Workspace& ws, const std::string& name) {
  Conditioning conditioning(ws);
  conditioning.BeginLoad();
  if (FileExists(name)) {
    LoadText(ws, conditioning, name);
  } else if (const std::string wcp = name + ".wcp"; FileExists(wcp)) {
    LoadWcp(ws, conditioning, wcp);
  } else {
    conditioning.Abort();
  }
}

void ClickRecordingName(Workspace& ws) {
  ClearSeriesForLoad(ws.chart);
  ws.RecordingName = ws.panel.NameBoxText();
  LoadRecording(ws, ws.RecordingName);
}

void ClickAnalyse(Workspace& ws) {
  ClearSeriesForLoad(ws.chart);
  LoadRecording(ws, ws.RecordingName);
}

void ClearSeriesForLoad(Chart& chart) {
  for (Series series :
       {Series::I, Series::th, Series::peak, Series::V_min, Series::V, Series::ID, Series::IID}) {
    chart.Clear(series);
  }
}

}  // namespace ictalscope
