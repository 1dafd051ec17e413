#pragma once

#include <string>
#include <vector>

namespace ictalscope {

// One row of a DischargeTable, the columns in file order.
struct Discharge {
  double tr = 0;        // record number
  double number = 0;    // discharge number within its record; not used by the statistics
  double tIID = 0;      // onset in s within its record
  double ISImean = 0;   // mean interval within the discharge, s
  double Duration = 0;  // s
  double Nsp = 0;       // number of spikes
};

// Reads a discharge table: the first line is skipped whatever it holds; then the file is read as
// a stream of numbers separated by characters of code 32 or below, six reals per discharge,
// the rest of the line after the sixth skipped. A discharge starts only where a number starts,
// so blanks and empty lines after the last row add nothing, while a row cut short by the end of
// the file is "Invalid numeric input", as is a token that is no number. A missing file is "File
// not found". A table may hold any number of discharges.
std::vector<Discharge> ReadDischargeTable(const std::string& path);

}  // namespace ictalscope
