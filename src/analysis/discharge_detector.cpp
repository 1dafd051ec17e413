// "IID" on the spike table: the panel's settings, the grouping, and its rows into the five
// tables (created or appended to) and its markers onto the chart.

#include <cstdint>
#include <string>
#include <string_view>

#include "analysis/analyses.h"
#include "analysis/discharge_grouping.h"
#include "analysis/discharge_rows.h"
#include "base/error.h"
#include "base/file_layer.h"
#include "base/text_output.h"

namespace ictalscope {
namespace {

// Record 1 and "rewrite" recreate the tables, record 1 with their header lines. A later record
// appends to them, and creates with its header line a table that does not exist yet.
struct TableOpening {
  TextOutput::Mode mode;
  bool header;
};

TableOpening OpeningFor(const std::string& path, int32_t tr, bool rewrite) {
  if (tr == 1) return {TextOutput::Mode::kCreate, true};
  if (rewrite) return {TextOutput::Mode::kCreate, false};
  if (FileExists(path)) return {TextOutput::Mode::kAppend, false};
  return {TextOutput::Mode::kCreate, true};
}

// One of the five tables, with the rows this run wrote to it.
class TableFile {
 public:
  TableFile(const std::string& path, int32_t tr, bool rewrite)
      : opening_(OpeningFor(path, tr, rewrite)), out_(path, opening_.mode) {}

  void WriteHeader(std::string_view header) {
    if (opening_.header) out_.WriteLine(header);
  }
  void WriteRow(const std::string& row) {
    out_.WriteLine(row);
    ++rows_;
  }
  void Close() { out_.Close(); }
  int32_t rows() const { return rows_; }

 private:
  TableOpening opening_;
  TextOutput out_;
  int32_t rows_ = 0;
};

// The five tables of one run, opened and closed in the order "IID", "mean", "ID", "_sp",
// "_1sp". A table that fails to open or to take a row leaves the others to the destructors.
struct DischargeTables {
  DischargeTables(const std::string& base, int32_t tr, bool rewrite)
      : iid(base + "IID", tr, rewrite),
        mean(base + "mean", tr, rewrite),
        id(base + "ID", tr, rewrite),
        sp(base + "_sp", tr, rewrite),
        one_sp(base + "_1sp", tr, rewrite) {}

  void WriteHeaders() {
    iid.WriteHeader(kDischargeSpikeHeader);
    mean.WriteHeader(kDischargeHeader);
    id.WriteHeader(kDischargeHeader);
    sp.WriteHeader(kSpikeHeader);
    one_sp.WriteHeader(kSpikeHeader);
  }

  void Close() {
    iid.Close();
    mean.Close();
    id.Close();
    sp.Close();
    one_sp.Close();
  }

  TableFile iid;
  TableFile mean;
  TableFile id;
  TableFile sp;
  TableFile one_sp;
};

// Writes and draws what the grouping made, in its order: a failing write stops there.
void WriteAndDraw(const DischargeResult& result, DischargeTables& tables, Chart& chart) {
  for (const DischargeResult::Step& step : result.order) {
    switch (step.table) {
      case DischargeTable::kIID:
        tables.iid.WriteRow(FormatRow(result.iid[step.index]));
        break;
      case DischargeTable::kMean:
        if (step.mark) {
          const ChartPoint& p = result.iid_marks[step.index];
          chart.Append(Series::IID, p.x, p.y);
        } else {
          tables.mean.WriteRow(FormatRow(result.mean[step.index]));
        }
        break;
      case DischargeTable::kID:
        if (step.mark) {
          const ChartPoint& p = result.id_marks[step.index];
          chart.Append(Series::ID, p.x, p.y);
        } else {
          tables.id.WriteRow(FormatRow(result.id[step.index]));
        }
        break;
      case DischargeTable::kSp:
        tables.sp.WriteRow(FormatRow(result.sp[step.index]));
        break;
      case DischargeTable::kOneSp:
        tables.one_sp.WriteRow(FormatRow(result.one_sp[step.index]));
        break;
    }
  }
}

}  // namespace

IidSummary RunIID(Workspace& ws, AnalysisState& state) {
  Panel& panel = ws.panel;
  if (ws.trace.LastIndex < 0) throw Error(kNoRecordingLoaded);
  state.ResultBaseName = panel.NameBoxText();
  const int32_t tr = ws.trace.RecordNo;
  DischargeTables tables(state.ResultBaseName, tr, panel.IsChecked(Check::Rewrite));
  tables.WriteHeaders();
  const double vsilent = FieldValue(panel, Field::Vsilent);
  const DischargeSettings settings{FieldValue(panel, Field::ISImax),
                                   FieldValue(panel, Field::NminSpikes), vsilent,
                                   panel.IsChecked(Check::TimeThroughTraces)};
  const DischargeResult result =
      GroupDischarges(ColumnsOf(state.spikes), settings, tr, state.ClosingIntervalMs);
  // The closing interval is the running state of the grouping: it holds what the run reached
  // even when a write stops the run.
  state.ClosingIntervalMs = result.closing_interval_ms;
  WriteAndDraw(result, tables, ws.chart);
  tables.Close();
  panel.ProcessEvents();
  return {state.ResultBaseName,
          tables.mean.rows(),
          tables.id.rows(),
          {tables.iid.rows(), tables.mean.rows(), tables.id.rows(), tables.sp.rows(),
           tables.one_sp.rows()}};
}

}  // namespace ictalscope
