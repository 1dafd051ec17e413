// Grouping the spikes of a record into discharges, written out the moment each closes; the
// last spike of the table never gets a row in "_sp".

#include "analysis/discharge_grouping.h"

namespace ictalscope {

namespace {

constexpr double kFirstExaminedAfterMs = 10.0;
constexpr int64_t kSecondsPerRecord = 300;  // "time through traces"
constexpr double kIIDMarkMv = -30;
constexpr double kIDMarkMv = -20;

class Grouping {
 public:
  Grouping(const SpikeColumns& spikes, const DischargeSettings& settings, int32_t tr,
           double closing_interval_ms)
      : spikes_(spikes), set_(settings), tr_(tr) {
    out_.closing_interval_ms = closing_interval_ms;
  }

  DischargeResult Run() {
    const int32_t last = spikes_.count();
    for (int32_t i = 2; i <= last; ++i) {
      AddSpikeRows(i);
      if (Tsp(i - 1) <= kFirstExaminedAfterMs) continue;
      interval_ms_ = static_cast<double>(static_cast<long double>(Tsp(i)) - Tsp(i - 1));
      if (interval_ms_ < set_.ISImax_ms) {
        Join(i);
      } else {
        CloseDischarge(i - 1);
      }
      if (i == last && interval_ms_ < set_.ISImax_ms) {
        AddDischarge(static_cast<double>(static_cast<long double>(Tsp(last)) / 1000 - tIID_));
      }
    }
    return std::move(out_);
  }

 private:
  double Tsp(int32_t k) const { return spikes_.tsp[k - 1]; }

  SpikeVoltages VoltagesOf(int32_t k) const {
    const double vrest = spikes_.Vrest[k - 1];
    return {spikes_.VT[k - 1],
            spikes_.Vpeak[k - 1],
            vrest,
            static_cast<long double>(vrest) - set_.Vsilent_mV,
            spikes_.Vmin[k - 1],
            spikes_.AHP[k - 1]};
  }

  template <typename Row>
  void AddRow(std::vector<Row>& rows, DischargeTable table, const Row& row) {
    out_.order.push_back({false, table, rows.size()});
    rows.push_back(row);
  }

  void AddMark(std::vector<ChartPoint>& marks, DischargeTable table, double y) {
    out_.order.push_back({true, table, marks.size()});
    marks.push_back({tIID_, y});
  }

  // The rows of the earlier spike of the pair carry the number of the last discharge opened
  // before this pair.
  void AddSpikeRows(int32_t i) {
    const int32_t j = i - 1;
    long double tsp_s = static_cast<long double>(Tsp(j)) / 1000;
    if (set_.time_through_traces) tsp_s += (tr_ - int64_t{1}) * kSecondsPerRecord;
    const SpikeRow row{tr_, nIID_, tsp_s, j, VoltagesOf(j)};
    if (i == 2) AddRow(out_.one_sp, DischargeTable::kOneSp, row);
    AddRow(out_.sp, DischargeTable::kSp, row);
  }

  // Spike i lies less than ISImax after spike i - 1: it joins the open discharge, or one that
  // spike i - 1 opens. The first spike's ISI is the last closing interval, which may be an
  // earlier run's.
  void Join(int32_t i) {
    if (!in_discharge_) {
      ++nIID_;
      tIID_ = static_cast<double>(static_cast<long double>(Tsp(i - 1)) / 1000);
      nspIntra_ = 1;
      AddDischargeSpike(i - 1, out_.closing_interval_ms);
      in_discharge_ = true;
    }
    ++nspIntra_;
    AddDischargeSpike(i, interval_ms_);
    mean_interval_ms_ =
        nspIntra_ == 2
            ? interval_ms_
            : static_cast<double>(
                  (static_cast<long double>(nspIntra_ - 2) * mean_interval_ms_ + interval_ms_) /
                  (nspIntra_ - 1));
  }

  void AddDischargeSpike(int32_t k, double isi_ms) {
    AddRow(out_.iid, DischargeTable::kIID,
           {tr_, nIID_, nspIntra_, static_cast<long double>(isi_ms) / 1000,
            static_cast<long double>(Tsp(k)) / 1000, k, VoltagesOf(k)});
  }

  // An interval of at least ISImax after spike j closes the open discharge, if any; a
  // discharge of no duration is not written.
  void CloseDischarge(int32_t j) {
    out_.closing_interval_ms = interval_ms_;
    in_discharge_ = false;
    const double duration_s = static_cast<double>(static_cast<long double>(Tsp(j)) / 1000 - tIID_);
    if (nspIntra_ > 1 && duration_s > 0) AddDischarge(duration_s);
    nspIntra_ = 1;
  }

  // The duration is held as a double, like every running value of the grouping.
  void AddDischarge(double duration_s) {
    const DischargeRow row{tr_,        nIID_,
                           tIID_,      static_cast<long double>(mean_interval_ms_) / 1000,
                           duration_s, nspIntra_};
    AddRow(out_.mean, DischargeTable::kMean, row);
    AddMark(out_.iid_marks, DischargeTable::kMean, kIIDMarkMv);
    if (nspIntra_ > set_.NminSpikes) {
      AddRow(out_.id, DischargeTable::kID, row);
      AddMark(out_.id_marks, DischargeTable::kID, kIDMarkMv);
    }
  }

  const SpikeColumns& spikes_;
  const DischargeSettings set_;
  const int32_t tr_;
  DischargeResult out_;
  int32_t nIID_ = 0;
  bool in_discharge_ = false;
  int32_t nspIntra_ = 1;
  double tIID_ = 0;  // s
  double mean_interval_ms_ = 0;
  double interval_ms_ = 0;
};

}  // namespace

SpikeColumns ColumnsOf(const SpikeTable& spikes) {
  const size_t n = static_cast<size_t>(std::max(spikes.SpikeCount, 0));
  auto column = [n](const SpikeColumn& c) { return std::span<const double>(c.data() + 1, n); };
  return {column(spikes.VT),    column(spikes.tsp),  column(spikes.Vpeak),
          column(spikes.Vrest), column(spikes.Vmin), column(spikes.AHP)};
}

SpikeColumns ColumnsOf(const SpikeRun& run) {
  return {run.VT, run.tsp, run.Vpeak, run.Vrest, run.Vmin, run.AHP};
}

DischargeResult GroupDischarges(const SpikeColumns& spikes, const DischargeSettings& settings,
                                int32_t record, double closing_interval_ms) {
  return Grouping(spikes, settings, record, closing_interval_ms).Run();
}

}  // namespace ictalscope
