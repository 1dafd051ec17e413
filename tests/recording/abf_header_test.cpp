#include "recording/abf_header.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "recording_fixture.h"
#include "support/scratch_directory.h"
#include "writer/abf_writer.h"

namespace ictalscope {
namespace {

using testing::ScratchDirectory;
using writer::AbfDescription;
using writer::AbfLayout;
using writer::AbfMode;
using writer::AbfWriterChannel;
using writer::PatchAbf;
namespace a1 = writer::abf1;
namespace a2 = writer::abf2;

// Records as (first frame, frames).
using Spans = std::vector<std::pair<int64_t, int64_t>>;
Spans SpansOf(const std::vector<AbfRecord>& records) {
  Spans spans;
  for (const AbfRecord& r : records) spans.emplace_back(r.first_frame, r.frames);
  return spans;
}

AbfHeader HeaderOf(const std::string& path) {
  BinaryFile file(path);
  return ReadAbfHeader(file);
}

AbfHeader HeaderOfBytes(const std::string& bytes) {
  testing::WriteFile("t.abf", bytes);
  return HeaderOf("t.abf");
}

// One channel of a record, read with plain code: the raw counts or floats, or (`scaled`) int16
// counts turned into the channel's units by the scaling rule, in long double.
std::vector<long double> RecordSamples(const std::string& path, const AbfHeader& h,
                                       const AbfRecord& record, size_t channel, bool scaled) {
  const int64_t frame_bytes = static_cast<int64_t>(h.channels.size()) * h.BytesPerSample();
  std::string bytes(static_cast<size_t>(record.frames * frame_bytes), '\0');
  std::ifstream in(path, std::ios::binary);
  in.seekg(h.data_offset + record.first_frame * frame_bytes);
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  EXPECT_TRUE(in) << path;
  const AbfChannel& c = h.channels[channel];
  const long double gain = static_cast<long double>(c.instrument_scale) * c.signal_gain *
                           c.programmable_gain * c.telegraph_gain;
  std::vector<long double> out;
  for (int64_t k = 0; k < record.frames; ++k) {
    const char* p = bytes.data() + k * frame_bytes + channel * h.BytesPerSample();
    float f;
    int16_t raw;
    std::memcpy(h.float_samples ? static_cast<void*>(&f) : &raw, p, h.BytesPerSample());
    if (h.float_samples) {
      out.push_back(f);
    } else if (!scaled) {
      out.push_back(raw);
    } else {
      out.push_back(raw / gain * static_cast<long double>(h.adc_range_v) / h.adc_resolution +
                    static_cast<long double>(c.instrument_offset) - c.signal_offset);
    }
  }
  return out;
}

// Sweeps of the given lengths; sample k of channel c in sweep s is distinct from all others.
AbfDescription Describe(int major, AbfMode mode, bool floats,
                        std::vector<AbfWriterChannel> channels, const std::vector<int>& lengths) {
  AbfDescription d;
  d.major_version = major;
  d.mode = mode;
  d.float_samples = floats;
  d.channels = std::move(channels);
  for (size_t s = 0; s < lengths.size(); ++s) {
    writer::AbfSweep& sweep = d.sweeps.emplace_back();
    for (size_t c = 0; c < d.channels.size(); ++c) {
      std::vector<int16_t>& counts = sweep.counts.emplace_back();
      std::vector<float>& values = sweep.values.emplace_back();
      for (int k = 0; k < lengths[s]; ++k) {
        counts.push_back(static_cast<int16_t>(static_cast<int>(s * 1000 + c * 100) + k - 500));
        values.push_back(counts.back() * 0.5f + 0.25f);
      }
    }
    if (floats) {
      sweep.counts.clear();
    } else {
      sweep.values.clear();
    }
  }
  return d;
}

AbfWriterChannel Vm(int physical = -1) { return {"IN 0", "mV", physical, 0.01f}; }
AbfWriterChannel Current(int physical = -1, bool telegraph = true) {
  return {"I_mem", "pA", physical, 0.0005f, 2, 4, telegraph, 2.5f, 0.25f, 0.125f};
}
AbfWriterChannel Microvolts() { return {" Vext", " \xB5V ", -1, 0.0001f}; }
// The header's view of them: the decimals that the float32 fields were written from.
const AbfChannel kVmSeen{"IN 0", "mV", 0.01};
AbfChannel CurrentSeen(double telegraph) {
  return {"I_mem", "pA", 0.0005, 2, 4, telegraph, 0.25, 0.125};
}
const AbfChannel kMicrovoltsSeen{"Vext", "\xB5V", 0.0001};

struct WrittenCase {
  std::string name;
  AbfDescription description;
  std::string version;
  long double interval_us;
  std::vector<AbfChannel> channels;
  int64_t data_offset;
  Spans records;
};

std::vector<WrittenCase> WrittenCases() {
  std::vector<WrittenCase> cases;
  auto add = [&](std::string name, AbfDescription d, std::string version, long double interval,
                 std::vector<AbfChannel> channels, int64_t offset, Spans records) {
    cases.push_back({name, d, version, interval, channels, offset, records});
  };
  const Spans three_of_four = {{0, 4}, {4, 4}, {8, 4}},
              gap_free = {{0, 300}, {300, 300}, {600, 100}};
  AbfDescription d = Describe(2, AbfMode::kEpisodic, false, {Vm(), Current()}, {4, 4, 4});
  add("abf2_episodic", d, "2.6.0.0", 50, {kVmSeen, CurrentSeen(2.5)}, 2048, three_of_four);
  d = Describe(2, AbfMode::kFixedLengthEvents, true, {Vm()}, {5, 5});
  d.abf2_version = {2, 9, 1, 3};
  d.interval_us = 2480;
  add("abf2_fixed_length_float32", d, "2.9.1.3", 2480, {kVmSeen}, 2048, {{0, 5}, {5, 5}});
  d = Describe(2, AbfMode::kOscilloscope, false, {Vm(), Current(-1, false), Microvolts()}, {3});
  add("abf2_oscilloscope_telegraph_off", d, "2.6.0.0", 50,
      {kVmSeen, CurrentSeen(1), kMicrovoltsSeen}, 2048, {{0, 3}});
  d = Describe(2, AbfMode::kGapFree, false, {Vm(), Current()}, {700});
  d.interval_us = 1e6;  // records of 300 samples
  add("abf2_gap_free", d, "2.6.0.0", 1e6, {kVmSeen, CurrentSeen(2.5)}, 2048, gap_free);
  d = Describe(2, AbfMode::kEventDriven, false, {Vm(), Current()}, {3, 7, 1});
  add("abf2_events", d, "2.6.0.0", 50, {kVmSeen, CurrentSeen(2.5)}, 2560,
      {{0, 3}, {3, 7}, {10, 1}});
  d.synch_array_after_data = true;
  add("abf2_events_synch_after_data", d, "2.6.0.0", 50, {kVmSeen, CurrentSeen(2.5)}, 2048,
      {{0, 3}, {3, 7}, {10, 1}});
  // ABF 1: the arrays at the physical channels 5 and 7; the interleaved interval is 25 us.
  d = Describe(1, AbfMode::kEpisodic, false, {Vm(5), Current(7)}, {4, 4, 4});
  add("abf1_183_physical_5_7", d, "1.83", 50, {kVmSeen, CurrentSeen(2.5)}, 5120, three_of_four);
  d.abf1_version = 1.5f;  // the 2,048-byte header, without telegraphs
  add("abf1_15_no_telegraph", d, "1.5", 50, {kVmSeen, CurrentSeen(1)}, 2048, three_of_four);
  d.abf1_version = 1.6f;
  add("abf1_16_telegraph", d, "1.6", 50, {kVmSeen, CurrentSeen(2.5)}, 5120, three_of_four);
  d = Describe(1, AbfMode::kGapFree, true, {Vm(), Current(), Microvolts()}, {700});
  d.interval_us = 1e6;  // 333333.34375 per interleaved sample: 300 samples per record
  add("abf1_gap_free_float32", d, "1.83", static_cast<long double>(1e6f / 3) * 3,
      {kVmSeen, CurrentSeen(2.5), kMicrovoltsSeen}, 5120, gap_free);
  d = Describe(1, AbfMode::kEventDriven, false, {Current()}, {5, 2});
  d.abf1_version = 1.3f;
  add("abf1_13_events", d, "1.3", 50, {CurrentSeen(1)}, 2560, {{0, 5}, {5, 2}});
  d = Describe(1, AbfMode::kFixedLengthEvents, true, {Vm(), Vm(3)}, {2, 2});
  add("abf1_fixed_length_float32", d, "1.83", 50, {kVmSeen, kVmSeen}, 5120, {{0, 2}, {2, 2}});
  return cases;
}

auto Fields(const AbfChannel& c) {
  return std::tie(c.name, c.unit, c.instrument_scale, c.signal_gain, c.programmable_gain,
                  c.telegraph_gain, c.instrument_offset, c.signal_offset);
}

// The samples the writer was given, each channel's sweeps one after the other.
std::vector<long double> Stream(const AbfDescription& d, size_t channel) {
  std::vector<long double> stream;
  for (const writer::AbfSweep& sweep : d.sweeps) {
    if (d.float_samples) {
      stream.insert(stream.end(), sweep.values[channel].begin(), sweep.values[channel].end());
    } else {
      stream.insert(stream.end(), sweep.counts[channel].begin(), sweep.counts[channel].end());
    }
  }
  return stream;
}

TEST(AbfHeader, WrittenFilesGiveTheirHeaderAndRecords) {
  ScratchDirectory dir;
  for (const WrittenCase& wc : WrittenCases()) {
    SCOPED_TRACE(wc.name);
    const AbfDescription& d = wc.description;
    writer::WriteAbfFile("w.abf", d);
    const AbfHeader h = HeaderOf("w.abf");
    EXPECT_EQ(h.major_version, d.major_version);
    EXPECT_EQ(h.version, wc.version);
    EXPECT_EQ(h.operation_mode, static_cast<int>(d.mode));
    EXPECT_EQ(h.float_samples, d.float_samples);
    EXPECT_EQ(h.interval_us, wc.interval_us);
    EXPECT_EQ(h.adc_range_v, 10);
    EXPECT_EQ(h.adc_resolution, 32768);
    EXPECT_EQ(h.data_offset, wc.data_offset);
    EXPECT_EQ(SpansOf(h.records), wc.records);
    ASSERT_EQ(h.channels.size(), wc.channels.size());
    for (size_t c = 0; c < h.channels.size(); ++c) {
      EXPECT_EQ(Fields(h.channels[c]), Fields(wc.channels[c]));
      const std::vector<long double> stream = Stream(d, c);
      for (const AbfRecord& r : h.records) {
        const auto first = stream.begin() + r.first_frame;
        EXPECT_EQ(RecordSamples("w.abf", h, r, c, false),
                  std::vector<long double>(first, first + r.frames))
            << "channel " << c;
      }
    }
  }
}

// Records of 300 s rounded half away from zero, at least 1 and at most 10,000,001 samples.
TEST(AbfHeader, GapFreeStreamsAreCutIntoRecords) {
  struct Case {
    float interval_us;
    int64_t frames;
    Spans records;
  };
  const std::vector<Case> cases = {
      {1e6f, 600, {{0, 300}, {300, 300}}},   {1e6f, 601, {{0, 300}, {300, 300}, {600, 1}}},
      {960000, 626, {{0, 313}, {313, 313}}},  // 312.5 samples
      {1e30f, 3, {{0, 1}, {1, 1}, {2, 1}}},  {1, 10'000'003, {{0, 10'000'001}, {10'000'001, 2}}},
      {50, 184320, {{0, 184320}}},           {50, 0, {}},
  };
  ScratchDirectory dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.interval_us) + " us, " + std::to_string(c.frames));
    AbfDescription d = Describe(2, AbfMode::kGapFree, false, {Vm()}, {});
    d.interval_us = c.interval_us;
    const writer::AbfCountSource ramp = [](int64_t first, int64_t n, int16_t* out) {
      for (int64_t k = 0; k < n; ++k) out[k] = static_cast<int16_t>(first + k);
    };
    writer::WriteStreamedGapFreeAbf("g.abf", d, c.frames, ramp);
    const AbfHeader h = HeaderOf("g.abf");
    EXPECT_EQ(SpansOf(h.records), c.records);
    if (h.records.empty()) continue;
    const AbfRecord& last = h.records.back();
    EXPECT_EQ(RecordSamples("g.abf", h, last, 0, false).back(),
              static_cast<int16_t>(last.first_frame + last.frames - 1));
  }
}

// Records that do not lie wholly in the data section and the file are left out.
TEST(AbfHeader, TruncatedDataGivesFewerRecords) {
  struct Case {
    std::string name;
    AbfDescription description;
    int64_t data_bytes_kept;
    int64_t section_samples;  // patched into the ABF 2 data section; 0: as written
    size_t records;
  };
  const AbfDescription sweeps = Describe(2, AbfMode::kEpisodic, false, {Vm(), Vm()}, {4, 4, 4});
  const AbfDescription events = Describe(1, AbfMode::kEventDriven, false, {Vm(), Vm()}, {2, 5, 1});
  AbfDescription stream = Describe(2, AbfMode::kGapFree, true, {Vm()}, {700});
  stream.interval_us = 1e6;
  const std::vector<Case> cases = {
      {"sweeps_whole", sweeps, 48, 0, 3},
      {"sweeps_one_byte_short", sweeps, 47, 0, 2},
      {"sweeps_one_byte_of_data", sweeps, 1, 0, 0},
      {"sweeps_section_says_20", sweeps, 48, 20, 2},
      {"events_inside_second", events, 27, 0, 1},
      {"events_whole", events, 32, 0, 3},
      {"stream_inside_last", stream, 2799, 0, 2},
      {"stream_inside_second", stream, 2399, 0, 1},
      {"stream_section_says_601", stream, 2800, 601, 3},
  };
  ScratchDirectory dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string bytes = writer::AbfFileBytes(c.description);
    bytes.resize(
        static_cast<size_t>(writer::AbfLayoutOf(c.description).data_offset + c.data_bytes_kept));
    if (c.section_samples != 0) {
      PatchAbf<int64_t>(bytes, a2::SectionEntry(a2::kDataSection) + a2::kSectionEntries,
                        c.section_samples);
    }
    EXPECT_EQ(HeaderOfBytes(bytes).records.size(), c.records);
  }
}

using Patch = std::function<void(std::string&, const AbfLayout&)>;
template <typename T>
Patch At(int64_t offset, T value) {
  return [=](std::string& b, const AbfLayout&) { PatchAbf<T>(b, offset, value); };
}
template <typename T>
Patch Protocol(int64_t field, T value) {
  return
      [=](std::string& b, const AbfLayout& l) { PatchAbf<T>(b, l.protocol_offset + field, value); };
}
template <typename T>
Patch Adc(int channel, int64_t field, T value) {
  return [=](std::string& b, const AbfLayout& l) {
    PatchAbf<T>(b, l.adc_offset + channel * a2::kAdcEntryBytes + field, value);
  };
}
template <typename T>
Patch Section(int section, int64_t field, T value) {
  return At<T>(a2::SectionEntry(section) + field, value);
}
Patch SynchLength(int entry, int32_t length) {
  return [=](std::string& b, const AbfLayout& l) {
    PatchAbf(b, l.synch_offset + 8 * entry + 4, length);
  };
}
Patch CutTo(size_t size) {
  return [=](std::string& b, const AbfLayout&) { b.resize(size); };
}
// A million and one one-sample sweeps, all in the file.
void MillionAndOneSweeps(std::string& b, const AbfLayout& l) {
  PatchAbf<uint32_t>(b, a2::kEpisodes, 1'000'001);
  PatchAbf<int32_t>(b, l.protocol_offset + a2::kSamplesPerEpisode, 2);  // of 2 channels
  PatchAbf<int64_t>(b, a2::SectionEntry(a2::kDataSection) + a2::kSectionEntries, 2'000'002);
  b.resize(static_cast<size_t>(l.data_offset + 4'000'004));
}

TEST(AbfHeader, BrokenFilesAreRefusedWithTheirProblem) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const AbfDescription v2 = Describe(2, AbfMode::kEpisodic, false, {Vm(), Current()}, {4, 4});
  const AbfDescription v2_events = Describe(2, AbfMode::kEventDriven, false, {Vm(), Vm()}, {2, 3});
  const AbfDescription v1 = Describe(1, AbfMode::kEpisodic, false, {Vm(), Current()}, {4, 4});
  const AbfDescription v1_events = Describe(1, AbfMode::kEventDriven, false, {Vm()}, {2, 3});
  const std::string kNotAbf = "it does not begin with \"ABF \" or \"ABF2\"";
  const std::string kInHeader = "the file ends inside its header";
  const std::string kInterval = "its sample interval is not a positive number";
  const std::string kNotMultiple = " not a positive multiple of its 2 channels";
  const std::vector<std::tuple<const AbfDescription&, Patch, std::string>> cases = {
      {v2, At<char>(3, '3'), kNotAbf},
      {v2, CutTo(331), kInHeader},
      {v1, CutTo(1177), kInHeader},
      {v1, CutTo(4639), kInHeader},  // 1.83: the telegraph fields are cut
      {v2, Section<uint32_t>(a2::kProtocolSection, a2::kSectionBytes, 121),
       "the protocol section is missing or too short"},
      {v2, Section<uint32_t>(a2::kProtocolSection, a2::kSectionBlock, 9),
       "the protocol section lies past the end of the file"},
      {v2, Section<int64_t>(a2::kAdcSection, a2::kSectionEntries, int64_t{1} << 40),
       "it has 1099511627776 channels, more than 16"},
      {v2, Section<uint32_t>(a2::kAdcSection, a2::kSectionBytes, 81),
       "the ADC section's entries are too short"},
      {v2, Section<uint32_t>(a2::kAdcSection, a2::kSectionBytes, 0xFFFFFFFF),
       "the ADC section lies past the end of the file"},
      {v2, Section<uint32_t>(a2::kStringsSection, a2::kSectionBlock, 0xFFFFFFFF),
       "the strings section lies past the end of the file"},
      {v2, Section<uint32_t>(a2::kDataSection, a2::kSectionBlock, 5),
       "the data section lies past the end of the file"},
      {v2, Section<int64_t>(a2::kDataSection, a2::kSectionEntries, -1),
       "the data section has a negative size"},
      {v2, At<int16_t>(a2::kDataFormat, 2), "its data format 2 is unknown"},
      {v2, Protocol<int16_t>(a2::kOperationMode, 6), "its operation mode 6 is unknown"},
      {v2, Protocol<float>(a2::kInterval, nan), kInterval},
      {v2, Protocol<float>(a2::kAdcRange, 0), "its ADC range is not a positive number"},
      {v2, Protocol<int32_t>(a2::kAdcResolution, 0), "its ADC resolution is not positive"},
      {v2, Adc<float>(1, a2::kTelegraphGain, 0), "the gains of channel 2 multiply to 0"},
      {v2, Adc<float>(0, a2::kSignalGain, inf), "the gains of channel 1 are not finite"},
      {v2, Adc<float>(1, a2::kSignalOffset, nan), "the offsets of channel 2 are not finite"},
      {v2, Protocol<int32_t>(a2::kSamplesPerEpisode, 7),
       "its samples per episode (7) are" + kNotMultiple},
      {v2, MillionAndOneSweeps, "it holds more than 1000000 records"},
      {v2_events, Section<int64_t>(a2::kSynchSection, a2::kSectionEntries, 1'000'001),
       "the synch array has more than 1000000 entries"},
      {v2_events, Section<uint32_t>(a2::kSynchSection, a2::kSectionBytes, 7),
       "the synch array's entries are too short"},
      {v2_events, Section<int64_t>(a2::kSynchSection, a2::kSectionEntries, 1000),
       "the synch array lies past the end of the file"},
      {v2_events, SynchLength(0, 5), "synch-array entry 1 has a length of 5," + kNotMultiple},
      {v1, At<int16_t>(a1::kChannelCount, 0), "it has no channels"},
      {v1, At<int16_t>(a1::kChannelCount, 17), "it has 17 channels, more than 16"},
      {v1, At<int16_t>(a1::kSamplingSequence + 2, 16),
       "its sampling sequence names physical channel 16, not one of 0 to 15"},
      {v1, At<float>(a1::kStreamInterval, 0), kInterval},
      {v1, At<float>(a1::kInstrumentScale + 4, 0), "the gains of channel 2 multiply to 0"},
      {v1, At<float>(a1::kTelegraphGain + 4, 0), "the gains of channel 2 multiply to 0"},
      {v1, At<int32_t>(a1::kDataBlock, -1), "the data section lies before the start of the file"},
      {v1, At<int32_t>(a1::kEpisodes, -1), "its number of sweeps is negative"},
      {v1_events, At<int32_t>(a1::kSynchEntries, 100),
       "the synch array lies past the end of the file"},
      {v1_events, SynchLength(0, -1),
       "synch-array entry 1 has a length of -1, not a positive multiple of its 1 channel"},
  };
  ScratchDirectory dir;
  for (const auto& [description, patch, problem] : cases) {
    SCOPED_TRACE(problem);
    std::string bytes = writer::AbfFileBytes(description);
    patch(bytes, writer::AbfLayoutOf(description));
    EXPECT_THROW_MSG(HeaderOfBytes(bytes), "Invalid ABF file t.abf: " + problem);
  }
}

// Oddities that are no reason to refuse a file.
TEST(AbfHeader, ToleratedOddities) {
  ScratchDirectory dir;
  const AbfDescription v2 = Describe(2, AbfMode::kEpisodic, false, {Vm(), Current(-1, false)}, {7});
  const AbfLayout l2 = writer::AbfLayoutOf(v2);
  std::string bytes = writer::AbfFileBytes(v2);
  const int64_t second = l2.adc_offset + a2::kAdcEntryBytes;
  PatchAbf<int32_t>(bytes, l2.adc_offset + a2::kNameIndex, 0);  // string indices of no string
  PatchAbf<int32_t>(bytes, l2.adc_offset + a2::kUnitIndex, -5);
  PatchAbf<int32_t>(bytes, second + a2::kNameIndex, 1000);
  PatchAbf<int32_t>(bytes, second + a2::kUnitIndex, 1);    // the creator's name
  PatchAbf<float>(bytes, second + a2::kTelegraphGain, 0);  // while the telegraph is off
  AbfHeader h = HeaderOfBytes(bytes);
  EXPECT_EQ(h.channels[0].name + "|" + h.channels[0].unit + "|" + h.channels[1].name, "||");
  EXPECT_EQ(h.channels[1].unit, "ictalscope test writer");
  EXPECT_EQ(h.channels[1].telegraph_gain, 1);
  // float32 samples are not scaled: their gains and ADC resolution do not matter.
  const AbfDescription floats = Describe(2, AbfMode::kEpisodic, true, {Vm()}, {3});
  const AbfLayout lf = writer::AbfLayoutOf(floats);
  bytes = writer::AbfFileBytes(floats);
  PatchAbf<float>(bytes, lf.adc_offset + a2::kInstrumentScale, 0);
  PatchAbf<int32_t>(bytes, lf.protocol_offset + a2::kAdcResolution, 0);
  EXPECT_EQ(SpansOf(HeaderOfBytes(bytes).records), (Spans{{0, 3}}));
  // Before 1.6 the bytes at the telegraph fields are data: here a "telegraph" of gain 0.
  AbfDescription v1 = Describe(1, AbfMode::kEpisodic, false, {Current()}, {1400});
  v1.abf1_version = 1.5f;
  bytes = writer::AbfFileBytes(v1);
  PatchAbf<int16_t>(bytes, a1::kTelegraphEnable, 1);
  PatchAbf<float>(bytes, a1::kTelegraphGain, 0);
  EXPECT_EQ(HeaderOfBytes(bytes).channels[0].telegraph_gain, 1);
}

TEST(AbfHeader, SignatureIsAbfBlankOrAbf2) {
  for (const char* yes : {"ABF ", "ABF2", "ABF2 and more"})
    EXPECT_TRUE(HasAbfSignature(yes)) << yes;
  for (const char* no : {"", "ABF", "abf2", "ABF1", " ABF2"})
    EXPECT_FALSE(HasAbfSignature(no)) << no;
}

std::string RealFile(const std::string& name) {
  return std::string(ICTALSCOPE_REAL_DATA_DIR) + "/" + name;
}

// What the real-data README tells of the six files ("?": a name it does not give), and the
// intervals that the protocol names give ("10kHzAquisitionTriggered.pro", "... 2480us.pro").
// The README gives 20 kHz for pyabf_2020_07_29_0062.abf, but its protocol holds 100 us per
// channel; its voltage carries one sharp line, at 166.7 samples: 60 Hz mains at 10 kHz.
// Sweep counts and lengths are checked against the published values below.
TEST(AbfHeader, RealFiles) {
  struct Case {
    std::string file, version;
    int mode;
    bool floats;
    std::vector<std::string> names, units;
    long double interval_us;  // 0: not told
  };
  const std::vector<Case> cases = {
      {"pyabf_17o05028_ic_steps.abf", "2.6.0.0", 5, false, {"IN 0"}, {"mV"}, 50},
      {"pyabf_File_axon_3.abf", "1.83", 5, false, {"stim", "VmRK"}, {"V", "mV"}, 50},
      {"pyabf_2020_07_29_0062.abf", "2.9.0.0", 3, false, {"Potential", "I_Com"}, {"mV", "pA"}, 100},
      {"pyabf_invalidDate-abf1.abf", "1.3", 5, false, {"?"}, {"pA"}, 0},
      {"pyabf_2020_06_16_0001.abf", "2.3.0.0", 1, false, {"?"}, {"pA"}, 100},
      {"pyabf_File_axon_7.abf", "2.6.0.0", 5, true, {"IN 1"}, {"pA"}, 2480},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const AbfHeader h = HeaderOf(RealFile(c.file));
    EXPECT_EQ(h.version, c.version);
    EXPECT_EQ(h.major_version, c.version[0] - '0');
    EXPECT_EQ(h.operation_mode, c.mode);
    EXPECT_EQ(h.float_samples, c.floats);
    if (c.interval_us != 0) {
      EXPECT_EQ(h.interval_us, c.interval_us);
    }
    ASSERT_EQ(h.channels.size(), c.units.size());
    for (size_t i = 0; i < c.units.size(); ++i) {
      if (c.names[i] != "?") {
        EXPECT_EQ(h.channels[i].name, c.names[i]);
      }
      EXPECT_EQ(h.channels[i].unit, c.units[i]);
    }
  }
}

struct PublishedSweep {
  std::string file;
  size_t sweep = 0, channel = 0;  // from 0
  int64_t samples = 0;
  long double first = 0, last = 0, stdev = 0;
};

std::vector<PublishedSweep> PublishedSweeps() {
  std::ifstream in(RealFile("abf_sweep_values.csv"));
  std::string line;
  std::getline(in, line);  // column names
  std::vector<PublishedSweep> rows;
  while (std::getline(in, line)) {
    std::vector<std::string> cells;
    std::stringstream fields(line);
    for (std::string cell; std::getline(fields, cell, ',');) cells.push_back(cell);
    if (cells.size() != 7) continue;
    rows.push_back({cells[0], std::stoul(cells[1]) - 1, std::stoul(cells[2]) - 1,
                    std::stoll(cells[3]), std::stold(cells[4]), std::stold(cells[5]),
                    std::stold(cells[6])});
  }
  return rows;
}

// Every published sweep of the real files, from the header's offsets, record boundaries and
// gains. The published values are float32 numbers printed with 8 decimals ("-0.28999999" for
// -0.29), so the first and last samples, in long double, are rounded to float32 before they
// are compared to within 5e-9; the standard deviations come from float32 sums and agree to
// within 1.5e-7 relative.
TEST(AbfHeader, RealFilesMatchTheirPublishedSweepValues) {
  const std::vector<PublishedSweep> rows = PublishedSweeps();
  ASSERT_EQ(rows.size(), 92u);
  std::map<std::string, AbfHeader> headers;
  std::map<std::string, size_t> sweeps;
  for (const PublishedSweep& row : rows) {
    SCOPED_TRACE(row.file + " sweep " + std::to_string(row.sweep + 1) + " channel " +
                 std::to_string(row.channel + 1));
    if (!headers.contains(row.file)) headers.emplace(row.file, HeaderOf(RealFile(row.file)));
    const AbfHeader& h = headers.at(row.file);
    sweeps[row.file] = std::max(sweeps[row.file], row.sweep + 1);
    ASSERT_LT(row.sweep, h.records.size());
    ASSERT_LT(row.channel, h.channels.size());
    const std::vector<long double> v =
        RecordSamples(RealFile(row.file), h, h.records[row.sweep], row.channel, true);
    ASSERT_EQ(static_cast<int64_t>(v.size()), row.samples);
    EXPECT_NEAR(static_cast<float>(v.front()), row.first, 5e-9);
    EXPECT_NEAR(static_cast<float>(v.back()), row.last, 5e-9);
    long double mean = 0, squares = 0;
    for (long double x : v) mean += x;
    mean /= v.size();
    for (long double x : v) squares += (x - mean) * (x - mean);
    EXPECT_NEAR(std::sqrt(squares / v.size()), row.stdev, 1.5e-7 * row.stdev);
  }
  ASSERT_EQ(headers.size(), 6u);
  for (const auto& [file, count] : sweeps)
    EXPECT_EQ(headers.at(file).records.size(), count) << file;
}

}  // namespace
}  // namespace ictalscope
