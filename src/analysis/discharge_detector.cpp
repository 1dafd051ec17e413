// "IID": groups the spikes of the spike table into discharges and writes five tables.
//
// A discharge is a maximal run of consecutive spikes whose neighbours lie less than ISImax
// apart; one of more than NminSpikes spikes is also an ID discharge. Pairs whose earlier spike
// lies at or before 10 ms open, extend and close nothing. Each discharge is written out the
// moment it closes; the last spike of the table never gets a row in "_sp".

#include <cstdint>
#include <string>
#include <string_view>

#include "analysis/analyses.h"
#include "analysis/discharge_rows.h"
#include "panel/error.h"
#include "recording/file_layer.h"
#include "recording/text_output.h"

namespace ictalscope {
namespace {

constexpr double kFirstExaminedAfterMs = 10.0;
constexpr int64_t kSecondsPerRecord = 300;  // "time through traces"
constexpr double kIIDMarkMv = -30;
constexpr double kIDMarkMv = -20;

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
class DischargeTable {
 public:
  DischargeTable(const std::string& path, int32_t tr, bool rewrite)
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

  DischargeTable iid;
  DischargeTable mean;
  DischargeTable id;
  DischargeTable sp;
  DischargeTable one_sp;
};

struct GroupingSettings {
  int32_t tr;
  double Vsilent;
  double ISImax;
  double NminSpikes;
  bool time_through_traces;
};

// One pass over the pairs (i - 1, i) of the spike table.
class Grouping {
 public:
  Grouping(const SpikeTable& spikes, DischargeTables& tables, Chart& chart,
           double& closing_interval_ms, const GroupingSettings& settings)
      : spikes_(spikes),
        tables_(tables),
        chart_(chart),
        closing_interval_ms_(closing_interval_ms),
        set_(settings) {}

  void Run() {
    const int32_t last = spikes_.SpikeCount;
    for (int32_t i = 2; i <= last; ++i) {
      WriteSpikeRows(i);
      if (spikes_.tsp[i - 1] <= kFirstExaminedAfterMs) continue;
      interval_ms_ =
          static_cast<double>(static_cast<long double>(spikes_.tsp[i]) - spikes_.tsp[i - 1]);
      if (interval_ms_ < set_.ISImax) {
        Join(i);
      } else {
        CloseDischarge(i - 1);
      }
      if (i == last && interval_ms_ < set_.ISImax) {
        WriteDischarge(
            static_cast<double>(static_cast<long double>(spikes_.tsp[last]) / 1000 - tIID_));
      }
    }
  }

 private:
  // The rows of the earlier spike of the pair carry the number of the last discharge opened
  // before this pair.
  void WriteSpikeRows(int32_t i) {
    const int32_t j = i - 1;
    long double tsp_s = static_cast<long double>(spikes_.tsp[j]) / 1000;
    if (set_.time_through_traces) tsp_s += (set_.tr - int64_t{1}) * kSecondsPerRecord;
    const std::string row = SpikeRow(set_.tr, nIID_, tsp_s, j, spikes_, set_.Vsilent);
    if (i == 2) tables_.one_sp.WriteRow(row);
    tables_.sp.WriteRow(row);
  }

  // Spike i lies less than ISImax after spike i - 1: it joins the open discharge, or one that
  // spike i - 1 opens. The first spike's ISI is the last closing interval, which may be an
  // earlier run's.
  void Join(int32_t i) {
    if (!in_discharge_) {
      ++nIID_;
      tIID_ = static_cast<double>(static_cast<long double>(spikes_.tsp[i - 1]) / 1000);
      nspIntra_ = 1;
      WriteDischargeSpike(i - 1, closing_interval_ms_);
      in_discharge_ = true;
    }
    ++nspIntra_;
    WriteDischargeSpike(i, interval_ms_);
    mean_interval_ms_ =
        nspIntra_ == 2
            ? interval_ms_
            : static_cast<double>(
                  (static_cast<long double>(nspIntra_ - 2) * mean_interval_ms_ + interval_ms_) /
                  (nspIntra_ - 1));
  }

  void WriteDischargeSpike(int32_t k, double isi_ms) {
    tables_.iid.WriteRow(DischargeSpikeRow(set_.tr, nIID_, nspIntra_,
                                           static_cast<long double>(isi_ms) / 1000, k, spikes_,
                                           set_.Vsilent));
  }

  // An interval of at least ISImax after spike j closes the open discharge, if any; a
  // discharge of no duration is not written.
  void CloseDischarge(int32_t j) {
    closing_interval_ms_ = interval_ms_;
    in_discharge_ = false;
    const double duration_s =
        static_cast<double>(static_cast<long double>(spikes_.tsp[j]) / 1000 - tIID_);
    if (nspIntra_ > 1 && duration_s > 0) WriteDischarge(duration_s);
    nspIntra_ = 1;
  }

  // The duration is held as a double, like every running value of the grouping.
  void WriteDischarge(double duration_s) {
    const std::string row =
        DischargeRow(set_.tr, nIID_, tIID_, static_cast<long double>(mean_interval_ms_) / 1000,
                     duration_s, nspIntra_);
    tables_.mean.WriteRow(row);
    chart_.Append(Series::IID, tIID_, kIIDMarkMv);
    if (nspIntra_ > set_.NminSpikes) {
      tables_.id.WriteRow(row);
      chart_.Append(Series::ID, tIID_, kIDMarkMv);
    }
  }

  const SpikeTable& spikes_;
  DischargeTables& tables_;
  Chart& chart_;
  double& closing_interval_ms_;
  const GroupingSettings set_;
  int32_t nIID_ = 0;
  bool in_discharge_ = false;
  int32_t nspIntra_ = 1;
  double tIID_ = 0;  // s
  double mean_interval_ms_ = 0;
  double interval_ms_ = 0;
};

}  // namespace

IidSummary RunIID(Workspace& ws, AnalysisState& state) {
  Panel& panel = ws.panel;
  if (ws.trace.LastIndex < 0) throw Error(kNoRecordingLoaded);
  state.ResultBaseName = panel.NameBoxText();
  const int32_t tr = ws.trace.RecordNo;
  DischargeTables tables(state.ResultBaseName, tr, panel.IsChecked(Check::Rewrite));
  tables.WriteHeaders();
  const GroupingSettings settings{
      tr, FieldValue(panel, Field::Vsilent), FieldValue(panel, Field::ISImax),
      FieldValue(panel, Field::NminSpikes), panel.IsChecked(Check::TimeThroughTraces)};
  Grouping(state.spikes, tables, ws.chart, state.ClosingIntervalMs, settings).Run();
  tables.Close();
  panel.ProcessEvents();
  return {state.ResultBaseName,
          tables.mean.rows(),
          tables.id.rows(),
          {tables.iid.rows(), tables.mean.rows(), tables.id.rows(), tables.sp.rows(),
           tables.one_sp.rows()}};
}

}  // namespace ictalscope
