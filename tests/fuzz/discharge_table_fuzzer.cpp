// Fuzz target: the discharge-table reader and "stat" on arbitrary bytes, written as the table
// that "stat" reads when "read" is ticked. A table holds at most one discharge per six numbers
// of it; a "stat" that completes has written its two header lines and one line per discharge.

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "analysis/analyses.h"
#include "analysis/analysis_state.h"
#include "analysis/discharge_table_reader.h"
#include "fuzz_support.h"
#include "panel/memory_panel.h"
#include "recording/memory_chart.h"
#include "recording/workspace.h"

namespace {

struct Session {
  ictalscope::MemoryPanel panel;
  ictalscope::MemoryChart chart;
  ictalscope::Workspace ws{panel, chart};
  ictalscope::AnalysisState state;
};

size_t CountLines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  size_t lines = 0;
  for (std::string line; std::getline(in, line);) ++lines;
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  ictalscope::fuzz::MakePathArgumentsAbsolute(argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace ictalscope;
  using namespace ictalscope::fuzz;
  EnterScratchDirectory();
  static Session* session = new Session;
  ClearScratchDirectory();
  WriteFile("d", data, size);
  std::vector<Discharge> rows;
  const bool read = Tolerate([&] { rows = ReadDischargeTable("d"); });
  Expect(rows.size() <= size / 12 + 1, "a discharge takes six numbers and their separators");
  session->panel.SetChecked(Check::Read, true);
  session->panel.SetNameBoxText("d");
  if (Tolerate([&] { RunStat(session->ws, session->state); })) {
    Expect(read && rows.size() >= 2, "stat completes only on a table of two discharges or more");
    Expect(CountLines("dm") == rows.size() + 3, "stat writes 3 lines and one per discharge");
  }
  return 0;
}
