#include "writer/abf_writer.h"

#include <algorithm>
#include <fstream>
#include <limits>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

namespace ictalscope::writer {

namespace {

constexpr int64_t kBlockBytes = 512;
constexpr int64_t kAbf2HeaderBytes = 512;
constexpr int64_t kAbf2ProtocolBytes = 512;
constexpr int64_t kStringsHeaderBytes = 44;
constexpr int64_t kSynchEntryBytes = 8;
constexpr int64_t kAbf1OldHeaderBytes = 2048;   // before version 1.6
constexpr int64_t kAbf1HeaderBytes = 10 * 512;  // holds the telegraph fields
constexpr float kAbf1TelegraphVersion = 1.6f;
constexpr int kAbf1NameBytes = 10;
constexpr int kAbf1UnitBytes = 8;
constexpr int kAbf1PhysicalChannels = 16;
constexpr int64_t kStreamChunkFrames = 1 << 15;

int64_t RoundUpToBlock(int64_t bytes) {
  return (bytes + kBlockBytes - 1) / kBlockBytes * kBlockBytes;
}

int Channels(const AbfDescription& d) { return static_cast<int>(d.channels.size()); }
int BytesPerSample(const AbfDescription& d) { return d.float_samples ? 4 : 2; }
bool IsEventDriven(const AbfDescription& d) { return d.mode == AbfMode::kEventDriven; }
bool HasTelegraphs(const AbfDescription& d) {
  return d.major_version == 2 || d.abf1_version >= kAbf1TelegraphVersion;
}
int Physical(const AbfDescription& d, int c) {
  return d.channels[static_cast<size_t>(c)].physical >= 0
             ? d.channels[static_cast<size_t>(c)].physical
             : c;
}

[[noreturn]] void Unwritable(const std::string& why) {
  throw std::invalid_argument("AbfFileBytes: " + why);
}

void CheckChannels(const AbfDescription& d) {
  if (d.major_version != 1 && d.major_version != 2) Unwritable("major_version is not 1 or 2");
  if (d.channels.empty()) Unwritable("no channels");
  if (d.major_version == 2) return;
  if (Channels(d) > kAbf1PhysicalChannels) Unwritable("ABF 1 holds at most 16 channels");
  for (int c = 0; c < Channels(d); ++c) {
    const AbfWriterChannel& channel = d.channels[static_cast<size_t>(c)];
    if (Physical(d, c) >= kAbf1PhysicalChannels) Unwritable("a physical channel past 15");
    if (channel.name.size() > kAbf1NameBytes) Unwritable("an ABF 1 name longer than 10 bytes");
    if (channel.unit.size() > kAbf1UnitBytes) Unwritable("an ABF 1 unit longer than 8 bytes");
  }
}

// Samples per channel of the sweep, checked against the format and the channels.
int64_t SweepFrames(const AbfDescription& d, const AbfSweep& sweep) {
  const size_t given = d.float_samples ? sweep.values.size() : sweep.counts.size();
  const size_t other = d.float_samples ? sweep.counts.size() : sweep.values.size();
  if (given != d.channels.size() || other != 0) {
    Unwritable("a sweep without one sample vector of the file's format per channel");
  }
  const size_t frames = d.float_samples ? sweep.values[0].size() : sweep.counts[0].size();
  for (size_t c = 0; c < given; ++c) {
    const size_t size = d.float_samples ? sweep.values[c].size() : sweep.counts[c].size();
    if (size != frames) Unwritable("channels of different lengths in a sweep");
  }
  return static_cast<int64_t>(frames);
}

std::vector<int64_t> AllSweepFrames(const AbfDescription& d) {
  std::vector<int64_t> frames;
  for (const AbfSweep& sweep : d.sweeps) frames.push_back(SweepFrames(d, sweep));
  const bool equal = d.mode != AbfMode::kEventDriven && d.mode != AbfMode::kGapFree;
  if (equal &&
      std::adjacent_find(frames.begin(), frames.end(), std::not_equal_to<>()) != frames.end()) {
    Unwritable("sweeps of different lengths in a file of fixed-length sweeps");
  }
  return frames;
}

// What the header fields count, from the sweeps' lengths in frames.
struct Counts {
  int64_t total_frames = 0;
  int64_t samples_per_episode = 0;  // all channels; 0 in gap-free files
  int64_t episodes = 0;             // 0 in gap-free files
  int64_t synch_entries = 0;
};

Counts CountsOf(const AbfDescription& d, const std::vector<int64_t>& sweep_frames) {
  Counts counts;
  for (int64_t frames : sweep_frames) counts.total_frames += frames;
  if (d.mode == AbfMode::kGapFree) return counts;
  const int64_t longest =
      sweep_frames.empty() ? 0 : *std::max_element(sweep_frames.begin(), sweep_frames.end());
  counts.samples_per_episode = longest * Channels(d);
  counts.episodes = static_cast<int64_t>(sweep_frames.size());
  if (IsEventDriven(d)) counts.synch_entries = counts.episodes;
  return counts;
}

std::vector<std::string> Abf2Strings(const AbfDescription& d) {
  std::vector<std::string> strings = {"ictalscope test writer", "C:\\protocols\\test.pro"};
  for (const AbfWriterChannel& channel : d.channels) {
    strings.push_back(channel.name);
    strings.push_back(channel.unit);
  }
  return strings;
}

int64_t StringsBytes(const std::vector<std::string>& strings) {
  int64_t bytes = kStringsHeaderBytes;
  for (const std::string& text : strings) bytes += static_cast<int64_t>(text.size()) + 1;
  return bytes;
}

AbfLayout LayoutFor(const AbfDescription& d, const Counts& counts) {
  AbfLayout layout;
  int64_t end = 0;
  if (d.major_version == 2) {
    layout.protocol_offset = kAbf2HeaderBytes;
    layout.adc_offset = layout.protocol_offset + kAbf2ProtocolBytes;
    layout.strings_offset = layout.adc_offset + RoundUpToBlock(Channels(d) * abf2::kAdcEntryBytes);
    end = layout.strings_offset + RoundUpToBlock(StringsBytes(Abf2Strings(d)));
  } else {
    end = HasTelegraphs(d) ? kAbf1HeaderBytes : kAbf1OldHeaderBytes;
  }
  const int64_t synch_bytes = RoundUpToBlock(counts.synch_entries * kSynchEntryBytes);
  if (IsEventDriven(d) && !d.synch_array_after_data) {
    layout.synch_offset = end;
    end += synch_bytes;
  }
  layout.data_offset = end;
  layout.data_samples = counts.total_frames * Channels(d);
  end += layout.data_samples * BytesPerSample(d);
  if (IsEventDriven(d) && d.synch_array_after_data) {
    layout.synch_offset = RoundUpToBlock(end);
    end = layout.synch_offset + counts.synch_entries * kSynchEntryBytes;
  }
  layout.file_bytes = end;
  return layout;
}

int32_t Block(int64_t offset) { return static_cast<int32_t>(offset / kBlockBytes); }

void WriteSection(std::string& bytes, int section, int64_t offset, int64_t entry_bytes,
                  int64_t entries) {
  const int64_t at = abf2::SectionEntry(section);
  PatchAbf<uint32_t>(bytes, at + abf2::kSectionBlock, static_cast<uint32_t>(Block(offset)));
  PatchAbf<uint32_t>(bytes, at + abf2::kSectionBytes, static_cast<uint32_t>(entry_bytes));
  PatchAbf<int64_t>(bytes, at + abf2::kSectionEntries, entries);
}

void WriteAbf2FileHeader(std::string& bytes, const AbfDescription& d, const Counts& counts,
                         const AbfLayout& layout) {
  bytes.replace(0, 4, "ABF2");
  for (int i = 0; i < 4; ++i) {
    bytes[static_cast<size_t>(abf2::kFileVersion + i)] =
        static_cast<char>(d.abf2_version[static_cast<size_t>(3 - i)]);
  }
  PatchAbf<uint32_t>(bytes, abf2::kEpisodes, static_cast<uint32_t>(counts.episodes));
  PatchAbf<uint32_t>(bytes, 16, 20240101);  // start date
  PatchAbf<int16_t>(bytes, abf2::kDataFormat, d.float_samples ? 1 : 0);
  const std::vector<std::string> strings = Abf2Strings(d);
  WriteSection(bytes, abf2::kProtocolSection, layout.protocol_offset, kAbf2ProtocolBytes, 1);
  WriteSection(bytes, abf2::kAdcSection, layout.adc_offset, abf2::kAdcEntryBytes, Channels(d));
  WriteSection(bytes, abf2::kStringsSection, layout.strings_offset, StringsBytes(strings),
               static_cast<int64_t>(strings.size()));
  WriteSection(bytes, abf2::kDataSection, layout.data_offset, BytesPerSample(d),
               layout.data_samples);
  if (IsEventDriven(d)) {
    WriteSection(bytes, abf2::kSynchSection, layout.synch_offset, kSynchEntryBytes,
                 counts.synch_entries);
  }
}

void WriteAbf2Protocol(std::string& bytes, const AbfDescription& d, const Counts& counts,
                       int64_t at) {
  PatchAbf<int16_t>(bytes, at + abf2::kOperationMode, static_cast<int16_t>(d.mode));
  PatchAbf<float>(bytes, at + abf2::kInterval, d.interval_us);
  PatchAbf<float>(bytes, at + abf2::kSynchTimeUnit, 0);
  PatchAbf<int32_t>(bytes, at + abf2::kSamplesPerEpisode,
                    static_cast<int32_t>(counts.samples_per_episode));
  PatchAbf<float>(bytes, at + abf2::kAdcRange, d.adc_range_v);
  PatchAbf<int32_t>(bytes, at + abf2::kAdcResolution, d.adc_resolution);
}

void WriteAbf2AdcEntries(std::string& bytes, const AbfDescription& d, int64_t first) {
  for (int c = 0; c < Channels(d); ++c) {
    const AbfWriterChannel& channel = d.channels[static_cast<size_t>(c)];
    const int64_t at = first + c * abf2::kAdcEntryBytes;
    PatchAbf<int16_t>(bytes, at + abf2::kAdcNumber, static_cast<int16_t>(Physical(d, c)));
    PatchAbf<int16_t>(bytes, at + abf2::kTelegraphEnable, channel.telegraph ? 1 : 0);
    PatchAbf<float>(bytes, at + abf2::kTelegraphGain, channel.telegraph_gain);
    PatchAbf<float>(bytes, at + abf2::kProgrammableGain, channel.programmable_gain);
    PatchAbf<float>(bytes, at + abf2::kInstrumentScale, channel.instrument_scale);
    PatchAbf<float>(bytes, at + abf2::kInstrumentOffset, channel.instrument_offset);
    PatchAbf<float>(bytes, at + abf2::kSignalGain, channel.signal_gain);
    PatchAbf<float>(bytes, at + abf2::kSignalOffset, channel.signal_offset);
    PatchAbf<int32_t>(bytes, at + abf2::kNameIndex, Abf2NameIndex(c));
    PatchAbf<int32_t>(bytes, at + abf2::kUnitIndex, Abf2UnitIndex(c));
  }
}

void WriteAbf2Strings(std::string& bytes, const AbfDescription& d, int64_t at) {
  const std::vector<std::string> strings = Abf2Strings(d);
  bytes.replace(static_cast<size_t>(at), 4, "SSCH");
  PatchAbf<int32_t>(bytes, at + 4, 1);
  PatchAbf<int32_t>(bytes, at + 8, static_cast<int32_t>(strings.size()));
  PatchAbf<int32_t>(bytes, at + 16,
                    static_cast<int32_t>(StringsBytes(strings) - kStringsHeaderBytes));
  size_t next = static_cast<size_t>(at + kStringsHeaderBytes);
  for (const std::string& text : strings) {
    bytes.replace(next, text.size(), text);
    next += text.size() + 1;  // the NUL is already there
  }
}

void WriteAbf1Channel(std::string& bytes, const AbfDescription& d, int c) {
  const AbfWriterChannel& channel = d.channels[static_cast<size_t>(c)];
  const int64_t p = Physical(d, c);
  PatchAbf<int16_t>(bytes, abf1::kSamplingSequence + 2 * c, static_cast<int16_t>(p));
  std::string name = channel.name, unit = channel.unit;
  name.resize(kAbf1NameBytes, ' ');
  unit.resize(kAbf1UnitBytes, ' ');
  bytes.replace(static_cast<size_t>(abf1::kChannelNames + kAbf1NameBytes * p), name.size(), name);
  bytes.replace(static_cast<size_t>(abf1::kChannelUnits + kAbf1UnitBytes * p), unit.size(), unit);
  PatchAbf<float>(bytes, abf1::kProgrammableGain + 4 * p, channel.programmable_gain);
  PatchAbf<float>(bytes, abf1::kInstrumentScale + 4 * p, channel.instrument_scale);
  PatchAbf<float>(bytes, abf1::kInstrumentOffset + 4 * p, channel.instrument_offset);
  PatchAbf<float>(bytes, abf1::kSignalGain + 4 * p, channel.signal_gain);
  PatchAbf<float>(bytes, abf1::kSignalOffset + 4 * p, channel.signal_offset);
  if (!HasTelegraphs(d)) return;
  PatchAbf<int16_t>(bytes, abf1::kTelegraphEnable + 2 * p, channel.telegraph ? 1 : 0);
  PatchAbf<float>(bytes, abf1::kTelegraphGain + 4 * p, channel.telegraph_gain);
}

void WriteAbf1Header(std::string& bytes, const AbfDescription& d, const Counts& counts,
                     const AbfLayout& layout) {
  if (layout.data_samples > std::numeric_limits<int32_t>::max()) {
    Unwritable("ABF 1 holds at most 2^31 - 1 samples");
  }
  bytes.replace(0, 4, "ABF ");
  PatchAbf<float>(bytes, abf1::kFileVersion, d.abf1_version);
  PatchAbf<int16_t>(bytes, abf1::kOperationMode, static_cast<int16_t>(d.mode));
  PatchAbf<int32_t>(bytes, abf1::kAcquisitionLength, static_cast<int32_t>(layout.data_samples));
  PatchAbf<int32_t>(bytes, abf1::kEpisodes, static_cast<int32_t>(counts.episodes));
  PatchAbf<int32_t>(bytes, abf1::kDataBlock, Block(layout.data_offset));
  if (IsEventDriven(d)) {
    PatchAbf<int32_t>(bytes, abf1::kSynchBlock, Block(layout.synch_offset));
    PatchAbf<int32_t>(bytes, abf1::kSynchEntries, static_cast<int32_t>(counts.synch_entries));
  }
  PatchAbf<int16_t>(bytes, abf1::kDataFormat, d.float_samples ? 1 : 0);
  PatchAbf<int16_t>(bytes, abf1::kChannelCount, static_cast<int16_t>(Channels(d)));
  PatchAbf<float>(bytes, abf1::kStreamInterval, d.interval_us / static_cast<float>(Channels(d)));
  PatchAbf<int32_t>(bytes, abf1::kSamplesPerEpisode,
                    static_cast<int32_t>(counts.samples_per_episode));
  PatchAbf<float>(bytes, abf1::kAdcRange, d.adc_range_v);
  PatchAbf<int32_t>(bytes, abf1::kAdcResolution, d.adc_resolution);
  for (int p = 0; p < kAbf1PhysicalChannels; ++p) {
    PatchAbf<int16_t>(bytes, abf1::kSamplingSequence + 2 * p, -1);  // unused positions
  }
  for (int c = 0; c < Channels(d); ++c) WriteAbf1Channel(bytes, d, c);
}

// Entries (start, length): start in samples of all channels from the start of the data.
std::string SynchArray(const AbfDescription& d, const std::vector<int64_t>& sweep_frames) {
  std::string bytes;
  int64_t start = 0;
  for (size_t i = 0; i < sweep_frames.size(); ++i) {
    const int64_t length = sweep_frames[i] * Channels(d);
    PatchAbf<int32_t>(bytes, static_cast<int64_t>(i) * kSynchEntryBytes,
                      static_cast<int32_t>(start));
    PatchAbf<int32_t>(bytes, static_cast<int64_t>(i) * kSynchEntryBytes + 4,
                      static_cast<int32_t>(length));
    start += length;
  }
  return bytes;
}

// Everything but the data: the header, the sections, the synch array (at its place).
std::string FileWithoutData(const AbfDescription& d, const std::vector<int64_t>& sweep_frames,
                            AbfLayout& layout) {
  CheckChannels(d);
  const Counts counts = CountsOf(d, sweep_frames);
  layout = LayoutFor(d, counts);
  std::string bytes(static_cast<size_t>(layout.data_offset), '\0');
  if (d.major_version == 2) {
    WriteAbf2FileHeader(bytes, d, counts, layout);
    WriteAbf2Protocol(bytes, d, counts, layout.protocol_offset);
    WriteAbf2AdcEntries(bytes, d, layout.adc_offset);
    WriteAbf2Strings(bytes, d, layout.strings_offset);
  } else {
    WriteAbf1Header(bytes, d, counts, layout);
  }
  if (IsEventDriven(d) && !d.synch_array_after_data) {
    bytes.replace(static_cast<size_t>(layout.synch_offset),
                  static_cast<size_t>(counts.synch_entries * kSynchEntryBytes),
                  SynchArray(d, sweep_frames));
  }
  return bytes;
}

void AppendSweep(std::string& bytes, const AbfDescription& d, const AbfSweep& sweep) {
  const int64_t frames = SweepFrames(d, sweep);
  const size_t at = bytes.size();
  bytes.resize(at + static_cast<size_t>(frames * Channels(d) * BytesPerSample(d)));
  char* out = bytes.data() + at;
  for (int64_t k = 0; k < frames; ++k) {
    for (size_t c = 0; c < d.channels.size(); ++c) {
      if (d.float_samples) {
        std::memcpy(out, &sweep.values[c][static_cast<size_t>(k)], 4);
      } else {
        std::memcpy(out, &sweep.counts[c][static_cast<size_t>(k)], 2);
      }
      out += BytesPerSample(d);
    }
  }
}

void AppendSynchAfterData(std::string& bytes, const AbfDescription& d,
                          const std::vector<int64_t>& sweep_frames, const AbfLayout& layout) {
  if (!IsEventDriven(d) || !d.synch_array_after_data) return;
  bytes.resize(static_cast<size_t>(layout.synch_offset), '\0');
  bytes += SynchArray(d, sweep_frames);
}

void WriteBytes(std::ofstream& out, const char* bytes, size_t count, const std::string& path) {
  out.write(bytes, static_cast<std::streamsize>(count));
  if (!out) throw std::runtime_error("cannot write " + path);
}

template <typename Sample, typename Source>
void WriteStreamed(const std::string& path, const AbfDescription& description, int64_t frames,
                   const Source& source) {
  AbfDescription d = description;
  d.mode = AbfMode::kGapFree;
  d.sweeps.clear();
  if (d.float_samples != std::is_same_v<Sample, float>) {
    throw std::invalid_argument("WriteStreamedGapFreeAbf: a source of the wrong sample type");
  }
  if (frames < 0) throw std::invalid_argument("WriteStreamedGapFreeAbf: negative frames");
  AbfLayout layout;
  const std::string head = FileWithoutData(d, {frames}, layout);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  WriteBytes(out, head.data(), head.size(), path);
  const size_t channels = d.channels.size();
  std::vector<Sample> chunk(static_cast<size_t>(kStreamChunkFrames) * channels);
  for (int64_t first = 0; first < frames; first += kStreamChunkFrames) {
    const int64_t count = std::min(kStreamChunkFrames, frames - first);
    source(first, count, chunk.data());
    WriteBytes(out, reinterpret_cast<const char*>(chunk.data()),
               static_cast<size_t>(count) * channels * sizeof(Sample), path);
  }
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace

std::string AbfFileBytes(const AbfDescription& description) {
  const std::vector<int64_t> sweep_frames = AllSweepFrames(description);
  AbfLayout layout;
  std::string bytes = FileWithoutData(description, sweep_frames, layout);
  for (const AbfSweep& sweep : description.sweeps) AppendSweep(bytes, description, sweep);
  AppendSynchAfterData(bytes, description, sweep_frames, layout);
  return bytes;
}

void WriteAbfFile(const std::string& path, const AbfDescription& description) {
  const std::string bytes = AbfFileBytes(description);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  WriteBytes(out, bytes.data(), bytes.size(), path);
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path);
}

AbfLayout AbfLayoutOf(const AbfDescription& description) {
  CheckChannels(description);
  return LayoutFor(description, CountsOf(description, AllSweepFrames(description)));
}

void WriteStreamedGapFreeAbf(const std::string& path, const AbfDescription& description,
                             int64_t frames, const AbfCountSource& source) {
  WriteStreamed<int16_t>(path, description, frames, source);
}

void WriteStreamedGapFreeAbf(const std::string& path, const AbfDescription& description,
                             int64_t frames, const AbfValueSource& source) {
  WriteStreamed<float>(path, description, frames, source);
}

}  // namespace ictalscope::writer
