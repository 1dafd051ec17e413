#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "recording/trace.h"

namespace ictalscope {

// Reads a text trace into `trace`: 10 header lines, then a stream of numbers, three per sample
// (time in ms, an unused value, voltage in mV). Numbers are separated by any character of code
// 32 or below and may cross line ends; after the third number of a sample the rest of its line
// is skipped. A line ends at CR LF, LF or a CR alone.
//   - V[k] := voltage of sample k; LastIndex := number of samples - 1, set at the end.
//   - At sample 3: AcqTime := t(3) - t(2) (long double, stored double); fewer samples leave it.
//   - A sample counts only when its three numbers are read: blanks after the last one add
//     nothing, and data that end after one or two numbers of a sample throw "Invalid numeric
//     input", as does a token that is not a number.
//   - More than 10,000,001 samples: the rest is counted, nothing is stored past the array, and
//     Error("Record too long: N samples (at most 10000001)") is thrown.
// The file is closed on return and on failure. Returns nothing; failures throw Error.
void ReadTextTrace(const std::string& path, Trace& trace);

// The same reading into plain data: the samples, and the interval when there are 4 or more.
struct TextSamples {
  std::vector<double> v;
  std::optional<double> interval_ms;
};
TextSamples ReadTextSamples(const std::string& path);

}  // namespace ictalscope
