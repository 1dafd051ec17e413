// Fuzz target: a load through the recording-name box, then the analyses, on arbitrary bytes.
//
// Input: 8 bytes of panel settings, then the recording file.
//   byte 0: bit 0 "Filter", 1 "V.dat", 2 "Stimulation", 3 "rewrite", 4 "time through traces",
//           5 "read"; bit 6 writes the file as "r" instead of "r.wcp"; bit 7 types the name
//           "r.wcp" instead of "r" (the file found is read by its content either way).
//   bytes 1..7: two fields per byte (low nibble first, in the order of kFuzzedFields); a nibble
//           picks the field's default text (0) or one of the texts of kTexts.
// The rest is written as the file; the name box is clicked, then "Spikes", "IID", "Rin",
// "two traces", "Spikes", "IID" and "stat" run one after the other, each going on after an
// Error as the window does.
//
// One workspace serves the whole process, as in the program: its trace arrays are allocated
// once. A .wcp header that asks for a record of more than kMaxLoadedSamples (but that still fits
// the trace) is skipped, so that no input takes seconds or hundreds of MB just by its length.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "analysis/analyses.h"
#include "analysis/analysis_state.h"
#include "fuzz_support.h"
#include "panel/memory_panel.h"
#include "recording/conditioning.h"
#include "recording/header_scan.h"
#include "recording/loader.h"
#include "recording/memory_chart.h"
#include "recording/workspace.h"

namespace ictalscope::fuzz {
namespace {

constexpr size_t kSettingsBytes = 8;
constexpr int64_t kMaxLoadedSamples = int64_t{1} << 17;
constexpr const char* kName = "r";

constexpr std::array<Field, 14> kFuzzedFields = {
    Field::Analyse,   Field::step_V,       Field::tau,    Field::AcqTime,    Field::StimHz,
    Field::StimDelay, Field::StimDuration, Field::ISImax, Field::NminSpikes, Field::dt_Vrest,
    Field::Vsilent,   Field::AD,           Field::YG0,    Field::YG1};

// Index 0 stands for the field's default text.
constexpr std::array<const char*, 16> kTexts = {
    nullptr, "0",      "1",      "2",     "3",          "10", "100", "-1",
    "0.5",   "0.0625", "1e-300", "1e300", "2147483648", "",   " ",   "x"};

struct Session {
  MemoryPanel panel;
  MemoryChart chart;
  Workspace ws{panel, chart};
};

Session& TheSession() {
  static Session* session = new Session;
  return *session;
}

// Back to the state at start-up but for the sample arrays, which the program never clears. A
// change of tau runs its handler, as in the window.
void Reset(Session& s) {
  s.panel = MemoryPanel();
  s.panel.on_change = [&s](Field field) {
    if (field == Field::tau) OnTauChanged(s.ws);
  };
  s.chart = MemoryChart();
  Workspace& ws = s.ws;
  ws.trace.LastIndex = -1;
  ws.trace.AcqTime = 0;
  ws.trace.RecordNo = 0;
  ws.trace.NR = 0;
  ws.RecordingName.clear();
  ws.PlotStep = 0;
  ws.FilterCoef = 0;
  ws.stim = StimTiming{};
}

void ApplySettings(MemoryPanel& panel, const uint8_t* settings) {
  const uint8_t flags = settings[0];
  for (size_t i = 0; i < kFuzzedFields.size(); ++i) {
    const uint8_t byte = settings[1 + i / 2];
    const char* text = kTexts[i % 2 == 0 ? byte & 15 : byte >> 4];
    // A change of tau runs its handler, which may stop with an Error as in the window.
    if (text != nullptr) Tolerate([&] { panel.SetText(kFuzzedFields[i], text); });
  }
  constexpr std::array<Check, 6> kChecks = {
      Check::Filter, Check::VDat, Check::Stimulation, Check::Rewrite, Check::TimeThroughTraces,
      Check::Read};
  for (size_t bit = 0; bit < kChecks.size(); ++bit) {
    panel.SetChecked(kChecks[bit], (flags >> bit & 1) != 0);
  }
  panel.SetNameBoxText((flags & 0x80) != 0 ? std::string(kName) + ".wcp" : kName);
}

// Samples that a load of this .wcp file would read, from a header scan on a copy of the panel
// (the scan gives the same result and the same failure as in the load, which does it again).
int64_t LoadedSamples(const MemoryPanel& panel, const uint8_t* file, size_t size) {
  std::string header(reinterpret_cast<const char*>(file), std::min<size_t>(size, kWcpHeaderSize));
  header.resize(kWcpHeaderSize, '\0');
  MemoryPanel scratch = panel;
  scratch.on_change = nullptr;
  static Trace* trace = new Trace;
  int64_t samples = 0;
  Tolerate([&] { samples = ScanWcpHeader(header, scratch, *trace).SamplesPerRecord - 1023; });
  return samples;
}

void RunCommands(Workspace& ws) {
  AnalysisState state;
  Tolerate([&] { RunLoad(ws, state); });
  Tolerate([&] { RunSpikes(ws, state.spikes); });
  Tolerate([&] { RunIID(ws, state); });
  Tolerate([&] { RunRin(ws, state.spikes); });
  Tolerate([&] { RunTwoTraces(ws, state); });
  Tolerate([&] { RunSpikes(ws, state.spikes); });
  Tolerate([&] { RunIID(ws, state); });
  Tolerate([&] { RunStat(ws, state); });
  Expect(ws.trace.LastIndex < kTraceCapacity, "LastIndex within the trace");
}

}  // namespace
}  // namespace ictalscope::fuzz

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  ictalscope::fuzz::MakePathArgumentsAbsolute(argc, argv);
  ictalscope::fuzz::TheSession();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace ictalscope::fuzz;
  EnterScratchDirectory();
  if (size < kSettingsBytes) return -1;
  Session& session = TheSession();
  Reset(session);
  ClearScratchDirectory();
  ApplySettings(session.panel, data);
  if ((data[0] & 0x04) != 0) Tolerate([&] { ictalscope::OnStimulationClicked(session.ws); });
  const uint8_t* file = data + kSettingsBytes;
  const size_t file_size = size - kSettingsBytes;
  const bool text = (data[0] & 0x40) != 0;
  // The content decides the format, whatever the name.
  const int64_t samples = LoadedSamples(session.panel, file, file_size);
  if (samples > kMaxLoadedSamples && samples <= ictalscope::kTraceCapacity) return -1;
  WriteFile(text ? kName : std::string(kName) + ".wcp", file, file_size);
  RunCommands(session.ws);
  return 0;
}
