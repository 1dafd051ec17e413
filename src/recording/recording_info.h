#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "recording/channel_choice.h"

namespace ictalscope {

enum class RecordingFormat { kText, kWcp, kAbf };

// "text", "wcp", "abf": as the state JSON names the formats.
std::string_view FormatName(RecordingFormat format);

// What a load found in the recording it read: shown in the header label and the window's
// title, and printed by the batch tool's state.
struct RecordingInfo {
  RecordingFormat format = RecordingFormat::kText;
  std::string file;     // the file's name as found: "1.wcp"
  std::string version;  // "9" ("VER="), "2.6.0.0", "1.83"; empty for a text trace
  std::string mode;     // the acquisition mode of an ABF file: "episodic stimulation", ...
  std::string layout;   // .wcp: "classic" or "header"; empty otherwise
  int32_t records = 0;  // the records (sweeps) the file holds
  std::vector<ChannelInfo> channels;
  int analysed_channel = 0;        // from 0
  bool voltage_found = true;       // false: the analysed channel is in no voltage unit
  bool channel_requested = false;  // the Channel field chose it
  double interval_ms = 0;          // per sample
  int32_t record = 0;              // the record loaded, from 1; 0 while none is
};

// The line that the header label shows first, for example
//   WCP 9, classic layout: 6 records at 0.0625 ms; channels: 1 Vm (mV) analysed, 2 Im (pA)
//   ABF 2.6.0.0, episodic stimulation: 16 sweeps at 0.05 ms; channels: 1 IN 0 (mV) analysed
// and, when the analysed channel is in no voltage unit, "; no voltage channel found" (or, when
// the Channel field chose it, "; channel N is in no voltage unit").
std::string RecordingSummary(const RecordingInfo& info);

// The recording and record as the window's title names them: "1.wcp, record 2 of 6", or the
// file alone while no record of it is loaded.
std::string RecordingTitle(const RecordingInfo& info);

// The name of an ABF operation mode: 1 "event-driven", 2 "fixed-length events", 3 "gap-free",
// 4 "high-speed oscilloscope", 5 "episodic stimulation".
std::string AbfModeName(int operation_mode);

}  // namespace ictalscope
