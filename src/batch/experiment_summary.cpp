#include "batch/experiment_summary.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <map>
#include <optional>
#include <system_error>

#include "analysis/discharge_summary.h"
#include "batch/experiment_json.h"

namespace ictalscope {

namespace fs = std::filesystem;

namespace {

// The names of the columns of the "stat" summary line, as its header line gives them.
std::vector<std::string> StatNames() {
  std::vector<std::string> names;
  const std::string header = kSummaryHeader;
  size_t start = 0;
  while (start < header.size()) {
    const size_t blank = std::min(header.find(' ', start), header.size());
    if (blank > start) names.push_back(header.substr(start, blank - start));
    start = blank + 1;
  }
  return names;
}

// A column name that R and pandas take as it is: letters, digits and underscores.
std::string ColumnName(const std::string& name) {
  std::string column;
  for (char c : name) {
    const bool word = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    column += word ? c : '_';
  }
  return column;
}

std::string Field(const std::string& text) {
  const bool quote = text.find_first_of(",\"\r\n") != std::string::npos ||
                     (!text.empty() && (text.front() == ' ' || text.back() == ' ' ||
                                        text.front() == '\t' || text.back() == '\t'));
  if (!quote) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

template <typename T>
std::string Integer(const std::optional<T>& value) {
  return value ? std::to_string(*value) : "";
}

// The fewest digits that read back as the same double.
std::string Shortest(const std::optional<double>& value) { return value ? JsonNumber(*value) : ""; }

std::string Real(const std::optional<double>& value, const char* format) {
  if (!value) return "";
  char text[64];
  std::snprintf(text, sizeof text, format, *value);
  return text;
}

// The record figures of a run: each figure as the last action that kept it left it.
std::map<int32_t, RecordFigures> MergedRecords(const Provenance& p) {
  std::map<int32_t, RecordFigures> merged;
  for (const ActionProvenance& action : p.actions) {
    for (const RecordFigures& r : action.records) {
      RecordFigures& m = merged[r.record];
      m.record = r.record;
      if (r.samples) m.samples = r.samples;
      if (r.interval_ms) m.interval_ms = r.interval_ms;
      if (r.spikes) m.spikes = r.spikes;
      if (r.iid_discharges) {
        m.iid_discharges = r.iid_discharges;
        m.id_discharges = r.id_discharges;
        m.mean_isi_s = r.mean_isi_s;
      }
    }
  }
  return merged;
}

const std::vector<std::pair<std::string, std::string>>* LastStat(const Provenance& p) {
  const std::vector<std::pair<std::string, std::string>>* stat = nullptr;
  for (const ActionProvenance& action : p.actions) {
    if (!action.stat.empty()) stat = &action.stat;
  }
  return stat;
}

}  // namespace

std::string SummaryCsv(std::vector<SummaryRun> runs, size_t* rows) {
  if (rows != nullptr) *rows = 0;
  std::sort(runs.begin(), runs.end(),
            [](const SummaryRun& a, const SummaryRun& b) { return a.folder < b.folder; });
  const std::vector<std::string> stat_names = StatNames();
  std::string csv =
      "recording,folder,status,record,samples,sampling_interval_ms,spikes,iid_discharges,"
      "id_discharges,mean_isi_s";
  for (const std::string& name : stat_names) csv += ",stat_" + ColumnName(name);
  csv += '\n';
  for (const SummaryRun& run : runs) {
    const Provenance& p = run.provenance;
    std::string stat_fields;
    const auto* stat = LastStat(p);
    for (const std::string& name : stat_names) {
      std::string value;
      if (stat != nullptr) {
        for (const auto& [key, text] : *stat) {
          if (key == name) value = text;
        }
      }
      stat_fields += "," + Field(value);
    }
    const std::string lead = Field(p.recording.path) + "," + Field(run.folder) + "," +
                             (p.failed ? "failed" : "ok") + ",";
    std::map<int32_t, RecordFigures> records = MergedRecords(p);
    if (records.empty()) {
      csv += lead + ",,,,,," + stat_fields + '\n';
      if (rows != nullptr) ++*rows;
      continue;
    }
    for (const auto& [number, r] : records) {
      csv += lead + std::to_string(number) + "," + Integer(r.samples) + "," +
             Shortest(r.interval_ms) + "," + Integer(r.spikes) + "," + Integer(r.iid_discharges) +
             "," + Integer(r.id_discharges) + "," + Real(r.mean_isi_s, "%.6f") + stat_fields + '\n';
      if (rows != nullptr) ++*rows;
    }
  }
  return csv;
}

std::vector<SummaryRun> FindRuns(const fs::path& dir, std::vector<std::string>* unreadable) {
  std::vector<SummaryRun> runs;
  std::error_code error;
  fs::recursive_directory_iterator it(dir, error);
  for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (it->is_directory(error)) {
      if (!name.empty() && name.front() == '.') it.disable_recursion_pending();
      continue;
    }
    if (name != kProvenanceFile) continue;
    const fs::path folder = it->path().parent_path();
    std::optional<Provenance> provenance = ReadProvenance(folder);
    const std::string relative = folder.lexically_relative(dir).generic_string();
    if (!provenance) {
      if (unreadable != nullptr) unreadable->push_back(it->path().string());
      continue;
    }
    runs.push_back({relative, std::move(*provenance)});
  }
  return runs;
}

size_t WriteSummary(const fs::path& dir, std::vector<std::string>* unreadable) {
  const std::vector<SummaryRun> runs = FindRuns(dir, unreadable);
  size_t rows = 0;
  const std::string csv = SummaryCsv(runs, &rows);
  const fs::path part = dir / (std::string(".") + kSummaryFile + ".partial");
  {
    std::ofstream out(part, std::ios::binary | std::ios::trunc);
    out << csv;
    out.close();
    if (!out) {
      throw fs::filesystem_error("cannot write", part,
                                 std::error_code(errno, std::generic_category()));
    }
  }
  fs::rename(part, dir / kSummaryFile);
  return rows;
}

}  // namespace ictalscope
