#include "recording/abf_header.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/error.h"

namespace ictalscope {

namespace {

constexpr int64_t kBlockBytes = 512;

// ABF 2: the file header up to the end of section entry 15, and the sections read.
constexpr size_t kAbf2HeaderBytes = 76 + 16 * 16;
constexpr size_t kSectionMap = 76;
constexpr size_t kSectionEntryBytes = 16;
constexpr int kProtocolSection = 0;
constexpr int kAdcSection = 1;
constexpr int kStringsSection = 9;
constexpr int kDataSection = 10;
constexpr int kSynchSection = 15;
constexpr int64_t kProtocolBytes = 122;  // up to the end of the ADC resolution
constexpr int64_t kAdcEntryBytes = 82;   // up to the end of the units index
constexpr size_t kStringsHeaderBytes = 44;
// Strings past this are treated as absent: real strings sections hold a few hundred bytes.
constexpr int64_t kMaxStringsBytes = int64_t{1} << 20;

// ABF 1: the header up to the end of the signal offsets, and up to the end of the telegraph
// gains, which only files of version 1.6 and later have.
constexpr size_t kAbf1HeaderBytes = 1114 + 4 * 16;
constexpr size_t kAbf1TelegraphHeaderBytes = 4576 + 4 * 16;
constexpr float kAbf1TelegraphVersion = 1.6f;
constexpr int kAbf1PhysicalChannels = 16;

constexpr int64_t kSynchEntryBytes = 8;  // two int32: start, length

// Little-endian fields of bytes already read.
class Fields {
 public:
  explicit Fields(std::string bytes) : bytes_(std::move(bytes)) {}

  size_t size() const { return bytes_.size(); }
  uint8_t U8(size_t at) const { return static_cast<uint8_t>(bytes_.at(at)); }
  int16_t I16(size_t at) const { return static_cast<int16_t>(Unsigned(at, 2)); }
  int32_t I32(size_t at) const { return static_cast<int32_t>(Unsigned(at, 4)); }
  uint32_t U32(size_t at) const { return static_cast<uint32_t>(Unsigned(at, 4)); }
  int64_t I64(size_t at) const { return static_cast<int64_t>(Unsigned(at, 8)); }
  float F32(size_t at) const { return std::bit_cast<float>(U32(at)); }
  std::string_view Text(size_t at, size_t count) const {
    return std::string_view(bytes_).substr(at, count);
  }

 private:
  uint64_t Unsigned(size_t at, int bytes) const {
    uint64_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = value << 8 | U8(at + static_cast<size_t>(i));
    return value;
  }

  std::string bytes_;
};

// An entry of the ABF 2 section map.
struct Section {
  int64_t offset = 0;
  int64_t entry_bytes = 0;
  int64_t entries = 0;
};

Section SectionAt(const Fields& header, int index) {
  const size_t at = kSectionMap + kSectionEntryBytes * static_cast<size_t>(index);
  return {int64_t{header.U32(at)} * kBlockBytes, int64_t{header.U32(at + 4)}, header.I64(at + 8)};
}

// The strings section of ABF 2: a 44-byte header, then NUL-terminated strings, numbered from 1.
class StringsBlock {
 public:
  explicit StringsBlock(std::string bytes) : bytes_(std::move(bytes)) {}

  // String `index`; empty when the block holds no such string.
  std::string At(int32_t index) const {
    if (index < 1 || bytes_.size() < kStringsHeaderBytes) return {};
    size_t at = kStringsHeaderBytes;
    for (int32_t i = 1; i < index; ++i) {
      const size_t end = bytes_.find('\0', at);
      if (end == std::string::npos) return {};
      at = end + 1;
    }
    if (at >= bytes_.size()) return {};
    return bytes_.substr(at, bytes_.find('\0', at) - at);
  }

 private:
  std::string bytes_;
};

// The shortest decimal text that reads back as `value` ("0.01" for 0.0099999998f).
std::string ShortestText(float value) {
  char text[32];
  const std::to_chars_result result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

// The decimal number a float32 field was written from, as the nearest double.
double DecimalOf(float value) {
  if (!std::isfinite(value)) return value;
  const std::string text = ShortestText(value);
  double decimal = 0;
  std::from_chars(text.data(), text.data() + text.size(), decimal);
  return decimal;
}

std::string Trimmed(std::string_view text) {
  constexpr std::string_view kPadding(" \0", 2);
  const size_t first = text.find_first_not_of(kPadding);
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(kPadding);
  return std::string(text.substr(first, last - first + 1));
}

std::string ChannelCount(int64_t channels) {
  return std::to_string(channels) + (channels == 1 ? " channel" : " channels");
}

// Gap-free records: 300 s rounded to whole samples (half away from zero), at least one sample
// and at most kGapFreeRecordMaxFrames.
int64_t GapFreeRecordFrames(long double interval_us) {
  const long double frames = kGapFreeRecordSeconds * 1e6L / interval_us;
  if (!(frames < kGapFreeRecordMaxFrames)) return kGapFreeRecordMaxFrames;
  return std::max<int64_t>(1, std::llround(frames));
}

// Where the records come from, as each version gives it.
struct DataLayout {
  int data_format = 0;
  int64_t data_offset = 0;   // ABF 1 may give a negative one
  int64_t data_samples = 0;  // of all channels together
  int64_t samples_per_episode = 0;
  int64_t episodes = 0;
  Section synch;
};

class AbfHeaderReader {
 public:
  explicit AbfHeaderReader(const BinaryFile& file) : file_(file) {}

  AbfHeader Read() {
    const std::string signature = file_.BytesAt(0, 4);
    if (signature == "ABF2") {
      ReadAbf2();
    } else if (signature == "ABF ") {
      ReadAbf1();
    } else {
      Refuse("it does not begin with \"ABF \" or \"ABF2\"");
    }
    CheckValues();
    CheckDataSection();
    ListRecords();
    return std::move(header_);
  }

 private:
  [[noreturn]] void Refuse(const std::string& problem) const {
    throw Error("Invalid ABF file " + file_.path() + ": " + problem);
  }

  // The first `wanted` bytes of the file, of which at least `needed` must be there.
  Fields ReadHeaderBytes(size_t needed, size_t wanted) const {
    Fields header(file_.BytesAt(0, wanted));
    if (header.size() < needed) Refuse("the file ends inside its header");
    return header;
  }

  // Refuses a part of the file (`what`: "the data section", ...) that does not lie in it.
  void CheckInFile(int64_t offset, __int128 bytes, const std::string& what) const {
    if (offset < 0) Refuse(what + " lies before the start of the file");
    if (offset + bytes > file_.size()) Refuse(what + " lies past the end of the file");
  }

  void CheckChannelCount(int64_t channels) const {
    if (channels <= 0) Refuse("it has no channels");
    if (channels > kAbfMaxChannels) {
      Refuse("it has " + std::to_string(channels) + " channels, more than " +
             std::to_string(kAbfMaxChannels));
    }
  }

  void ReadAbf2() {
    const Fields header = ReadHeaderBytes(kAbf2HeaderBytes, kAbf2HeaderBytes);
    header_.major_version = 2;
    // The version bytes are build, bugfix, minor, major.
    header_.version = std::to_string(header.U8(7)) + "." + std::to_string(header.U8(6)) + "." +
                      std::to_string(header.U8(5)) + "." + std::to_string(header.U8(4));
    layout_.episodes = header.U32(12);
    layout_.data_format = header.I16(30);
    ReadProtocol(SectionAt(header, kProtocolSection));
    ReadAdcSection(SectionAt(header, kAdcSection), SectionAt(header, kStringsSection));
    const Section data = SectionAt(header, kDataSection);
    layout_.data_offset = data.offset;
    layout_.data_samples = data.entries;
    layout_.synch = SectionAt(header, kSynchSection);
  }

  void ReadProtocol(const Section& section) {
    if (section.entries < 1 || section.entry_bytes < kProtocolBytes) {
      Refuse("the protocol section is missing or too short");
    }
    CheckInFile(section.offset, __int128{section.entry_bytes} * section.entries,
                "the protocol section");
    const Fields protocol(file_.BytesAt(section.offset, kProtocolBytes));
    header_.operation_mode = protocol.I16(0);
    header_.interval_us = protocol.F32(2);
    layout_.samples_per_episode = protocol.I32(22);
    header_.adc_range_v = DecimalOf(protocol.F32(110));
    header_.adc_resolution = protocol.I32(118);
  }

  void ReadAdcSection(const Section& adc, const Section& strings_section) {
    CheckChannelCount(adc.entries);
    if (adc.entry_bytes < kAdcEntryBytes) Refuse("the ADC section's entries are too short");
    CheckInFile(adc.offset, __int128{adc.entry_bytes} * adc.entries, "the ADC section");
    const StringsBlock strings = ReadStrings(strings_section);
    for (int64_t c = 0; c < adc.entries; ++c) {
      const Fields entry(file_.BytesAt(adc.offset + c * adc.entry_bytes, kAdcEntryBytes));
      header_.channels.push_back(Abf2Channel(entry, strings));
    }
  }

  // The strings section's entry size is the size of the whole block (its 44-byte header and
  // all its strings) and its entry count the number of strings, in the files seen; the count
  // is not needed to find a string.
  StringsBlock ReadStrings(const Section& section) const {
    CheckInFile(section.offset, section.entry_bytes, "the strings section");
    const int64_t bytes = std::min(section.entry_bytes, kMaxStringsBytes);
    return StringsBlock(file_.BytesAt(section.offset, static_cast<size_t>(bytes)));
  }

  static AbfChannel Abf2Channel(const Fields& entry, const StringsBlock& strings) {
    AbfChannel channel;
    channel.name = Trimmed(strings.At(entry.I32(74)));
    channel.unit = Trimmed(strings.At(entry.I32(78)));
    if (entry.I16(2) != 0) channel.telegraph_gain = DecimalOf(entry.F32(6));
    channel.programmable_gain = DecimalOf(entry.F32(28));
    channel.instrument_scale = DecimalOf(entry.F32(40));
    channel.instrument_offset = DecimalOf(entry.F32(44));
    channel.signal_gain = DecimalOf(entry.F32(48));
    channel.signal_offset = DecimalOf(entry.F32(52));
    return channel;
  }

  void ReadAbf1() {
    const Fields header = ReadHeaderBytes(kAbf1HeaderBytes, kAbf1TelegraphHeaderBytes);
    const float version = header.F32(4);
    // Before 1.6 the header is 2,048 bytes: what stands at the telegraph fields is data.
    const bool telegraph = version >= kAbf1TelegraphVersion;
    if (telegraph && header.size() < kAbf1TelegraphHeaderBytes) {
      Refuse("the file ends inside its header");
    }
    header_.major_version = 1;
    header_.version = ShortestText(version);
    header_.operation_mode = header.I16(8);
    layout_.data_samples = header.I32(10);
    layout_.episodes = header.I32(16);
    layout_.data_offset = int64_t{header.I32(40)} * kBlockBytes;
    layout_.synch = {int64_t{header.I32(92)} * kBlockBytes, kSynchEntryBytes, header.I32(96)};
    layout_.data_format = header.I16(100);
    const int channels = header.I16(120);
    CheckChannelCount(channels);
    header_.interval_us = static_cast<long double>(header.F32(122)) * channels;
    layout_.samples_per_episode = header.I32(138);
    header_.adc_range_v = DecimalOf(header.F32(244));
    header_.adc_resolution = header.I32(252);
    ReadAbf1Channels(header, channels, telegraph);
  }

  // Interleaved position p holds the physical channel of sampling sequence[p].
  void ReadAbf1Channels(const Fields& header, int channels, bool telegraph) {
    for (int p = 0; p < channels; ++p) {
      const int physical = header.I16(410 + 2 * static_cast<size_t>(p));
      if (physical < 0 || physical >= kAbf1PhysicalChannels) {
        Refuse("its sampling sequence names physical channel " + std::to_string(physical) +
               ", not one of 0 to 15");
      }
      header_.channels.push_back(Abf1Channel(header, static_cast<size_t>(physical), telegraph));
    }
  }

  // The per-channel arrays of ABF 1 are indexed by the physical channel.
  static AbfChannel Abf1Channel(const Fields& header, size_t physical, bool telegraph) {
    AbfChannel channel;
    channel.name = Trimmed(header.Text(442 + 10 * physical, 10));
    channel.unit = Trimmed(header.Text(602 + 8 * physical, 8));
    channel.programmable_gain = DecimalOf(header.F32(730 + 4 * physical));
    channel.instrument_scale = DecimalOf(header.F32(922 + 4 * physical));
    channel.instrument_offset = DecimalOf(header.F32(986 + 4 * physical));
    channel.signal_gain = DecimalOf(header.F32(1050 + 4 * physical));
    channel.signal_offset = DecimalOf(header.F32(1114 + 4 * physical));
    if (telegraph && header.I16(4512 + 2 * physical) != 0) {
      channel.telegraph_gain = DecimalOf(header.F32(4576 + 4 * physical));
    }
    return channel;
  }

  void CheckValues() {
    if (header_.operation_mode < 1 || header_.operation_mode > 5) {
      Refuse("its operation mode " + std::to_string(header_.operation_mode) + " is unknown");
    }
    if (layout_.data_format != 0 && layout_.data_format != 1) {
      Refuse("its data format " + std::to_string(layout_.data_format) + " is unknown");
    }
    header_.float_samples = layout_.data_format == 1;
    if (!(std::isfinite(header_.interval_us) && header_.interval_us > 0)) {
      Refuse("its sample interval is not a positive number");
    }
    if (!header_.float_samples) CheckScaling();
  }

  // Only int16 counts are scaled; a scale that would give infinities or NaN is refused.
  void CheckScaling() const {
    if (!(std::isfinite(header_.adc_range_v) && header_.adc_range_v > 0)) {
      Refuse("its ADC range is not a positive number");
    }
    if (header_.adc_resolution <= 0) Refuse("its ADC resolution is not positive");
    for (size_t c = 0; c < header_.channels.size(); ++c) {
      const AbfChannel& channel = header_.channels[c];
      const std::string which = "channel " + std::to_string(c + 1);
      const double gain = channel.instrument_scale * channel.signal_gain *
                          channel.programmable_gain * channel.telegraph_gain;
      if (gain == 0) Refuse("the gains of " + which + " multiply to 0");
      if (!std::isfinite(gain)) Refuse("the gains of " + which + " are not finite");
      if (!std::isfinite(channel.instrument_offset) || !std::isfinite(channel.signal_offset)) {
        Refuse("the offsets of " + which + " are not finite");
      }
    }
  }

  void CheckDataSection() {
    if (layout_.data_offset < 0) Refuse("the data section lies before the start of the file");
    if (layout_.data_samples < 0) Refuse("the data section has a negative size");
    if (layout_.data_samples > 0 && layout_.data_offset >= file_.size()) {
      Refuse("the data section lies past the end of the file");
    }
    header_.data_offset = layout_.data_offset;
  }

  int64_t Channels() const { return static_cast<int64_t>(header_.channels.size()); }

  // Frames that lie wholly in the data section and in the file.
  int64_t FramesInFile() const {
    const int64_t frame_bytes = Channels() * header_.BytesPerSample();
    const int64_t in_section = layout_.data_samples / Channels();
    const int64_t in_file =
        file_.size() > layout_.data_offset ? (file_.size() - layout_.data_offset) / frame_bytes : 0;
    return std::min(in_section, in_file);
  }

  void CheckRecordCount(int64_t records) const {
    if (records > kAbfMaxRecords) {
      Refuse("it holds more than " + std::to_string(kAbfMaxRecords) + " records");
    }
  }

  void ListRecords() {
    switch (header_.operation_mode) {
      case 1:
        ListEvents();
        break;
      case 3:
        ListGapFree();
        break;
      default:
        ListSweeps();
        break;
    }
  }

  // Modes 2, 4 and 5: sweeps of samples per episode / channels frames, one after the other.
  void ListSweeps() {
    const int64_t samples = layout_.samples_per_episode;
    if (samples <= 0 || samples % Channels() != 0) {
      Refuse("its samples per episode (" + std::to_string(samples) +
             ") are not a positive multiple of its " + ChannelCount(Channels()));
    }
    if (layout_.episodes < 0) Refuse("its number of sweeps is negative");
    const int64_t frames = samples / Channels();
    const int64_t count = std::min(layout_.episodes, FramesInFile() / frames);
    CheckRecordCount(count);
    for (int64_t s = 0; s < count; ++s) header_.records.push_back({s * frames, frames});
  }

  // Mode 3: the stream cut into records; the last one is shorter.
  void ListGapFree() {
    const int64_t total = layout_.data_samples / Channels();
    const int64_t per_record = GapFreeRecordFrames(header_.interval_us);
    const int64_t available = FramesInFile();
    // With the whole stream in the file the short last record is listed; otherwise only the
    // full records before the end of the file are.
    const int64_t count = available == total ? total / per_record + (total % per_record != 0)
                                             : available / per_record;
    CheckRecordCount(count);
    for (int64_t k = 0; k < count; ++k) {
      const int64_t first = k * per_record;
      header_.records.push_back({first, std::min(per_record, total - first)});
    }
  }

  // Mode 1: one sweep per synch-array entry, the sweeps following one another in the data.
  void ListEvents() {
    const std::vector<int64_t> lengths = ReadSynchLengths();
    const int64_t available = FramesInFile();
    int64_t first = 0;
    for (int64_t length : lengths) {
      const int64_t frames = length / Channels();
      if (first + frames > available) break;
      header_.records.push_back({first, frames});
      first += frames;
    }
  }

  // The lengths (samples of all channels together) of the synch-array entries, checked.
  std::vector<int64_t> ReadSynchLengths() const {
    const Section& synch = layout_.synch;
    if (synch.entries < 0) Refuse("the synch array has a negative number of entries");
    if (synch.entries == 0) return {};
    if (synch.entries > kAbfMaxRecords) {
      Refuse("the synch array has more than " + std::to_string(kAbfMaxRecords) + " entries");
    }
    if (synch.entry_bytes < kSynchEntryBytes) Refuse("the synch array's entries are too short");
    CheckInFile(synch.offset, __int128{synch.entry_bytes} * synch.entries, "the synch array");
    const std::vector<int64_t> lengths = SynchLengths();
    for (size_t i = 0; i < lengths.size(); ++i) {
      if (lengths[i] <= 0 || lengths[i] % Channels() != 0) {
        Refuse("synch-array entry " + std::to_string(i + 1) + " has a length of " +
               std::to_string(lengths[i]) + ", not a positive multiple of its " +
               ChannelCount(Channels()));
      }
    }
    return lengths;
  }

  // Entries of 8 bytes (all files seen) are read in one go, longer ones one at a time.
  std::vector<int64_t> SynchLengths() const {
    const Section& synch = layout_.synch;
    const bool packed = synch.entry_bytes == kSynchEntryBytes;
    const Fields packed_entries(
        packed ? file_.BytesAt(synch.offset, static_cast<size_t>(synch.entries * kSynchEntryBytes))
               : std::string());
    std::vector<int64_t> lengths;
    for (int64_t i = 0; i < synch.entries; ++i) {
      if (packed) {
        lengths.push_back(packed_entries.I32(static_cast<size_t>(i * kSynchEntryBytes) + 4));
      } else {
        const Fields entry(file_.BytesAt(synch.offset + i * synch.entry_bytes, kSynchEntryBytes));
        lengths.push_back(entry.I32(4));
      }
    }
    return lengths;
  }

  const BinaryFile& file_;
  AbfHeader header_;
  DataLayout layout_;
};

}  // namespace

bool HasAbfSignature(const std::string& first_bytes) {
  return first_bytes.starts_with("ABF ") || first_bytes.starts_with("ABF2");
}

AbfHeader ReadAbfHeader(const BinaryFile& file) { return AbfHeaderReader(file).Read(); }

}  // namespace ictalscope
