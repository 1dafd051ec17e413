// Fuzz target: a .wcp file read by its header, on arbitrary bytes.
//
// Input: 2 bytes of settings, then the file.
//   byte 0: the Channel field: 0 (the first voltage channel) or 1 to 15; the header is read
//           by its keys either way (a file of the classic rig is read by the classic loader only
//           with Channel 0, and the header reader is the target here, so 0 becomes 1 when the
//           file fits the classic rig).
//   byte 1: the record to load (Analyse), 0 to 255.
// The file is loaded, then "two traces" reads the record after it. Properties: a record that
// loads lies wholly in the file; the records counted are those that do.

#include <cstddef>
#include <cstdint>
#include <string>

#include "analysis/analyses.h"
#include "fuzz_support.h"
#include "panel/memory_panel.h"
#include "recording/memory_chart.h"
#include "recording/wcp_header.h"
#include "recording/workspace.h"

namespace ictalscope::fuzz {
namespace {

constexpr size_t kSettingsBytes = 2;

struct Session {
  MemoryPanel panel;
  MemoryChart chart;
  Workspace ws{panel, chart};
  AnalysisState state;
};

Session& TheSession() {
  static Session* session = new Session;
  return *session;
}

// The layout as the header reader sees it: every record it counts ends within the file.
void CheckLayout(const std::string& file) {
  const WcpHeaderLines lines(file);
  WcpLayout layout;
  if (!Tolerate([&] { layout = ReadWcpLayout(lines, static_cast<int64_t>(file.size())); })) return;
  Expect(layout.records >= 0, "no negative record count");
  Expect(layout.samples >= 0, "no negative record length");
  if (layout.records > 0) {
    Expect(layout.SamplesStart(layout.records) + layout.SampleBytes() <=
               static_cast<int64_t>(file.size()),
           "the last record counted lies wholly in the file");
  }
}

void CheckLoaded(const Workspace& ws, size_t file_size) {
  if (!ws.recording || ws.recording->record == 0) return;
  Expect(ws.recording->record <= ws.recording->records, "the record loaded is one of the file's");
  Expect(ws.trace.LastIndex < kTraceCapacity, "LastIndex within the trace");
  Expect(int64_t{ws.trace.LastIndex} + 1 <= static_cast<int64_t>(file_size) / 2,
         "every sample loaded is two bytes of the file");
}

}  // namespace
}  // namespace ictalscope::fuzz

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  ictalscope::fuzz::MakePathArgumentsAbsolute(argc, argv);
  ictalscope::fuzz::TheSession();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace ictalscope;
  using namespace ictalscope::fuzz;
  EnterScratchDirectory();
  if (size < kSettingsBytes) return -1;
  Session& s = TheSession();
  ClearScratchDirectory();
  const std::string file(reinterpret_cast<const char*>(data + kSettingsBytes),
                         size - kSettingsBytes);
  int channel = data[0] % 16;
  if (channel == 0 && FitsClassicLayout(WcpHeaderLines(file))) channel = 1;
  s.panel.SetText(Field::Channel, std::to_string(channel));
  s.panel.SetText(Field::Analyse, std::to_string(data[1]));
  WriteFile("f.wcp", data + kSettingsBytes, file.size());
  CheckLayout(file);
  s.panel.SetNameBoxText("f");
  Tolerate([&] { RunLoad(s.ws, s.state); });
  CheckLoaded(s.ws, file.size());
  Tolerate([&] { RunTwoTraces(s.ws, s.state); });
  CheckLoaded(s.ws, file.size());
  return 0;
}
