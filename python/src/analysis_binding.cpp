// The analyses as pure functions: spike detection, discharge grouping, the statistics of a
// discharge table and the input resistance.

#include <pybind11/stl.h>

#include <string>
#include <vector>

#include "analysis/discharge_grouping.h"
#include "analysis/discharge_summary.h"
#include "analysis/discharge_table_reader.h"
#include "analysis/input_resistance.h"
#include "analysis/spike_detection.h"
#include "base/format_fixed.h"
#include "bindings.h"
#include "python_values.h"

namespace ictalscope::python {

namespace {

py::dict SpikeDict(SpikeRun&& run) {
  py::dict d;
  d["VT"] = ToArray(std::move(run.VT));
  d["tsp"] = ToArray(std::move(run.tsp));
  d["Vpeak"] = ToArray(std::move(run.Vpeak));
  d["tpeak"] = ToArray(std::move(run.tpeak));
  d["Vrest"] = ToArray(std::move(run.Vrest));
  d["Vmin"] = ToArray(std::move(run.Vmin));
  d["AHP"] = ToArray(std::move(run.AHP));
  d["last_end_written"] = run.last_end_written;
  d["table_full"] = run.table_full;
  d["th"] = PointsArray(run.th);
  d["peak"] = PointsArray(run.peak);
  d["V_min"] = PointsArray(run.V_min);
  return d;
}

py::dict DetectSpikesOf(const SampleArray& v, double acq_ms, double dt_Vrest_ms, bool stimulation,
                        double interval_ms, double delay_ms, double duration_ms) {
  const std::span<const double> samples = SamplesOf(v, "v");
  const SpikeSettings settings{dt_Vrest_ms, stimulation, {interval_ms, delay_ms, duration_ms}};
  SpikeRun run;
  {
    py::gil_scoped_release unlocked;
    run = DetectSpikes(samples, acq_ms, settings);
  }
  return SpikeDict(std::move(run));
}

// Voltages in the order of the tables' columns "VT Vpeak Vrest Vr-Vsilent Vmin AHP".
py::tuple Voltages(const SpikeVoltages& v) {
  return py::make_tuple(v.VT, v.Vpeak, v.Vrest, static_cast<double>(v.Vr_Vsilent), v.Vmin, v.AHP);
}

py::tuple RowTuple(const DischargeSpikeRow& r) {
  return py::make_tuple(r.tr, r.nIID, r.nspIntra, static_cast<double>(r.ISI_s),
                        static_cast<double>(r.tsp_s), r.nsp) +
         Voltages(r.v);
}

py::tuple RowTuple(const SpikeRow& r) {
  return py::make_tuple(r.tr, r.nIID, static_cast<double>(r.tsp_s), r.nsp) + Voltages(r.v);
}

py::tuple RowTuple(const DischargeRow& r) {
  return py::make_tuple(r.tr, r.nIID, static_cast<double>(r.tIID_s),
                        static_cast<double>(r.ISImean_s), static_cast<double>(r.Duration_s),
                        r.nspIntra);
}

// A table's header line, its rows as tuples in column order (reals as doubles) and its lines as
// FormatRow writes them from the exact rows.
template <typename Row>
py::dict TableDict(std::string_view header, const std::vector<Row>& rows) {
  py::list tuples;
  py::list lines;
  for (const Row& row : rows) {
    tuples.append(RowTuple(row));
    lines.append(Text(FormatRow(row)));
  }
  py::dict d;
  d["header"] = py::str(std::string(header));
  d["rows"] = tuples;
  d["lines"] = lines;
  return d;
}

std::span<const double> Column(const SampleArray& array, const char* name, size_t count) {
  const std::span<const double> column = SamplesOf(array, name);
  if (column.size() != count) {
    throw py::value_error(std::string("the column ") + name + " holds " +
                          std::to_string(column.size()) + " values, tsp " + std::to_string(count));
  }
  return column;
}

py::dict GroupDischargesOf(const SampleArray& VT, const SampleArray& tsp, const SampleArray& Vpeak,
                           const SampleArray& Vrest, const SampleArray& Vmin,
                           const SampleArray& AHP, double ISImax_ms, double NminSpikes,
                           double Vsilent_mV, bool time_through_traces, int32_t record,
                           double closing_interval_ms) {
  const size_t n = SamplesOf(tsp, "tsp").size();
  const SpikeColumns columns{Column(VT, "VT", n),       Column(tsp, "tsp", n),
                             Column(Vpeak, "Vpeak", n), Column(Vrest, "Vrest", n),
                             Column(Vmin, "Vmin", n),   Column(AHP, "AHP", n)};
  const DischargeSettings settings{ISImax_ms, NminSpikes, Vsilent_mV, time_through_traces};
  const DischargeResult result = GroupDischarges(columns, settings, record, closing_interval_ms);
  py::dict d;
  d["IID"] = TableDict(kDischargeSpikeHeader, result.iid);
  d["mean"] = TableDict(kDischargeHeader, result.mean);
  d["ID"] = TableDict(kDischargeHeader, result.id);
  d["_sp"] = TableDict(kSpikeHeader, result.sp);
  d["_1sp"] = TableDict(kSpikeHeader, result.one_sp);
  d["iid_marks"] = PointsArray(result.iid_marks);
  d["id_marks"] = PointsArray(result.id_marks);
  d["closing_interval_ms"] = result.closing_interval_ms;
  return d;
}

std::vector<Discharge> DischargesOf(const std::vector<std::vector<double>>& rows) {
  std::vector<Discharge> discharges;
  for (const std::vector<double>& row : rows) {
    if (row.size() != 6) {
      throw py::value_error(
          "a discharge has 6 values (tr, nIID, tIID, ISImean, Duration, Nsp), "
          "not " +
          std::to_string(row.size()));
    }
    discharges.push_back({row[0], row[1], row[2], row[3], row[4], row[5]});
  }
  return discharges;
}

py::tuple MeanAndSemOf(const MeanAndSem& m) {
  return py::make_tuple(static_cast<double>(m.mean), static_cast<double>(m.sem));
}

// The numbers and the lines that "stat" writes: without the ratio, the first header line alone,
// as the file holds it after the division's fault.
py::dict SummaryDict(const std::vector<std::vector<double>>& rows) {
  const std::vector<Discharge> discharges = DischargesOf(rows);
  const DischargeSummary summary = SummariseDischarges(discharges);
  py::dict d;
  d["count"] = summary.count;
  d["inter_id"] = ToArray(std::vector<double>(summary.inter_id));
  d["inter"] = MeanAndSemOf(summary.inter);
  d["intra"] = MeanAndSemOf(summary.intra);
  d["duration"] = MeanAndSemOf(summary.duration);
  d["spikes"] = MeanAndSemOf(summary.spikes);
  py::list lines;
  lines.append(kSummaryHeader);
  if (summary.last_over_first) {
    d["last_over_first"] = static_cast<double>(*summary.last_over_first);
    lines.append(Text(SummaryLine(summary)));
    lines.append(kDischargeLinesHeader);
    for (const std::string& line : DischargeLines(discharges, summary)) lines.append(Text(line));
  } else {
    d["last_over_first"] = py::none();
  }
  d["ratio_fault"] = Text(summary.ratio_fault);
  d["lines"] = lines;
  return d;
}

py::list DischargeTableOf(const std::string& path) {
  py::list rows;
  for (const Discharge& d : ReadDischargeTable(path)) {
    rows.append(py::make_tuple(d.tr, d.number, d.tIID, d.ISImean, d.Duration, d.Nsp));
  }
  return rows;
}

// The columns of the steps and the lines of the "Rin" file: n_step, t in s and the voltages and
// Rin with 3 decimals.
py::dict InputResistanceOf(const SampleArray& v, double acq_ms, const SampleArray& onsets_ms) {
  const std::span<const double> samples = SamplesOf(v, "v");
  const std::span<const double> onsets = SamplesOf(onsets_ms, "spike_times");
  std::vector<RinStep> steps;
  {
    py::gil_scoped_release unlocked;
    steps = MeasureInputResistance(samples, acq_ms, onsets);
  }
  std::vector<double> t, vrest, v1, rin;
  py::list lines;
  lines.append("n_step t Vrest V1 Rin");
  for (size_t m = 0; m < steps.size(); ++m) {
    const RinStep& s = steps[m];
    t.push_back(s.t);
    vrest.push_back(s.Vrest);
    v1.push_back(s.V1);
    rin.push_back(s.Rin);
    lines.append(std::to_string(m + 1) + ' ' + FormatFixed(s.t / 1000.0L, 0, 3) + ' ' +
                 FormatFixed(s.Vrest, 0, 3) + ' ' + FormatFixed(s.V1, 0, 3) + ' ' +
                 FormatFixed(s.Rin, 0, 3));
  }
  py::dict d;
  d["t"] = ToArray(std::move(t));
  d["Vrest"] = ToArray(std::move(vrest));
  d["V1"] = ToArray(std::move(v1));
  d["Rin"] = ToArray(std::move(rin));
  d["lines"] = lines;
  return d;
}

}  // namespace

void BindAnalysis(py::module_& m) {
  m.def("detect_spikes", &DetectSpikesOf, py::arg("v"), py::arg("acq_ms"), py::arg("dt_Vrest_ms"),
        py::arg("stimulation"), py::arg("interval_ms"), py::arg("delay_ms"), py::arg("duration_ms"),
        "The spikes of one record, as a dict of columns and markers.");
  m.def("group_discharges", &GroupDischargesOf, py::arg("VT"), py::arg("tsp"), py::arg("Vpeak"),
        py::arg("Vrest"), py::arg("Vmin"), py::arg("AHP"), py::arg("ISImax_ms"),
        py::arg("NminSpikes"), py::arg("Vsilent_mV"), py::arg("time_through_traces"),
        py::arg("record"), py::arg("closing_interval_ms"),
        "The five discharge tables of one record, their markers and the closing interval.");
  m.def("summarise_discharges", &SummaryDict, py::arg("discharges"),
        "The statistics of discharges given as (tr, nIID, tIID, ISImean, Duration, Nsp).");
  m.def("read_discharge_table", &DischargeTableOf, py::arg("path"),
        "The discharges of a table file, as (tr, nIID, tIID, ISImean, Duration, Nsp) tuples.");
  m.def("input_resistance", &InputResistanceOf, py::arg("v"), py::arg("acq_ms"),
        py::arg("spike_times"), "The steps of the input-resistance protocol.");
  m.def(
      "format_fixed",
      [](double x, int width, int decimals) { return FormatFixed(x, width, decimals); },
      py::arg("x"), py::arg("width"), py::arg("decimals"),
      "x in fixed point as the tables write numbers.");
}

}  // namespace ictalscope::python
