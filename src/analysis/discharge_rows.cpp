#include "analysis/discharge_rows.h"

#include "base/format_fixed.h"

namespace ictalscope {
namespace {

void AddInteger(std::string& line, int64_t value) {
  if (!line.empty()) line += ' ';
  line += std::to_string(value);
}

void AddReal(std::string& line, long double value, int decimals) {
  if (!line.empty()) line += ' ';
  line += FormatFixed(value, 0, decimals);
}

void AddVoltages(std::string& line, const SpikeVoltages& v) {
  AddReal(line, v.VT, 2);
  AddReal(line, v.Vpeak, 2);
  AddReal(line, v.Vrest, 2);
  AddReal(line, v.Vr_Vsilent, 2);
  AddReal(line, v.Vmin, 2);
  AddReal(line, v.AHP, 2);
}

}  // namespace

std::string FormatRow(const SpikeRow& row) {
  std::string line;
  AddInteger(line, row.tr);
  AddInteger(line, row.nIID);
  AddReal(line, row.tsp_s, 6);
  AddInteger(line, row.nsp);
  AddVoltages(line, row.v);
  return line;
}

std::string FormatRow(const DischargeSpikeRow& row) {
  std::string line;
  AddInteger(line, row.tr);
  AddInteger(line, row.nIID);
  AddInteger(line, row.nspIntra);
  AddReal(line, row.ISI_s, 3);
  AddReal(line, row.tsp_s, 6);
  AddInteger(line, row.nsp);
  AddVoltages(line, row.v);
  return line;
}

std::string FormatRow(const DischargeRow& row) {
  std::string line;
  AddInteger(line, row.tr);
  AddInteger(line, row.nIID);
  AddReal(line, row.tIID_s, 6);
  AddReal(line, row.ISImean_s, 3);
  AddReal(line, row.Duration_s, 3);
  AddInteger(line, row.nspIntra);
  return line;
}

}  // namespace ictalscope
