#include "analysis/discharge_summary.h"

#include <cmath>
#include <initializer_list>

#include "base/error.h"
#include "base/format_fixed.h"
#include "recording/float_ops.h"

namespace ictalscope {

namespace {

MeanAndSem Summarise(const std::vector<double>& values) {
  const long double count = static_cast<long double>(values.size());
  long double sum = 0;
  for (double x : values) sum += x;
  const long double mean = Divide(sum, count);
  long double squares = 0;
  for (double x : values) squares += (x - mean) * (x - mean);
  return {mean, Divide(std::sqrt(squares), count)};
}

std::vector<double> InterIDs(std::span<const Discharge> d) {
  std::vector<double> intervals;
  for (size_t k = 0; k + 1 < d.size(); ++k) {
    const long double records_between = static_cast<long double>(d[k + 1].tr) - d[k].tr - 1;
    const long double rest_of_record = 300 - static_cast<long double>(d[k].tIID);
    intervals.push_back(
        static_cast<double>(records_between * 300 + d[k + 1].tIID + rest_of_record));
  }
  return intervals;
}

template <typename Member>
std::vector<double> Column(std::span<const Discharge> d, Member member) {
  std::vector<double> values;
  for (const Discharge& row : d) values.push_back(row.*member);
  return values;
}

std::string JoinFields(std::initializer_list<std::string> fields) {
  std::string line;
  for (const std::string& field : fields) {
    if (!line.empty()) line += ' ';
    line += field;
  }
  return line;
}

std::string Fixed2(long double x) { return FormatFixed(x, 0, 2); }

}  // namespace

DischargeSummary SummariseDischarges(std::span<const Discharge> d) {
  // The mean interval between discharges has no value below two discharges.
  if (d.size() < 2) {
    throw Error("stat needs at least two discharges: the table holds " + std::to_string(d.size()));
  }
  DischargeSummary summary;
  summary.count = d.size();
  summary.inter_id = InterIDs(d);
  summary.inter = Summarise(summary.inter_id);
  summary.intra = Summarise(Column(d, &Discharge::ISImean));
  summary.duration = Summarise(Column(d, &Discharge::Duration));
  summary.spikes = Summarise(Column(d, &Discharge::Nsp));
  try {
    summary.last_over_first = Divide(d.back().Nsp, d.front().Nsp);
  } catch (const Error& fault) {
    summary.ratio_fault = fault.message();
  }
  return summary;
}

std::string SummaryLine(const DischargeSummary& s) {
  return JoinFields({std::to_string(s.count), Fixed2(s.inter.mean), Fixed2(s.inter.sem),
                     Fixed2(s.intra.mean), Fixed2(s.intra.sem), Fixed2(s.duration.mean),
                     Fixed2(s.duration.sem), Fixed2(s.spikes.mean), Fixed2(s.spikes.sem),
                     FormatFixed(*s.last_over_first, 0, 3)});
}

std::vector<std::string> DischargeLines(std::span<const Discharge> d,
                                        const DischargeSummary& summary) {
  std::vector<std::string> lines;
  for (size_t k = 0; k < d.size(); ++k) {
    const double interval = k < summary.inter_id.size() ? summary.inter_id[k] : 0.0;
    lines.push_back(JoinFields({std::to_string(k + 1), Fixed2(interval), Fixed2(d[k].ISImean),
                                Fixed2(d[k].Duration), FormatFixed(d[k].Nsp, 0, 0)}));
  }
  return lines;
}

}  // namespace ictalscope
