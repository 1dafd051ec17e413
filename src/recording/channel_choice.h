#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ictalscope {

// A channel of a recording as its header names it.
struct ChannelInfo {
  std::string name;
  std::string unit;  // Latin-1 bytes as in the file
};

enum class UnitKind { kMillivolt, kVolt, kMicrovolt, kCurrent, kOther };

// "mV"; "V"; "µV" (the micro sign in Latin-1 or UTF-8, or "uV"); a unit ending in "A" (pA, nA,
// µA, A) is a current. Exact spelling: "MV" or "mv" is no voltage unit.
UnitKind ClassifyUnit(std::string_view unit);
bool IsVoltageUnit(std::string_view unit);
// Millivolts per unit of a voltage channel: 1 for mV, 1000 for V, 0.001 for µV; 1 otherwise.
long double MillivoltsPerUnit(std::string_view unit);

// The channel whose samples become the trace, counted from 0.
struct ChannelChoice {
  int index = 0;
  bool voltage_found = true;  // false: the channel is in no voltage unit
  bool requested = false;     // chosen by the Channel field rather than by its unit
};

// The analysed channel: `requested` (the Channel field, channels counted from 1) when it is 1
// or more; otherwise the first channel in mV, then the first in V or µV, else channel 1.
// A requested channel beyond the last throws Error("Channel N does not exist: FILE has C
// channels"). `channels` is not empty.
ChannelChoice ChooseChannel(const std::vector<ChannelInfo>& channels, double requested,
                            const std::string& file);

// The first channel whose unit is a current (for CalibI), or -1.
int FirstCurrentChannel(const std::vector<ChannelInfo>& channels);

}  // namespace ictalscope
