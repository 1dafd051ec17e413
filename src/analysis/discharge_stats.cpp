// "stat": the discharge table named by the panel summarised into the file named after it with
// "m" appended.

#include <string>
#include <vector>

#include "analysis/analyses.h"
#include "analysis/discharge_summary.h"
#include "analysis/discharge_table_reader.h"
#include "base/error.h"
#include "base/text_output.h"

namespace ictalscope {

StatSummary RunStat(Workspace& ws, const AnalysisState& state) {
  const std::string input =
      ws.panel.IsChecked(Check::Read) ? ws.panel.NameBoxText() : state.ResultBaseName + "ID";
  const std::vector<Discharge> discharges = ReadDischargeTable(input);
  if (discharges.size() < 2) {
    throw Error("stat needs at least two discharges: " + input + " holds " +
                std::to_string(discharges.size()));
  }
  const DischargeSummary summary = SummariseDischarges(discharges);

  TextOutput out(input + "m", TextOutput::Mode::kCreate);
  out.WriteLine(kSummaryHeader);
  // The ratio fails once the output exists and holds its first header line: a table whose first
  // discharge has no spike leaves that file with the header line and no summary line.
  if (!summary.last_over_first) throw Error(summary.ratio_fault);
  out.WriteLine(SummaryLine(summary));
  out.WriteLine(kDischargeLinesHeader);
  for (const std::string& line : DischargeLines(discharges, summary)) out.WriteLine(line);
  out.Close();
  return {input, input + "m", discharges.size()};
}

}  // namespace ictalscope
