#include "analysis/discharge_rows.h"

#include "panel/format_fixed.h"

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

// "VT Vpeak Vrest Vr-Vsilent Vmin AHP" of spike k, 2 decimals each.
void AddVoltages(std::string& line, int32_t k, const SpikeTable& spikes, double Vsilent) {
  AddReal(line, spikes.VT[k], 2);
  AddReal(line, spikes.Vpeak[k], 2);
  AddReal(line, spikes.Vrest[k], 2);
  AddReal(line, static_cast<long double>(spikes.Vrest[k]) - Vsilent, 2);
  AddReal(line, spikes.Vmin[k], 2);
  AddReal(line, spikes.AHP[k], 2);
}

}  // namespace

std::string SpikeRow(int32_t tr, int32_t nIID, long double tsp_s, int32_t k,
                     const SpikeTable& spikes, double Vsilent) {
  std::string line;
  AddInteger(line, tr);
  AddInteger(line, nIID);
  AddReal(line, tsp_s, 6);
  AddInteger(line, k);
  AddVoltages(line, k, spikes, Vsilent);
  return line;
}

std::string DischargeSpikeRow(int32_t tr, int32_t nIID, int32_t nspIntra, long double isi_s,
                              int32_t k, const SpikeTable& spikes, double Vsilent) {
  std::string line;
  AddInteger(line, tr);
  AddInteger(line, nIID);
  AddInteger(line, nspIntra);
  AddReal(line, isi_s, 3);
  AddReal(line, static_cast<long double>(spikes.tsp[k]) / 1000, 6);
  AddInteger(line, k);
  AddVoltages(line, k, spikes, Vsilent);
  return line;
}

std::string DischargeRow(int32_t tr, int32_t nIID, long double tIID_s, long double isi_mean_s,
                         long double duration_s, int32_t nspIntra) {
  std::string line;
  AddInteger(line, tr);
  AddInteger(line, nIID);
  AddReal(line, tIID_s, 6);
  AddReal(line, isi_mean_s, 3);
  AddReal(line, duration_s, 3);
  AddInteger(line, nspIntra);
  return line;
}

}  // namespace ictalscope
