#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "analysis/discharge_rows.h"
#include "analysis/spike_detection.h"
#include "analysis/spike_table.h"
#include "recording/chart.h"

namespace ictalscope {

// The columns of a spike table that the grouping reads: spike k (from 1) at index k - 1.
struct SpikeColumns {
  std::span<const double> VT, tsp, Vpeak, Vrest, Vmin, AHP;
  int32_t count() const { return static_cast<int32_t>(tsp.size()); }
};
SpikeColumns ColumnsOf(const SpikeTable& spikes);
SpikeColumns ColumnsOf(const SpikeRun& run);

// What "IID" reads of the panel.
struct DischargeSettings {
  double ISImax_ms = 1000;
  double NminSpikes = 40;  // compared as a real number with the spike count
  double Vsilent_mV = -65;
  bool time_through_traces = false;
};

// The five tables, in the order "IID", "mean", "ID", "_sp", "_1sp".
enum class DischargeTable { kIID, kMean, kID, kSp, kOneSp };

// The rows of one record's five tables and the discharge markers ("IID" at -30 mV, "ID" at
// -20 mV, at each discharge's onset in s), and the order in which they were made, so that a
// front end writes and draws them as a run that stops at a failing write would.
struct DischargeResult {
  std::vector<DischargeSpikeRow> iid;
  std::vector<DischargeRow> mean;
  std::vector<DischargeRow> id;
  std::vector<SpikeRow> sp;
  std::vector<SpikeRow> one_sp;
  std::vector<ChartPoint> iid_marks;
  std::vector<ChartPoint> id_marks;
  // A row (index into its table's rows) or a mark (index into iid_marks or id_marks, with the
  // table kMean for "IID" and kID for "ID").
  struct Step {
    bool mark;
    DischargeTable table;
    size_t index;
  };
  std::vector<Step> order;
  // The most recent interval of at least ISImax, for the next record's first discharge.
  double closing_interval_ms = 0;
};

// One pass over the pairs (i - 1, i) of the spikes of record `record`. A discharge is a
// maximal run of consecutive spikes less than ISImax apart; one of more than NminSpikes spikes
// is also an ID discharge. Pairs whose earlier spike lies at or before 10 ms open, extend and
// close nothing. The first spike of a discharge shows as its ISI the last closing interval,
// `closing_interval_ms` as the previous run left it when none came in this run.
DischargeResult GroupDischarges(const SpikeColumns& spikes, const DischargeSettings& settings,
                                int32_t record, double closing_interval_ms);

}  // namespace ictalscope
