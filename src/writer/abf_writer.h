#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

// A writer of Axon binary files (ABF 1 and ABF 2) for tests, fuzz seeds and benchmarks.
//
// Only the fields that the header reader uses get meaningful values; every other byte is 0.
//
// Typical use:
//   AbfDescription d;                       // ABF 2.6, episodic, int16, 50 us
//   d.channels = {{.name = "IN 0", .unit = "mV", .instrument_scale = 0.01f}};
//   d.sweeps = {AbfSweep{.counts = {{1, 2, 3}}}, AbfSweep{.counts = {{4, 5, 6}}}};
//   WriteAbfFile("rec.abf", d);
//
// Broken files: take the bytes, then cut or patch them at the offsets below or of AbfLayoutOf:
//   std::string bytes = AbfFileBytes(d);
//   PatchAbf<int16_t>(bytes, AbfLayoutOf(d).protocol_offset + abf2::kOperationMode, 9);
//   bytes.resize(100);
//
// Large gap-free files are written from a callback, a chunk at a time, so that a file of any
// size costs a few hundred KB of memory (1 GB, 5e8 int16 samples, took 1.3 s and 4 MB):
//   AbfDescription d;
//   d.mode = AbfMode::kGapFree;
//   d.channels = {{.name = "IN 0", .unit = "mV", .instrument_scale = 0.01f}};
//   WriteStreamedGapFreeAbf("big.abf", d, 500'000'000,
//                           AbfCountSource([](int64_t first, int64_t frames, int16_t* out) {
//                             for (int64_t k = 0; k < frames; ++k) out[k] = Noise(first + k);
//                           }));
namespace ictalscope::writer {

enum class AbfMode {
  kEventDriven = 1,        // variable-length sweeps, one per synch-array entry
  kFixedLengthEvents = 2,  // sweeps of equal length, as episodic
  kGapFree = 3,            // one stream: the sweeps are written one after the other
  kOscilloscope = 4,       // high-speed oscilloscope, as episodic
  kEpisodic = 5,           // episodic stimulation
};

struct AbfWriterChannel {
  std::string name;  // ABF 1: blank-padded to 10 bytes (longer is an error); ABF 2: any
  std::string unit;  // ABF 1: blank-padded to 8 bytes; ABF 2: any; Latin-1 bytes as given
  // ABF 1: the physical channel (0..15) of this interleaved position, which indexes the
  // per-channel arrays; ABF 2: the ADC number. -1: the position itself.
  int physical = -1;
  float instrument_scale = 1;
  float signal_gain = 1;
  float programmable_gain = 1;
  // ABF 1 files before version 1.6 have no telegraph fields: these are then not written.
  bool telegraph = false;
  float telegraph_gain = 1;  // written also when the telegraph is off
  float instrument_offset = 0;
  float signal_offset = 0;
};

// One sweep (or, gap-free, one piece of the stream): samples[c][k] is sample k of channel c.
// int16 files take `counts`, float32 files `values`; every channel has the same length.
struct AbfSweep {
  std::vector<std::vector<int16_t>> counts;
  std::vector<std::vector<float>> values;
};

struct AbfDescription {
  int major_version = 2;                            // 1 or 2
  float abf1_version = 1.83f;                       // ABF 1: the float32 version; 1.6 and later
                                                    // get a 5,120-byte header with telegraphs,
                                                    // earlier ones the 2,048-byte header
  std::array<uint8_t, 4> abf2_version{2, 6, 0, 0};  // ABF 2: major, minor, bugfix, build
  AbfMode mode = AbfMode::kEpisodic;
  bool float_samples = false;
  // The sampling interval of one channel. ABF 2 stores it as it is; ABF 1 stores the
  // interleaved stream's interval, interval_us / channels rounded to float32 (the reader
  // gives that float times the channel count back).
  float interval_us = 50;
  float adc_range_v = 10;
  int32_t adc_resolution = 32768;
  std::vector<AbfWriterChannel> channels;
  // Episodic, fixed-length-event and oscilloscope files: all sweeps of one length (samples per
  // episode = that length times the channels). Event-driven: any positive lengths, one
  // synch-array entry each. Gap-free: the stream, the sweeps one after the other.
  std::vector<AbfSweep> sweeps;
  // Event-driven files: the synch array after the data (as acquisition programs place it)
  // instead of before it.
  bool synch_array_after_data = false;
};

// Where the writer puts things, for tests that check or patch them. Offsets in bytes from the
// start of the file; -1 where the file has no such part.
struct AbfLayout {
  int64_t protocol_offset = -1;  // ABF 2: the protocol section
  int64_t adc_offset = -1;       // ABF 2: the first ADC entry (entries of abf2::kAdcEntryBytes)
  int64_t strings_offset = -1;   // ABF 2: the strings section
  int64_t synch_offset = -1;     // event-driven: the synch array (8 bytes per entry)
  int64_t data_offset = 0;       // the first sample
  int64_t data_samples = 0;      // samples of all channels together
  int64_t file_bytes = 0;
};

// ABF 1 header fields, from the start of the file. The per-channel arrays are indexed by the
// physical channel: kChannelUnits + 8 * physical, kProgrammableGain + 4 * physical, ...
namespace abf1 {
inline constexpr int64_t kFileVersion = 4;          // float32
inline constexpr int64_t kOperationMode = 8;        // int16
inline constexpr int64_t kAcquisitionLength = 10;   // int32, samples of all channels
inline constexpr int64_t kEpisodes = 16;            // int32
inline constexpr int64_t kDataBlock = 40;           // int32
inline constexpr int64_t kSynchBlock = 92;          // int32
inline constexpr int64_t kSynchEntries = 96;        // int32
inline constexpr int64_t kDataFormat = 100;         // int16
inline constexpr int64_t kChannelCount = 120;       // int16
inline constexpr int64_t kStreamInterval = 122;     // float32, of the interleaved stream
inline constexpr int64_t kSamplesPerEpisode = 138;  // int32, all channels
inline constexpr int64_t kAdcRange = 244;           // float32
inline constexpr int64_t kAdcResolution = 252;      // int32
inline constexpr int64_t kSamplingSequence = 410;   // int16[16]
inline constexpr int64_t kChannelNames = 442;       // char[16][10]
inline constexpr int64_t kChannelUnits = 602;       // char[16][8]
inline constexpr int64_t kProgrammableGain = 730;   // float32[16]
inline constexpr int64_t kInstrumentScale = 922;
inline constexpr int64_t kInstrumentOffset = 986;
inline constexpr int64_t kSignalGain = 1050;
inline constexpr int64_t kSignalOffset = 1114;
inline constexpr int64_t kTelegraphEnable = 4512;  // int16[16], version 1.6 and later
inline constexpr int64_t kTelegraphGain = 4576;    // float32[16], version 1.6 and later
}  // namespace abf1

// ABF 2 fields: the file header from the start of the file, the section map entries at
// SectionEntry(i) (uint32 first block, uint32 bytes per entry, int64 entries), the protocol
// fields from AbfLayout::protocol_offset and the ADC fields from the start of each entry.
namespace abf2 {
inline constexpr int64_t kFileVersion = 4;  // uint8[4]: build, bugfix, minor, major
inline constexpr int64_t kEpisodes = 12;    // uint32
inline constexpr int64_t kDataFormat = 30;  // int16
inline constexpr int kProtocolSection = 0;
inline constexpr int kAdcSection = 1;
inline constexpr int kStringsSection = 9;
inline constexpr int kDataSection = 10;
inline constexpr int kSynchSection = 15;
inline constexpr int64_t SectionEntry(int section) { return 76 + 16 * int64_t{section}; }
inline constexpr int64_t kSectionBlock = 0;    // from SectionEntry(i): uint32
inline constexpr int64_t kSectionBytes = 4;    // uint32
inline constexpr int64_t kSectionEntries = 8;  // int64
// Protocol section.
inline constexpr int64_t kOperationMode = 0;       // int16
inline constexpr int64_t kInterval = 2;            // float32
inline constexpr int64_t kSynchTimeUnit = 14;      // float32, written as 0 (samples)
inline constexpr int64_t kSamplesPerEpisode = 22;  // int32
inline constexpr int64_t kAdcRange = 110;          // float32
inline constexpr int64_t kAdcResolution = 118;     // int32
// ADC entries.
inline constexpr int64_t kAdcEntryBytes = 128;
inline constexpr int64_t kAdcNumber = 0;          // int16
inline constexpr int64_t kTelegraphEnable = 2;    // int16
inline constexpr int64_t kTelegraphGain = 6;      // float32
inline constexpr int64_t kProgrammableGain = 28;  // float32
inline constexpr int64_t kInstrumentScale = 40;
inline constexpr int64_t kInstrumentOffset = 44;
inline constexpr int64_t kSignalGain = 48;
inline constexpr int64_t kSignalOffset = 52;
inline constexpr int64_t kNameIndex = 74;  // int32
inline constexpr int64_t kUnitIndex = 78;  // int32
}  // namespace abf2

// ABF 2 strings section: index 1 is the creator, 2 the protocol path, then the name and unit
// of each channel in turn (channel c: name 3 + 2c, unit 4 + 2c).
inline constexpr int32_t Abf2NameIndex(int channel) { return 3 + 2 * channel; }
inline constexpr int32_t Abf2UnitIndex(int channel) { return 4 + 2 * channel; }

// The whole file, as bytes. Throws std::invalid_argument for a description that cannot be
// written (no channels, channels of different lengths, sweeps of different lengths in an
// episodic file, counts given for a float32 file, an ABF 1 name longer than 10 bytes, ...).
std::string AbfFileBytes(const AbfDescription& description);

// Writes AbfFileBytes(description) to `path`; throws std::runtime_error when it cannot.
void WriteAbfFile(const std::string& path, const AbfDescription& description);

// Where AbfFileBytes puts the sections and the data of this description.
AbfLayout AbfLayoutOf(const AbfDescription& description);

// Writes `value` little-endian at `offset` of `bytes` (int16_t, int32_t, uint32_t, int64_t,
// float, ...), growing the bytes with zeros if they end before it.
template <typename T>
void PatchAbf(std::string& bytes, int64_t offset, T value) {
  const size_t at = static_cast<size_t>(offset);
  if (bytes.size() < at + sizeof value) bytes.resize(at + sizeof value, '\0');
  static_assert(std::endian::native == std::endian::little);
  std::memcpy(bytes.data() + at, &value, sizeof value);
}

// Fills out[0 .. frames * channels) with frames first_frame .. first_frame + frames - 1, the
// channels interleaved (out[k * channels + c] is sample first_frame + k of channel c).
using AbfCountSource = std::function<void(int64_t first_frame, int64_t frames, int16_t* out)>;
using AbfValueSource = std::function<void(int64_t first_frame, int64_t frames, float* out)>;

// Writes a gap-free file of `frames` samples per channel to `path`, asking `source` for the
// samples a chunk at a time: memory stays small whatever the size. `description` gives
// everything but the samples (its mode is taken as gap-free and its sweeps are ignored); use the
// source that matches its sample format. ABF 1 holds at most 2^31 - 1 samples of all channels
// together. Throws std::invalid_argument or std::runtime_error like the functions above.
void WriteStreamedGapFreeAbf(const std::string& path, const AbfDescription& description,
                             int64_t frames, const AbfCountSource& source);
void WriteStreamedGapFreeAbf(const std::string& path, const AbfDescription& description,
                             int64_t frames, const AbfValueSource& source);

}  // namespace ictalscope::writer
