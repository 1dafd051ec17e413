#include "analysis/discharge_table_reader.h"

#include <optional>

#include "base/error.h"
#include "recording/number_stream.h"

namespace ictalscope {

namespace {

Discharge ReadDischarge(double tr, NumberStream& in) {
  Discharge d;
  d.tr = tr;
  for (double* column : {&d.number, &d.tIID, &d.ISImean, &d.Duration, &d.Nsp}) {
    *column = in.RequiredNumber();
  }
  return d;
}

}  // namespace

std::vector<Discharge> ReadDischargeTable(const std::string& path) {
  NumberStream in(path);
  in.SkipLine();
  std::vector<Discharge> discharges;
  // A discharge begins with its first number; blanks after the last line add none.
  while (std::optional<double> tr = in.NextNumber()) {
    discharges.push_back(ReadDischarge(*tr, in));
    in.SkipLine();
  }
  return discharges;
}

}  // namespace ictalscope
