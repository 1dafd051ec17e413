#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "recording/binary_file.h"

namespace ictalscope {

// One recorded channel of an Axon binary file, in the order in which the channels are
// interleaved in the data.
struct AbfChannel {
  // Blanks and NULs trimmed at both ends. ABF 2: the strings the ADC entry indexes; an index
  // that names no string of the strings section gives an empty text, not an error.
  std::string name;
  std::string unit;  // Latin-1 bytes as in the file ("\xB5V" for microvolts)
  // How an int16 count becomes a value in the channel's units:
  //   raw / (instrument_scale * signal_gain * programmable_gain * telegraph_gain)
  //     * adc_range_v / adc_resolution + instrument_offset - signal_offset
  // telegraph_gain is 1 when the telegraph is off for the channel (or, in ABF 1, before
  // version 1.6). float32 data are already in the channel's units.
  // Each of these (and AbfHeader::adc_range_v) is the decimal number that the file's float32
  // field was written from: the shortest decimal that reads back as the same float32, as the
  // nearest double (0.01, not 0.0099999998). The published values of real files agree with
  // this reading and not with the float32's exact value (0.01 is off by 2.2e-8 relative).
  double instrument_scale = 1;
  double signal_gain = 1;
  double programmable_gain = 1;
  double telegraph_gain = 1;
  double instrument_offset = 0;
  double signal_offset = 0;
};

// One record as the loader sees it: a sweep, or a piece of a gap-free stream.
struct AbfRecord {
  int64_t first_frame = 0;  // frames (one sample of every channel) before it in the data section
  int64_t frames = 0;       // its samples per channel
};

// What the loader needs of an ABF 1 or ABF 2 file: its header and small sections, checked.
struct AbfHeader {
  int major_version = 0;       // 1 or 2
  std::string version;         // as the header label shows it: "2.6.0.0", "1.83"
  int operation_mode = 0;      // 1 event-driven, 2 fixed-length events, 3 gap-free, 4 high-speed
                               // oscilloscope, 5 episodic stimulation
  bool float_samples = false;  // float32 samples; otherwise int16
  // The sampling interval of one channel in microseconds, exactly as the file gives it (ABF 2:
  // the protocol's float32; ABF 1: the interleaved stream's float32 times the channel count).
  long double interval_us = 0;
  double adc_range_v = 0;
  int32_t adc_resolution = 0;
  int64_t data_offset = 0;  // byte of the first sample
  std::vector<AbfChannel> channels;
  // The records the file holds, in order. Episodic and fixed-length-event files (modes 5, 2
  // and 4): one per sweep of samples-per-episode / channels frames. Event-driven files (mode 1):
  // one per synch-array entry, its length / channels frames, the sweeps following one another.
  // Gap-free files (mode 3): consecutive records of kGapFreeRecordSeconds each (rounded to
  // whole samples), the last one shorter, and shorter records where that would exceed
  // kGapFreeRecordMaxFrames frames. Only records whose samples lie wholly in the data section
  // and in the file are listed, so a truncated file gives fewer records (a gap-free record cut
  // by the end of the file is left out, not shortened), and the list may be empty.
  std::vector<AbfRecord> records;

  int BytesPerSample() const { return float_samples ? 4 : 2; }
  // Trace.AcqTime: the interval in ms, the double nearest to interval_us / 1000.
  double AcqTimeMs() const { return static_cast<double>(interval_us / 1000); }
};

inline constexpr long double kGapFreeRecordSeconds = 300;
inline constexpr int64_t kGapFreeRecordMaxFrames = 10'000'001;
// Files with more channels, or with more records in the file (or synch-array entries), are
// refused: the limits keep a hostile header from costing memory out of proportion.
inline constexpr int kAbfMaxChannels = 16;
inline constexpr int64_t kAbfMaxRecords = 1'000'000;

// Whether `first_bytes` (the start of a file) carry an ABF signature: "ABF " or "ABF2".
bool HasAbfSignature(const std::string& first_bytes);

// Reads and checks the header of the ABF file: the file header, and in ABF 2 the protocol, ADC,
// strings and synch-array sections; in ABF 1 the synch array of an event-driven file. Nothing
// else of the file is read. A file that is not a usable ABF file throws Error with a message
// that names the file and the problem, for example
//   "Invalid ABF file x.abf: the data section lies past the end of the file".
AbfHeader ReadAbfHeader(const BinaryFile& file);

}  // namespace ictalscope
