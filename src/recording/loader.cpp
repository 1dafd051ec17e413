#include "recording/loader.h"

#include "recording/conditioning.h"
#include "recording/float_ops.h"
#include "recording/record_reading.h"
#include "recording/recording_lookup.h"

namespace ictalscope {

std::string FindRecording(Workspace& ws, const std::string& name) {
  try {
    return FindRecordingFile(name, ws.trace);
  } catch (const NoRecordError&) {
    ws.recording.reset();
    throw;
  }
}

void LoadRecording(Workspace& ws, const std::string& name) {
  Conditioning conditioning(ws);
  conditioning.BeginLoad();
  const std::string path = FindRecording(ws, name);
  // A chart that was not cleared keeps what it shows of the arrays this load writes.
  ws.chart.KeepSamplesOf(ws.trace.V.data());
  ws.chart.KeepSamplesOf(ws.Filtered.data());
  RecordReading reading;
  reading.record_number = [](const Panel& panel) {
    return TruncToInt32(FieldValue(panel, Field::Analyse));
  };
  reading.after_chunk = [&conditioning](int32_t first, int32_t last) {
    conditioning.ConditionSamples(first, last);
  };
  ReadRecordOf(ws, path, reading);
  conditioning.EndLoad();
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
