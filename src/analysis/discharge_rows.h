#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ictalscope {

// The rows of the five discharge tables as numbers, and their lines: columns separated by one
// blank, integers in plain decimal, reals by FormatFixed with width 0 and the decimals of
// their column. Times in s, voltages in mV.

inline constexpr std::string_view kSpikeHeader =
    "tr nIID tsp,s nsp VT Vpeak Vrest Vr-Vsilent Vmin AHP";
inline constexpr std::string_view kDischargeSpikeHeader =
    "tr nIID nspIntra ISI tsp,s nsp VT Vpeak Vrest Vr-Vsilent Vmin AHP";
inline constexpr std::string_view kDischargeHeader = "tr nIID tIID,s ISImean,s Duration,s nspIntra";

// "VT Vpeak Vrest Vr-Vsilent Vmin AHP" of one spike (2 decimals each).
struct SpikeVoltages {
  double VT = 0;
  double Vpeak = 0;
  double Vrest = 0;
  long double Vr_Vsilent = 0;  // Vrest - Vsilent
  double Vmin = 0;
  double AHP = 0;
};

// A row of "_sp" and "_1sp".
struct SpikeRow {
  int32_t tr = 0;
  int32_t nIID = 0;       // the last discharge opened before this spike's pair
  long double tsp_s = 0;  // 6 decimals; plus 300 s a record when times run through traces
  int32_t nsp = 0;        // the spike's number in the record
  SpikeVoltages v;
};

// A row of "IID": a spike of a discharge.
struct DischargeSpikeRow {
  int32_t tr = 0;
  int32_t nIID = 0;
  int32_t nspIntra = 0;   // its place in the discharge, from 1
  long double ISI_s = 0;  // 3 decimals
  long double tsp_s = 0;  // 6 decimals, never offset
  int32_t nsp = 0;
  SpikeVoltages v;
};

// A row of "mean" and "ID": one discharge.
struct DischargeRow {
  int32_t tr = 0;
  int32_t nIID = 0;
  long double tIID_s = 0;      // 6 decimals
  long double ISImean_s = 0;   // 3 decimals
  long double Duration_s = 0;  // 3 decimals
  int32_t nspIntra = 0;        // its spikes
};

std::string FormatRow(const SpikeRow& row);
std::string FormatRow(const DischargeSpikeRow& row);
std::string FormatRow(const DischargeRow& row);

}  // namespace ictalscope
