#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "batch/experiment_provenance.h"

namespace ictalscope {

inline constexpr const char* kSummaryFile = "summary.csv";

// One recording's run: its output folder relative to the experiment's folder, and what its
// provenance holds.
struct SummaryRun {
  std::string folder;
  Provenance provenance;
};

// The summary of the runs as CSV (RFC 4180: a header row, fields quoted when they hold a comma,
// a quote, a line end or blanks at either end, rows ended by LF): one row per run and record,
// with the figures the actions kept for that record (the last action that kept each wins), and
// the summary line of the run's last "stat" repeated on each of its rows. A run without record
// figures has one row with an empty record. Rows in folder, then record order; empty fields for
// what was not measured.
//   recording, folder, status (ok/failed), record, samples, sampling_interval_ms, spikes,
//   iid_discharges, id_discharges, mean_isi_s, stat_N_ID, stat_InterIDm, stat_InterIDsem,
//   stat_IntraIDm, stat_IntraIDsem, stat_Durm, stat_Dursem, stat_Nspm, stat_NSpsem,
//   stat_Nsplast_Nsp1
// `rows`, when given, receives the number of rows below the header.
std::string SummaryCsv(std::vector<SummaryRun> runs, size_t* rows = nullptr);

// The runs below `dir`: every provenance.json that reads as one, in folders that do not begin
// with "." (those of runs not finished). Unreadable ones are named in `unreadable`.
std::vector<SummaryRun> FindRuns(const std::filesystem::path& dir,
                                 std::vector<std::string>* unreadable = nullptr);

// Rewrites dir/summary.csv from the runs below `dir` (written beside, then renamed); the number
// of rows. Throws std::filesystem::filesystem_error when it cannot be written.
size_t WriteSummary(const std::filesystem::path& dir,
                    std::vector<std::string>* unreadable = nullptr);

}  // namespace ictalscope
