#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "analysis/discharge_table_reader.h"

namespace ictalscope {

struct MeanAndSem {
  long double mean = 0;
  long double sem = 0;  // the population standard deviation divided by sqrt(count)
};

// The summary of a table of discharges (k = 1 .. n in table order, several records allowed):
//   InterID(k) = (tr(k+1) - tr(k) - 1) * 300 + tIID(k+1) + (300 - tIID(k))   for k < n,
// the time from one onset to the next with every record counting as 300 s, and for each of
// InterID (n - 1 values), ISImean, Duration and Nsp (n values each)
//   mean = sum / count,   sem = sqrt(sum of (value - mean)^2) / count.
// Sums, means and standard errors are carried in extended precision; InterID is kept as a
// double, like the columns read.
struct DischargeSummary {
  size_t count = 0;              // N_ID
  std::vector<double> inter_id;  // InterID(1 .. n - 1), s
  MeanAndSem inter;              // InterIDm, InterIDsem
  MeanAndSem intra;              // IntraIDm, IntraIDsem: of ISImean
  MeanAndSem duration;           // Durm, Dursem
  MeanAndSem spikes;             // Nspm, NSpsem
  // Nsplast/Nsp1; nothing when Nsp(1) is 0, and `ratio_fault` then holds the message of the
  // division ("Floating point division by zero", or "Invalid floating point operation" for 0/0).
  std::optional<long double> last_over_first;
  std::string ratio_fault;
};

// Throws Error("stat needs at least two discharges: the table holds N") below two discharges.
DischargeSummary SummariseDischarges(std::span<const Discharge> discharges);

// The lines of the statistics file ("stat" writes them in this order): the first header line,
// the summary line, the second header line, then one line per discharge.
inline constexpr const char* kSummaryHeader =
    "N_ID InterIDm InterIDsem IntraIDm IntraIDsem Durm Dursem Nspm NSpsem Nsplast/Nsp1";
inline constexpr const char* kDischargeLinesHeader = "N_ID InterID IntraID Dur Nsp";
std::string SummaryLine(const DischargeSummary& summary);  // needs last_over_first
std::vector<std::string> DischargeLines(std::span<const Discharge> discharges,
                                        const DischargeSummary& summary);

}  // namespace ictalscope
