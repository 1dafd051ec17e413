// "two traces": record Trunc(Analyse) + 1 of RecordingName.wcp becomes the trace and is drawn on
// series "V" 300 s to the right of the record that the last load drew from 0 s.
//
// It is the .wcp path of a load with these differences: nothing is cleared and the points go to
// x = k * AcqTime / 1000 + 300 s; PlotStep is the one the last load took (not refreshed from
// step_V); neither smoothing nor the stimulation refresh runs; the dump goes to "V2.dat",
// created only after the header has been applied and the record's leading block read. Sample k
// is drawn (and dumped) when k > 2 and k is a multiple of |PlotStep|.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "analysis/analyses.h"
#include "panel/error.h"
#include "panel/format_fixed.h"
#include "recording/file_layer.h"
#include "recording/float_ops.h"
#include "recording/header_scan.h"
#include "recording/text_output.h"
#include "recording/wcp_record_reader.h"

namespace ictalscope {

namespace {

constexpr long double kOffsetS = 300;
constexpr const char* kDumpFileName = "V2.dat";
// The header scan and the calibration factors, exactly as a load applies them.
HeaderScanResult ApplyHeader(Workspace& ws, WcpRecordReader& reader) {
  Panel& panel = ws.panel;
  const std::string header_text = reader.ReadHeaderText();
  panel.SetHeaderLabel(header_text);
  panel.ProcessEvents();
  const HeaderScanResult header = ScanWcpHeader(header_text, panel, ws.trace);
  CheckRecordLength(header.SamplesPerRecord);
  WriteFieldValue(panel, Field::CalibV, header.CalibV);
  WriteFieldValue(panel, Field::CalibI, header.CalibI);
  panel.ProcessEvents();
  return header;
}

// Trunc(Analyse) + 1 in 32-bit arithmetic, wrapping as the record number does.
int32_t NextRecordNo(const Panel& panel) {
  const int32_t analyse = TruncToInt32(FieldValue(panel, Field::Analyse));
  return static_cast<int32_t>(static_cast<uint32_t>(analyse) + 1u);
}

void DrawChunk(Workspace& ws, TextOutput* dump, int32_t first, int32_t last) {
  int64_t k = std::max<int32_t>(first, 3);
  if (k > last) return;
  const int64_t step = std::abs(static_cast<int64_t>(ws.PlotStep));
  if (step == 0) throw Error(messages::kDivisionByZero);
  for (k = (k + step - 1) / step * step; k <= last; k += step) {
    const double v = ws.trace.V[static_cast<int32_t>(k)];
    const long double t = static_cast<long double>(k) * ws.trace.AcqTime / 1000 + kOffsetS;
    ws.chart.Append(Series::V, static_cast<double>(t), v);
    if (dump != nullptr) dump->WriteLine(FormatFixed(t, 0, 6) + " " + FormatFixed(v, 0, 2));
  }
}

}  // namespace

void RunTwoTraces(Workspace& ws) {
  const std::string path = ws.RecordingName + ".wcp";
  if (!FileExists(path)) return;
  WcpRecordReader reader(path);
  const HeaderScanResult header = ApplyHeader(ws, reader);
  ws.trace.RecordNo = NextRecordNo(ws.panel);
  reader.SeekRecord(ws.trace.RecordNo, header.SamplesPerRecord);
  ws.trace.LastIndex = LastIndexFor(header.SamplesPerRecord);
  reader.SkipLeadingBlock();
  std::optional<TextOutput> dump;
  if (ws.panel.IsChecked(Check::VDat))
    dump.emplace(kDumpFileName, TextOutput::Mode::kCreate, TextOutput::Writes::kBlocks);
  reader.ReadRecord(
      ws.trace.V.data(), ws.trace.LastIndex, header.CalibV,
      [&](int32_t first, int32_t last) { DrawChunk(ws, dump ? &*dump : nullptr, first, last); });
  ws.panel.ProcessEvents();
  if (dump) dump->Close();
  reader.Close();
}

}  // namespace ictalscope
