#pragma once

#include <string>

#include "analysis/analyses.h"
#include "recording/workspace.h"

namespace ictalscope {

// The one line that the front ends show after a handler has run: the batch tool on standard
// error, the window in its status bar.
//   load: 1.wcp record 2 of 6, 7169 samples at 0.0625 ms (classic layout)
//   spikes: 47 spikes
//   iid: 1 discharge, 1 of them ID; rows written: 47 to 1IID, 1 to 1mean, 1 to 1ID, 46 to
//        1_sp, 1 to 1_1sp
//   stat: 2 ID discharges from 1ID into 1IDm
//   rin: 3 steps into 1Rin

// `verb` is "load", "reload" or "two-traces": the record that the trace now holds.
std::string RecordStatus(const std::string& verb, const Workspace& ws);
std::string SpikesStatus(const SpikeTable& spikes);
std::string IidStatus(const IidSummary& summary);
// `read` tells whether "read" chose the table (any discharges) or the ID table was read.
std::string StatStatus(const StatSummary& summary, bool read);
std::string RinStatus(const RinSummary& summary);
// The tau handler and the "Stimulation" handler.
std::string TauStatus(const Workspace& ws);
std::string StimulationStatus(const Workspace& ws);

}  // namespace ictalscope
