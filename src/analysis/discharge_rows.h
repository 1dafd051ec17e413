#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "analysis/spike_table.h"

namespace ictalscope {

// The lines of the five discharge tables: columns separated by one blank, integers in plain
// decimal, reals by FormatFixed with width 0 and the decimals of their column.

inline constexpr std::string_view kSpikeHeader =
    "tr nIID tsp,s nsp VT Vpeak Vrest Vr-Vsilent Vmin AHP";
inline constexpr std::string_view kDischargeSpikeHeader =
    "tr nIID nspIntra ISI tsp,s nsp VT Vpeak Vrest Vr-Vsilent Vmin AHP";
inline constexpr std::string_view kDischargeHeader = "tr nIID tIID,s ISImean,s Duration,s nspIntra";

// A row of "_sp" and "_1sp": spike k at `tsp_s` (already offset when times run through traces).
std::string SpikeRow(int32_t tr, int32_t nIID, long double tsp_s, int32_t k,
                     const SpikeTable& spikes, double Vsilent);

// A row of "IID": spike k, the `nspIntra`-th of discharge nIID, `isi_s` after its predecessor.
std::string DischargeSpikeRow(int32_t tr, int32_t nIID, int32_t nspIntra, long double isi_s,
                              int32_t k, const SpikeTable& spikes, double Vsilent);

// A DischargeTable row of "mean" and "ID".
std::string DischargeRow(int32_t tr, int32_t nIID, long double tIID_s, long double isi_mean_s,
                         long double duration_s, int32_t nspIntra);

}  // namespace ictalscope
