// Loads written ABF 1 and ABF 2 files through the loader and compares the trace, the panel
// fields and ws.recording with what the format's rules give for the record and channel loaded.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "recording/loader.h"
#include "recording_fixture.h"
#include "writer/abf_writer.h"

namespace ictalscope {
namespace {

using testing::RecordingTest;
using writer::AbfDescription;
using writer::AbfMode;
using writer::AbfWriterChannel;
using writer::PatchAbf;
namespace a2 = writer::abf2;

// A channel as the test writes it: its gains and offsets are the decimals the float32 fields
// are written from, so that the expectations use the numbers the acquisition program meant.
struct Chan {
  std::string name;
  std::string unit;
  int physical = -1;
  long double scale = 1;
  long double signal_gain = 1;
  long double programmable_gain = 1;
  bool telegraph = false;
  long double telegraph_gain = 1;
  long double instrument_offset = 0;
  long double signal_offset = 0;
};

AbfWriterChannel ToWriter(const Chan& c) {
  return {.name = c.name,
          .unit = c.unit,
          .physical = c.physical,
          .instrument_scale = static_cast<float>(c.scale),
          .signal_gain = static_cast<float>(c.signal_gain),
          .programmable_gain = static_cast<float>(c.programmable_gain),
          .telegraph = c.telegraph,
          .telegraph_gain = static_cast<float>(c.telegraph_gain),
          .instrument_offset = static_cast<float>(c.instrument_offset),
          .signal_offset = static_cast<float>(c.signal_offset)};
}

// Gains and offsets that are not binary fractions (0.01f is 0.0099999998), so that a reader
// that took the float32's exact value would be off by more than the tolerance.
Chan Vm(std::string name = "IN 0") { return {name, "mV", -1, 0.01L}; }
Chan ScaledVm(int physical = -1) {
  return {"Vm", "mV", physical, 0.02L, 5, 2, true, 0.5L, 0.3L, 0.07L};
}
Chan Volts(std::string name = "Vcmd") { return {name, "V", -1, 0.1L, 1, 1, false, 1, 0.01L}; }
Chan Microvolts() { return {"Vext", "\xB5V", -1, 0.0001L}; }
// The telegraph gain is written whether or not the telegraph is on; only an enabled one counts.
Chan Current(int physical = -1, bool telegraph = true) {
  return {"I_mem", "pA", physical, 0.0005L, 2, 4, telegraph, 2.5L, 0.25L, 0.125L};
}
Chan Nanoamps() { return {"Iext", "nA", -1, 0.05L, 1, 1, true, 3}; }

struct Written {
  AbfDescription d;
  std::vector<Chan> chans;
  long double range = 10;  // the ADC range's decimal
};

// Sample k of channel c in sweep s: counts that differ between sweeps, channels and samples
// (so that a record or channel read from the wrong place shows), float32 values from them.
int16_t CountAt(size_t s, size_t c, int64_t k) {
  return static_cast<int16_t>(
      (static_cast<int64_t>(s) * 7919 + static_cast<int64_t>(c) * 104729 + k * 31) % 60001 - 30000);
}

Written Make(int major, AbfMode mode, bool floats, std::vector<Chan> chans,
             const std::vector<int>& lengths) {
  Written w;
  w.d.major_version = major;
  w.d.mode = mode;
  w.d.float_samples = floats;
  w.chans = std::move(chans);
  for (const Chan& c : w.chans) w.d.channels.push_back(ToWriter(c));
  for (size_t s = 0; s < lengths.size(); ++s) {
    writer::AbfSweep& sweep = w.d.sweeps.emplace_back();
    for (size_t c = 0; c < w.chans.size(); ++c) {
      std::vector<int16_t> counts;
      std::vector<float> values;
      for (int k = 0; k < lengths[s]; ++k) {
        counts.push_back(CountAt(s, c, k));
        values.push_back(counts.back() * 0.5f + 0.25f);
      }
      if (floats) {
        sweep.values.push_back(std::move(values));
      } else {
        sweep.counts.push_back(std::move(counts));
      }
    }
  }
  return w;
}

Written WithInterval(Written w, float interval_us) {
  w.d.interval_us = interval_us;
  return w;
}

// mV per unit of the channel: V and µV are converted, mV and currents stay as they are.
long double UnitFactor(const std::string& unit) {
  if (unit == "V") return 1000;
  if (unit == "\xB5V") return 0.001L;
  return 1;
}

// Before ABF 1.6 the header has no telegraph fields: every telegraph counts as off.
bool TelegraphsInFile(const Written& w) {
  return w.d.major_version == 2 || w.d.abf1_version >= 1.6f;
}

long double Gains(const Written& w, const Chan& c) {
  const long double telegraph = c.telegraph && TelegraphsInFile(w) ? c.telegraph_gain : 1;
  return c.scale * c.signal_gain * c.programmable_gain * telegraph;
}

// Channel units per count; 0 for float32 data, which have no counts.
long double UnitsPerCount(const Written& w, size_t c) {
  if (w.d.float_samples) return 0;
  return w.range / (w.d.adc_resolution * Gains(w, w.chans[c]));
}

long double Millivolts(const Written& w, size_t c, long double raw) {
  const Chan& ch = w.chans[c];
  if (w.d.float_samples) return raw * UnitFactor(ch.unit);
  return (raw / Gains(w, ch) * w.range / w.d.adc_resolution + ch.instrument_offset -
          ch.signal_offset) *
         UnitFactor(ch.unit);
}

// The raw samples written for channel c, the sweeps one after the other.
std::vector<long double> Stream(const Written& w, size_t c) {
  std::vector<long double> stream;
  for (const writer::AbfSweep& sweep : w.d.sweeps) {
    if (w.d.float_samples) {
      stream.insert(stream.end(), sweep.values[c].begin(), sweep.values[c].end());
    } else {
      stream.insert(stream.end(), sweep.counts[c].begin(), sweep.counts[c].end());
    }
  }
  return stream;
}

// ABF 2 keeps the per-channel interval; ABF 1 the interleaved stream's, as a float32.
long double ExactIntervalUs(const AbfDescription& d) {
  if (d.major_version == 2) return d.interval_us;
  const float channels = static_cast<float>(d.channels.size());
  return static_cast<long double>(d.interval_us / channels) * channels;
}

// The first k at which v[k] is not `expected[first + k]` to within 1e-12 relative; -1 if none.
// The loader's long double arithmetic, stored as double, is good to 1e-16; a gain read as its
// float32 instead of its decimal is off by 1e-8.
int64_t FirstMismatch(const double* v, const std::vector<long double>& expected, int64_t first,
                      int64_t frames) {
  for (int64_t k = 0; k < frames; ++k) {
    const long double want = expected[static_cast<size_t>(first + k)];
    if (std::fabs(v[k] - want) > 1e-12L * std::fabs(want) + 1e-15L) return k;
  }
  return -1;
}

class AbfReadingTest : public RecordingTest {
 protected:
  // Texts that no load writes, to see which fields a load wrote.
  void SetSentinels() {
    SetField(Field::AcqTime, "7.00000");
    SetField(Field::NR, "77");
    SetField(Field::Duration, "7.00");
    SetField(Field::CalibV, "7.0000000000");
    SetField(Field::CalibI, "7.0000000000");
  }
  double Value(Field field) const { return FieldValue(panel, field); }
};

struct LoadCase {
  std::string name;
  Written w;
  std::string analyse;
  std::string channel;  // the Channel field: " 0" lets the loader choose
  int32_t records;
  int64_t first_frame;  // of the record loaded, in the stream of sweeps
  int64_t frames;
  int analysed;  // from 0
  int current;   // the channel of CalibI, -1: none
  // The header label; empty where the rules leave it open.
  std::string label;
  std::string file = "rec.abf";
};

std::vector<LoadCase> LoadCases() {
  std::vector<LoadCase> cases;
  const std::string v26 = "ABF 2.6.0.0, ";
  const std::string at50 = " at 0.05 ms; channels: ";

  Written w = Make(2, AbfMode::kEpisodic, false, {Current(), Vm()}, {6, 6, 6});
  cases.push_back(
      {"abf2_episodic_voltage_second", w, "2", " 0", 3, 6, 6, 1, 0,
       v26 + "episodic stimulation: 3 sweeps" + at50 + "1 I_mem (pA), 2 IN 0 (mV) analysed"});
  cases.push_back({"abf2_episodic_last_sweep", w, "3", " 0", 3, 12, 6, 1, 0, ""});
  w.d.adc_range_v = 20.48f;
  w.range = 20.48L;
  cases.push_back({"abf2_adc_range_20.48", w, "1", " 0", 3, 0, 6, 1, 0, ""});

  w = Make(2, AbfMode::kFixedLengthEvents, true, {Current(), Volts()}, {5, 5});
  cases.push_back(
      {"abf2_fixed_length_float32_volts", w, "2", " 0", 2, 5, 5, 1, -1,
       v26 + "fixed-length events: 2 sweeps" + at50 + "1 I_mem (pA), 2 Vcmd (V) analysed"});

  w = Make(2, AbfMode::kOscilloscope, false, {Current(), Microvolts(), Volts()}, {4});
  cases.push_back({"abf2_oscilloscope_microvolts_before_volts", w, "1", " 0", 1, 0, 4, 1, 0,
                   v26 + "high-speed oscilloscope: 1 sweep" + at50 +
                       "1 I_mem (pA), 2 Vext (\xB5V) analysed, 3 Vcmd (V)"});
  w = Make(2, AbfMode::kEpisodic, false, {Volts(), Microvolts(), ScaledVm()}, {4, 4});
  cases.push_back({"abf2_millivolts_before_volts", w, "2", " 0", 2, 4, 4, 2, -1,
                   v26 + "episodic stimulation: 2 sweeps" + at50 +
                       "1 Vcmd (V), 2 Vext (\xB5V), 3 Vm (mV) analysed"});
  w = Make(2, AbfMode::kEpisodic, false, {Current(), Nanoamps()}, {4, 4});
  cases.push_back({"abf2_no_voltage_channel", w, "2", " 0", 2, 4, 4, 0, 0,
                   v26 + "episodic stimulation: 2 sweeps" + at50 +
                       "1 I_mem (pA) analysed, 2 Iext (nA); no voltage channel found"});
  w = Make(2, AbfMode::kEpisodic, false, {Current(-1, false), Vm()}, {4});
  cases.push_back({"abf2_telegraph_off", w, "1", " 0", 1, 0, 4, 1, 0, ""});

  w = Make(2, AbfMode::kEpisodic, false, {Vm(), Current(), Volts()}, {4, 4});
  cases.push_back({"abf2_channel_field_3_volts", w, "2", " 3", 2, 4, 4, 2, 1,
                   v26 + "episodic stimulation: 2 sweeps" + at50 +
                       "1 IN 0 (mV), 2 I_mem (pA), 3 Vcmd (V) analysed"});
  cases.push_back({"abf2_channel_field_2_current", w, "1", " 2", 2, 0, 4, 1, 1, ""});
  cases.push_back({"abf2_channel_field_1", w, "1", " 1", 2, 0, 4, 0, 1, ""});

  w = Make(2, AbfMode::kEventDriven, false, {Vm(), Current()}, {3, 7, 1});
  for (const auto& [analyse, first, frames] :
       {std::tuple{"1", 0, 3}, std::tuple{"2", 3, 7}, std::tuple{"3", 10, 1}}) {
    cases.push_back({std::string("abf2_event_driven_sweep_") + analyse, w, analyse, " 0", 3, first,
                     frames, 0, 1,
                     v26 + "event-driven: 3 sweeps" + at50 + "1 IN 0 (mV) analysed, 2 I_mem (pA)"});
  }
  w.d.synch_array_after_data = true;
  cases.push_back({"abf2_event_driven_synch_after_data", w, "2", " 0", 3, 3, 7, 0, 1, ""});

  // 300 s at 10 ms are 30000 samples: 70000 frames make records of 30000, 30000 and 10000.
  w = WithInterval(Make(2, AbfMode::kGapFree, false, {Current(), Vm()}, {70000}), 10000);
  for (const auto& [analyse, first, frames] :
       {std::tuple{"1", 0, 30000}, std::tuple{"2", 30000, 30000}, std::tuple{"3", 60000, 10000}}) {
    cases.push_back({std::string("abf2_gap_free_record_") + analyse, w, analyse, " 0", 3, first,
                     frames, 1, 0,
                     v26 + "gap-free: 3 records at 10 ms; channels: 1 I_mem (pA), 2 IN 0 (mV) "
                           "analysed"});
  }
  // 300 s at 0.96 s are 312.5 samples, rounded to 313.
  w = WithInterval(Make(2, AbfMode::kGapFree, true, {Vm()}, {700}), 960000);
  cases.push_back({"abf2_gap_free_half_sample_rounds_up", w, "3", " 0", 3, 626, 74, 0, -1,
                   v26 + "gap-free: 3 records at 960 ms; channel: 1 IN 0 (mV) analysed"});

  // ABF 1: the per-channel arrays are indexed by the physical channel of each position.
  w = Make(1, AbfMode::kEpisodic, false, {Current(7), ScaledVm(5)}, {4, 4, 4});
  cases.push_back(
      {"abf1_183_physical_channels", w, "3", " 0", 3, 8, 4, 1, 0,
       "ABF 1.83, episodic stimulation: 3 sweeps" + at50 + "1 I_mem (pA), 2 Vm (mV) analysed"});
  w.d.abf1_version = 1.6f;
  cases.push_back({"abf1_16_telegraph", w, "2", " 0", 3, 4, 4, 1, 0, ""});
  // Before 1.6 the bytes at the telegraph fields are samples: 1400 nonzero counts of one
  // channel reach past byte 4640 of the file.
  w = Make(1, AbfMode::kEpisodic, false, {ScaledVm()}, {1400});
  w.d.abf1_version = 1.5f;
  cases.push_back(
      {"abf1_15_has_no_telegraph", w, "1", " 0", 1, 0, 1400, 0, -1,
       "ABF 1.5, episodic stimulation: 1 sweep at 0.05 ms; channel: 1 Vm (mV) analysed"});
  w = Make(1, AbfMode::kEventDriven, false, {Vm(), Nanoamps()}, {5, 2, 9});
  w.d.abf1_version = 1.3f;
  cases.push_back({"abf1_13_event_driven", w, "3", " 0", 3, 7, 9, 0, 1,
                   "ABF 1.3, event-driven: 3 sweeps" + at50 + "1 IN 0 (mV) analysed, 2 Iext (nA)"});
  w = WithInterval(Make(1, AbfMode::kGapFree, true, {Microvolts(), Current()}, {70000}), 10000);
  cases.push_back({"abf1_gap_free_float32", w, "3", " 0", 3, 60000, 10000, 0, -1,
                   "ABF 1.83, gap-free: 3 records at 10 ms; channels: 1 Vext (\xB5V) analysed, "
                   "2 I_mem (pA)"});
  // Three channels: the stream's interval 50/3 us is a float32, the channel's is 3 times it.
  w = Make(1, AbfMode::kFixedLengthEvents, false, {Nanoamps(), Volts(), Vm()}, {3, 3});
  cases.push_back({"abf1_three_channels", w, "2", " 0", 2, 3, 3, 2, 0, ""});

  // The file found is read by its content, whatever its name.
  w = Make(2, AbfMode::kEpisodic, false, {Vm()}, {4, 4});
  cases.push_back({"abf2_named_wcp", w, "2", " 0", 2, 4, 4, 0, -1, "", "rec.wcp"});
  cases.push_back({"abf2_named_without_extension", w, "2", " 0", 2, 4, 4, 0, -1, "", "rec"});
  return cases;
}

TEST_F(AbfReadingTest, LoadsTheRecordAndChannelByTheRules) {
  for (const LoadCase& c : LoadCases()) {
    SCOPED_TRACE(c.name);
    writer::WriteAbfFile(c.file, c.w.d);
    SetSentinels();
    SetField(Field::Analyse, c.analyse);
    SetField(Field::Channel, c.channel);
    ws.trace.LastIndex = 5;
    LoadRecording(ws, "rec");
    std::filesystem::remove(c.file);

    const double acq_ms = static_cast<double>(ExactIntervalUs(c.w.d) / 1000);
    EXPECT_DOUBLE_EQ(ws.trace.AcqTime, acq_ms);
    EXPECT_EQ(ws.trace.NR, c.records);
    EXPECT_EQ(ws.trace.RecordNo, std::stoi(c.analyse));
    ASSERT_EQ(ws.trace.LastIndex, c.frames - 1);
    const std::vector<long double> raw = Stream(c.w, static_cast<size_t>(c.analysed));
    std::vector<long double> expected;
    for (long double x : raw) expected.push_back(Millivolts(c.w, c.analysed, x));
    const int64_t bad = FirstMismatch(ws.trace.V.data(), expected, c.first_frame, c.frames);
    EXPECT_EQ(bad, -1) << "V[" << bad << "] = " << (bad < 0 ? 0 : ws.trace.V[bad]) << ", expected "
                       << (bad < 0 ? 0 : expected[static_cast<size_t>(c.first_frame + bad)]);

    // Field texts: AcqTime has 5 decimals, Duration 2, the factors 10.
    EXPECT_NEAR(Value(Field::AcqTime), acq_ms, 5e-6);
    EXPECT_EQ(Value(Field::NR), c.records);
    EXPECT_NEAR(Value(Field::Duration), c.frames * acq_ms, 0.005);
    const long double calib_v =
        UnitsPerCount(c.w, c.analysed) * UnitFactor(c.w.chans[c.analysed].unit);
    const long double calib_i = c.current < 0 ? 0 : UnitsPerCount(c.w, c.current);
    EXPECT_NEAR(Value(Field::CalibV), calib_v, 5.1e-11);
    EXPECT_NEAR(Value(Field::CalibI), calib_i, 5.1e-11);
    if (!c.label.empty()) {
      EXPECT_EQ(panel.HeaderLabel(), c.label);
    }

    ASSERT_TRUE(ws.recording.has_value());
    const RecordingInfo& info = *ws.recording;
    EXPECT_EQ(info.format, RecordingFormat::kAbf);
    EXPECT_EQ(info.file, c.file);
    EXPECT_EQ(info.records, c.records);
    EXPECT_EQ(info.record, std::stoi(c.analyse));
    EXPECT_EQ(info.analysed_channel, c.analysed);
    EXPECT_DOUBLE_EQ(info.interval_ms, acq_ms);
    ASSERT_EQ(info.channels.size(), c.w.chans.size());
    for (size_t k = 0; k < info.channels.size(); ++k) {
      EXPECT_EQ(info.channels[k].name, c.w.chans[k].name) << k;
      EXPECT_EQ(info.channels[k].unit, c.w.chans[k].unit) << k;
    }
  }
}

// Gap-free records hold at most 10,000,001 samples: at 1 us, 300 s would be 3e8.
TEST_F(AbfReadingTest, GapFreeRecordsStopAtTheTraceCapacity) {
  AbfDescription d;
  d.mode = AbfMode::kGapFree;
  d.interval_us = 1;
  d.channels = {ToWriter(Vm())};
  constexpr int64_t kFrames = 10'000'003;
  writer::WriteStreamedGapFreeAbf(
      "rec.abf", d, kFrames, writer::AbfCountSource([](int64_t first, int64_t n, int16_t* out) {
        for (int64_t k = 0; k < n; ++k) out[k] = static_cast<int16_t>((first + k) % 30011 - 15000);
      }));
  auto mv = [](int64_t frame) {
    return static_cast<double>((frame % 30011 - 15000) / 0.01L * 10 / 32768);
  };
  struct Case {
    const char* analyse;
    int64_t first_frame;
    int64_t frames;
  };
  for (const Case& c : {Case{"2", 10'000'001, 2}, Case{"1", 0, 10'000'001}}) {
    SCOPED_TRACE(c.analyse);
    SetField(Field::Analyse, c.analyse);
    LoadRecording(ws, "rec");
    EXPECT_EQ(ws.trace.NR, 2);
    ASSERT_EQ(ws.trace.LastIndex, c.frames - 1);
    EXPECT_NEAR(ws.trace.V[0], mv(c.first_frame), 1e-12);
    EXPECT_NEAR(ws.trace.V[ws.trace.LastIndex], mv(c.first_frame + c.frames - 1), 1e-12);
    EXPECT_NEAR(Value(Field::Duration), c.frames * 0.001, 0.005);
  }
}

// A record that does not exist leaves no record in the trace; AcqTime and NR are written
// before the check, Duration and the factors only for a record that exists.
TEST_F(AbfReadingTest, RecordsAndChannelsThatDoNotExistAreRefused) {
  struct Case {
    std::string name;
    Written w;
    std::string analyse;
    std::string channel;
    std::string message;
    int32_t records;  // 0: a missing channel, for which the rules fix nothing else
  };
  const Written episodic = Make(2, AbfMode::kEpisodic, false, {Vm(), Current()}, {4, 4, 4});
  const Written events = Make(1, AbfMode::kEventDriven, false, {Vm()}, {2, 5});
  const Written gap_free = WithInterval(Make(2, AbfMode::kGapFree, false, {Vm()}, {70000}), 10000);
  const std::string file = "rec.abf";
  const std::vector<Case> cases = {
      {"past_the_last", episodic, "4", " 0", "Record 4 does not exist: rec.abf holds 3 records", 3},
      {"analyse_0", episodic, "0", " 0", "Record 0 does not exist: rec.abf holds 3 records", 3},
      {"analyse_negative", episodic, "-2", " 0",
       "Record -2 does not exist: rec.abf holds 3 records", 3},
      {"event_past_the_last", events, "3", " 0", "Record 3 does not exist: rec.abf holds 2 records",
       2},
      {"gap_free_past_the_last", gap_free, "4", " 0",
       "Record 4 does not exist: rec.abf holds 3 records", 3},
      {"channel_past_the_last", episodic, "1", " 3",
       "Channel 3 does not exist: rec.abf has 2 channels", 0},
      {"channel_far_past_the_last", events, "1", " 9",
       "Channel 9 does not exist: rec.abf has 1 channels", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    writer::WriteAbfFile(file, c.w.d);
    SetSentinels();
    SetField(Field::Analyse, c.analyse);
    SetField(Field::Channel, c.channel);
    ws.trace.LastIndex = 5;
    EXPECT_THROW_MSG(LoadRecording(ws, "rec"), c.message);
    EXPECT_EQ(ws.trace.LastIndex, -1);
    if (c.records == 0) continue;
    const double acq_ms = static_cast<double>(ExactIntervalUs(c.w.d) / 1000);
    EXPECT_EQ(ws.trace.NR, c.records);
    EXPECT_NEAR(Value(Field::AcqTime), acq_ms, 5e-6);
    EXPECT_EQ(Value(Field::NR), c.records);
    EXPECT_EQ(FieldText(Field::Duration), "7.00");
    EXPECT_EQ(FieldText(Field::CalibV), "7.0000000000");
    EXPECT_EQ(FieldText(Field::CalibI), "7.0000000000");
    ASSERT_TRUE(ws.recording.has_value());
    EXPECT_EQ(ws.recording->records, c.records);
    EXPECT_EQ(ws.recording->record, 0);
  }
}

// A record longer than the trace is refused after Duration is written. The files are sparse:
// their samples are never read.
TEST_F(AbfReadingTest, RecordTooLongIsRefused) {
  constexpr int32_t kSamples = 10'000'002;
  struct Case {
    std::string name;
    AbfMode mode;
  };
  for (const Case& c :
       {Case{"episodic", AbfMode::kEpisodic}, Case{"event_driven", AbfMode::kEventDriven}}) {
    SCOPED_TRACE(c.name);
    const Written w = Make(2, c.mode, false, {Vm()}, {1});
    const writer::AbfLayout layout = writer::AbfLayoutOf(w.d);
    std::string bytes = writer::AbfFileBytes(w.d);
    PatchAbf<int64_t>(bytes, a2::SectionEntry(a2::kDataSection) + a2::kSectionEntries, kSamples);
    if (c.mode == AbfMode::kEventDriven) {
      PatchAbf<int32_t>(bytes, layout.synch_offset + 4, kSamples);
    } else {
      PatchAbf<int32_t>(bytes, layout.protocol_offset + a2::kSamplesPerEpisode, kSamples);
    }
    testing::WriteFile("rec.abf", bytes);
    std::filesystem::resize_file("rec.abf", layout.data_offset + 2 * int64_t{kSamples});
    SetField(Field::Analyse, "1");
    SetField(Field::Channel, " 0");
    EXPECT_THROW_MSG(LoadRecording(ws, "rec"),
                     "Record too long: 10000002 samples (at most 10000001)");
    EXPECT_NEAR(Value(Field::Duration), kSamples * 0.05, 0.005);
  }
}

// Bytes this process has read so far, through any file.
int64_t BytesReadSoFar() {
  std::ifstream in("/proc/self/io");
  std::string key;
  int64_t value = 0;
  while (in >> key >> value) {
    if (key == "rchar:") return value;
  }
  return -1;
}

// Loading one record of a large file reads that record's frames and the header, not the rest.
TEST_F(AbfReadingTest, ReadsOnlyTheRecordBeingLoaded) {
  if (BytesReadSoFar() < 0) GTEST_SKIP() << "no /proc/self/io here";
  struct Case {
    std::string name;
    Written w;
    const char* analyse;
    int64_t record_bytes;  // of all channels
  };
  const std::vector<Case> cases = {
      {"abf2_episodic_sweep_6",
       Make(2, AbfMode::kEpisodic, false, {Vm(), Current()}, std::vector<int>(8, 100'000)), "6",
       100'000 * 2 * 2},
      {"abf1_gap_free_record_2",
       WithInterval(Make(1, AbfMode::kGapFree, true, {Vm()}, {250'000}), 10000), "2", 30'000 * 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    writer::WriteAbfFile("rec.abf", c.w.d);
    SetField(Field::Analyse, c.analyse);
    const int64_t before = BytesReadSoFar();
    LoadRecording(ws, "rec");
    const int64_t read = BytesReadSoFar() - before;
    EXPECT_GE(read, c.record_bytes);
    // The header, its sections and the reading of /proc/self/io take a few KB.
    EXPECT_LT(read, c.record_bytes + 32 * 1024);
    EXPECT_GT(static_cast<int64_t>(std::filesystem::file_size("rec.abf")), 4 * c.record_bytes);
  }
}

}  // namespace
}  // namespace ictalscope
