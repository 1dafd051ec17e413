#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "recording/recording_info.h"
#include "recording/sample_vector.h"

namespace ictalscope {

// A recording opened for reading its records as plain data, without a panel or a chart: what a
// load in a fresh window would read. The file is found by its name as given and read by its
// content (ABF, .wcp by the classic layout when it fits the classic rig, else by its header, or
// a text trace); only its header is read when it is opened.
class Recording {
 public:
  ~Recording();
  Recording(Recording&&) noexcept;
  Recording& operator=(Recording&&) noexcept;

  // Format, file, version, mode, layout, records, channels, the channel analysed by default and
  // the sampling interval.
  const RecordingInfo& info() const { return info_; }
  // The first 512 bytes of a .wcp file, as the header label shows them; empty otherwise.
  const std::string& header_text() const { return header_text_; }

  struct State;

 private:
  friend Recording OpenRecording(const std::string& path);
  friend struct RecordData ReadRecord(const Recording& recording, int32_t record, int channel);
  Recording();

  RecordingInfo info_;
  std::string header_text_;
  std::unique_ptr<State> state_;
};

// One record read: the samples in mV, sample k at k * acq_ms ms.
struct RecordData {
  SampleVector v;
  double acq_ms = 0;
  int32_t record = 0;  // from 1
  int channel = 0;     // the channel read, from 0
  double calib_v = 0;  // mV per count of that channel, as CalibV shows it
  double calib_i = 0;  // the factor of the first current channel, as CalibI shows it
};

// Opens `path` (exactly that file). Throws Error with the loader's messages: "File not found:
// PATH", "Invalid ABF file ...", "The header has no valid KEY=", ...
Recording OpenRecording(const std::string& path);

// Record `record` (from 1) of channel `channel` (from 1; 0: the first voltage channel, as the
// Channel field 0 does). A .wcp file of the classic rig with a channel of 1 or more is read by
// its header, as a load does. Throws "Record N does not exist: FILE holds M records", "Channel N
// does not exist: FILE has C channels", "Record too long: ..." and the format's messages.
RecordData ReadRecord(const Recording& recording, int32_t record, int channel = 0);

// The time of each sample in s: k * acq_ms / 1000, in extended precision as the chart's x.
std::vector<double> SampleTimes(int64_t count, double acq_ms);
std::vector<double> SampleTimes(const RecordData& data);

}  // namespace ictalscope
