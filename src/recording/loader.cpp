#include "recording/loader.h"

#include <utility>

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
  // The rises of each chunk are summarised while its samples are still in the cache.
  RiseSummary rises = ws.trace.V.TakeRises();
  rises.Clear();
  const SampleArray& samples = ws.trace.V;
  RecordReading reading;
  reading.record_number = [](const Panel& panel) {
    return TruncToInt32(FieldValue(panel, Field::Analyse));
  };
  reading.after_chunk = [&](int32_t first, int32_t last) {
    rises.Extend(samples.data(), first, last);
    conditioning.ConditionSamples(first, last);
  };
  const uint64_t writes_before = samples.write_accesses();
  ReadRecordOf(ws, path, reading);
  conditioning.EndLoad();
  // The summary holds when the reader's one write access stored every sample it took in and
  // nothing has written the samples since (smoothing trades the arrays, a text trace writes
  // sample by sample: such loads keep none).
  if (samples.write_accesses() == writes_before + 1 &&
      rises.covered() == int64_t{ws.trace.LastIndex} + 1) {
    ws.trace.V.KeepRises(std::move(rises));
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
