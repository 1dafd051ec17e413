// "stat": summarises a discharge table into the file named after it with "m" appended.
//
// For the discharges k = 1..n of the table (file order, several records allowed):
//   InterID(k) = (tr(k+1) - tr(k) - 1) * 300 + tIID(k+1) + (300 - tIID(k))   for k < n,
// the time from one onset to the next with every record counting as 300 s. Each of InterID
// (n - 1 values), ISImean, Duration and Nsp (n values each) is summarised by
//   mean = sum / count,   sem = sqrt(sum of (value - mean)^2) / count,
// that is the population standard deviation divided by sqrt(count). Sums, means and standard
// errors are carried in extended precision; InterID is kept as a double, like the columns read.

#include <cmath>
#include <initializer_list>
#include <string>
#include <vector>

#include "analysis/analyses.h"
#include "analysis/discharge_table_reader.h"
#include "panel/error.h"
#include "panel/format_fixed.h"
#include "recording/float_ops.h"
#include "recording/text_output.h"

namespace ictalscope {

namespace {

struct MeanAndSem {
  long double mean;
  long double sem;
};

MeanAndSem Summarise(const std::vector<double>& values) {
  const long double count = static_cast<long double>(values.size());
  long double sum = 0;
  for (double x : values) sum += x;
  const long double mean = Divide(sum, count);
  long double squares = 0;
  for (double x : values) squares += (x - mean) * (x - mean);
  return {mean, Divide(std::sqrt(squares), count)};
}

std::vector<double> InterIDs(const std::vector<Discharge>& d) {
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
std::vector<double> Column(const std::vector<Discharge>& d, Member member) {
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

void WriteSummary(TextOutput& out, const std::vector<Discharge>& d,
                  const std::vector<double>& inter_id) {
  const MeanAndSem inter = Summarise(inter_id);
  const MeanAndSem intra = Summarise(Column(d, &Discharge::ISImean));
  const MeanAndSem dur = Summarise(Column(d, &Discharge::Duration));
  const MeanAndSem nsp = Summarise(Column(d, &Discharge::Nsp));
  out.WriteLine(
      "N_ID InterIDm InterIDsem IntraIDm IntraIDsem Durm Dursem Nspm NSpsem Nsplast/Nsp1");
  // The ratio is formed once the output exists and holds its first header line: a table whose
  // first discharge has no spike leaves that file with the header line and no summary line.
  const long double ratio = Divide(d.back().Nsp, d.front().Nsp);
  out.WriteLine(
      JoinFields({std::to_string(d.size()), Fixed2(inter.mean), Fixed2(inter.sem),
                  Fixed2(intra.mean), Fixed2(intra.sem), Fixed2(dur.mean), Fixed2(dur.sem),
                  Fixed2(nsp.mean), Fixed2(nsp.sem), FormatFixed(ratio, 0, 3)}));
}

void WriteDischarges(TextOutput& out, const std::vector<Discharge>& d,
                     const std::vector<double>& inter_id) {
  out.WriteLine("N_ID InterID IntraID Dur Nsp");
  for (size_t k = 0; k < d.size(); ++k) {
    const double interval = k < inter_id.size() ? inter_id[k] : 0.0;
    out.WriteLine(JoinFields({std::to_string(k + 1), Fixed2(interval), Fixed2(d[k].ISImean),
                              Fixed2(d[k].Duration), FormatFixed(d[k].Nsp, 0, 0)}));
  }
}

}  // namespace

StatSummary RunStat(Workspace& ws, const AnalysisState& state) {
  const std::string input =
      ws.panel.IsChecked(Check::Read) ? ws.panel.NameBoxText() : state.ResultBaseName + "ID";
  const std::vector<Discharge> discharges = ReadDischargeTable(input);
  // The mean interval between discharges has no value below two discharges.
  if (discharges.size() < 2) {
    throw Error("stat needs at least two discharges: " + input + " holds " +
                std::to_string(discharges.size()));
  }
  const std::vector<double> inter_id = InterIDs(discharges);

  TextOutput out(input + "m", TextOutput::Mode::kCreate);
  WriteSummary(out, discharges, inter_id);
  WriteDischarges(out, discharges, inter_id);
  out.Close();
  return {input, input + "m", discharges.size()};
}

}  // namespace ictalscope
