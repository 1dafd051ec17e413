// .wcp files of set-ups other than the classic rig, read by their header: layout, channel
// choice, scaling, records and the fields a load writes.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "base/format_fixed.h"
#include "recording/channel_choice.h"
#include "recording/loader.h"
#include "recording_fixture.h"
#include "writer/wcp_setup_writer.h"

namespace ictalscope {
namespace {

using writer::WcpSetup;
using writer::WcpSetupRecord;

// The mV of a count as the format defines it: (raw - zero) * VMax * u / (ADCMAX * gain), the
// factor stored as a double first.
double Mv(int raw, long double vmax, long double u, long double adcmax, long double gain,
          long double zero = 0) {
  const double factor = static_cast<double>(vmax * u / (adcmax * gain));
  return static_cast<double>((raw - zero) * factor);
}

// Counts 100 c + k of channel c at sample k, so that every sample tells its channel and place.
WcpSetupRecord Counts(const WcpSetup& setup, int record, std::vector<float> vmax) {
  WcpSetupRecord out;
  out.vmax = std::move(vmax);
  const int64_t samples = writer::WcpSetupSamples(setup);
  for (int c = 0; c < setup.nc; ++c) {
    std::vector<int16_t> channel;
    for (int64_t k = 0; k < samples; ++k) {
      channel.push_back(static_cast<int16_t>(1000 * record + 100 * c + k % 100));
    }
    out.samples.push_back(channel);
  }
  return out;
}

class HeaderWcpTest : public testing::RecordingTest {
 protected:
  void Write(const WcpSetup& setup, int records, std::vector<float> vmax = {}) {
    std::vector<WcpSetupRecord> list;
    for (int r = 1; r <= records; ++r) list.push_back(Counts(setup, r, vmax));
    testing::WriteFile("f.wcp", writer::WcpSetupFileBytes(setup, list));
  }
  std::string Load() {
    try {
      LoadRecording(ws, "f");
    } catch (const Error& error) {
      return error.what();
    }
    return "";
  }
};

struct LayoutCase {
  const char* what;
  WcpSetup setup;
  int analysed;     // from 0
  int64_t samples;  // S
  double acq_ms;
  long double unit_mv;  // u of the analysed channel
};

WcpSetup MakeSetup(int nc, int nba, int nbd, const char* dt,
                   std::vector<WcpSetup::Channel> channels) {
  WcpSetup setup;
  setup.nc = nc;
  setup.nba = nba;
  setup.nbd = nbd;
  setup.dt = dt;
  setup.channels = std::move(channels);
  return setup;
}

WcpSetup::Channel Channel(const char* name, const char* unit, const char* gain,
                          std::optional<int> position = std::nullopt, const char* zero = "0") {
  return {name, unit, gain, zero, position};
}

// Record 2 of each set-up: the samples of the analysed channel come from its own frame
// position, scaled by its own gain, at the header's interval, every sample of the record.
TEST_F(HeaderWcpTest, ReadsTheAnalysedChannelOfAnySetUp) {
  const LayoutCase cases[] = {
      {"voltage on channel 2, 16.65 kHz with a decimal comma",
       MakeSetup(2, 2, 16, "6,005E-005",
                 {Channel("Im", "pA", "0.0005"), Channel("Vm", "mV", "0.01")}),
       1, 2048, 0.06005, 1},
      {"one channel", MakeSetup(1, 2, 4, "0.0001", {Channel("Vm", "mV", "0.01")}), 0, 1024, 0.1, 1},
      {"four channels, the voltage third and stored first in each frame",
       MakeSetup(4, 2, 8, "0.00005",
                 {Channel("I1", "nA", "0.001", 1), Channel("I2", "pA", "0.0005", 2),
                  Channel("Vm", "mV", "0.02", 0), Channel("X", "", "1", 3)}),
       2, 512, 0.05, 1},
      {"no analysis block",
       MakeSetup(2, 0, 4, "0.0001", {Channel("Vm", "mV", "0.01"), Channel("Im", "pA", "0.0005")}),
       0, 512, 0.1, 1},
      {"three analysis blocks",
       MakeSetup(2, 3, 4, "0.0001", {Channel("Vm", "mV", "0.01"), Channel("Im", "pA", "0.0005")}),
       0, 512, 0.1, 1},
      {"the classic interval but NBA 1",
       MakeSetup(2, 1, 4, "6.25E-5", {Channel("Vm", "mV", "0.01"), Channel("Im", "pA", "0.0005")}),
       0, 512, 0.0625, 1},
      {"a channel in volts",
       MakeSetup(2, 2, 4, "0.0001", {Channel("I", "pA", "0.0005"), Channel("Vm", "V", "10")}), 1,
       512, 0.1, 1000},
      {"a channel in microvolts", MakeSetup(1, 2, 4, "0.0001", {Channel("Vm", "\xB5V", "0.00001")}),
       0, 1024, 0.1, 0.001L},
  };
  for (const LayoutCase& c : cases) {
    SCOPED_TRACE(c.what);
    Write(c.setup, 3, {5, 5, 5, 5});
    SetField(Field::Analyse, "2");
    ASSERT_EQ(Load(), "");
    EXPECT_EQ(ws.trace.LastIndex, c.samples - 1);
    EXPECT_EQ(ws.trace.AcqTime, c.acq_ms);
    EXPECT_EQ(ws.trace.NR, 3);
    // The header's numbers are doubles; without an analysis block the range is AD's.
    const double gain = std::stod(c.setup.channels[c.analysed].gain);
    const long double vmax = c.setup.nba == 0 ? 10 : 5;
    for (int64_t k : {int64_t{0}, int64_t{1}, int64_t{99}, c.samples - 1}) {
      const int raw = 2000 + 100 * c.analysed + static_cast<int>(k % 100);
      EXPECT_EQ(ws.trace.V[static_cast<int32_t>(k)], Mv(raw, vmax, c.unit_mv, 32767, gain))
          << "sample " << k;
    }
    ASSERT_TRUE(ws.recording.has_value());
    EXPECT_EQ(ws.recording->layout, "header");
    EXPECT_EQ(ws.recording->analysed_channel, c.analysed);
    EXPECT_EQ(ws.recording->record, 2);
  }
}

struct ChoiceCase {
  const char* what;
  std::vector<const char*> units;
  const char* channel_field;
  int analysed;  // -1: refused
  bool voltage_found;
};

TEST_F(HeaderWcpTest, ChoosesTheVoltageChannel) {
  const ChoiceCase cases[] = {
      {"the first in mV", {"pA", "V", "mV", "mV"}, " 0", 2, true},
      {"then the first in V or microvolts", {"pA", "\xB5V", "V", "nA"}, " 0", 1, true},
      {"else channel 1", {"pA", "nA", "", "A"}, " 0", 0, false},
      {"the Channel field wins", {"pA", "mV", "V", "nA"}, "4", 3, false},
      {"a Channel field of 1.9 is channel 1", {"pA", "mV", "V", "nA"}, "1.9", 0, false},
      {"below 1 chooses by unit", {"pA", "mV", "V", "nA"}, "0.5", 1, true},
      {"beyond the last", {"pA", "mV", "V", "nA"}, "5", -1, false},
  };
  for (const ChoiceCase& c : cases) {
    SCOPED_TRACE(c.what);
    WcpSetup setup = MakeSetup(4, 2, 4, "0.0001", {});
    for (const char* unit : c.units) setup.channels.push_back(Channel("ch", unit, "0.01"));
    Write(setup, 1);
    SetField(Field::Channel, c.channel_field);
    ws.trace.LastIndex = 7;
    const std::string message = Load();
    if (c.analysed < 0) {
      EXPECT_EQ(message, "Channel 5 does not exist: f.wcp has 4 channels");
      EXPECT_EQ(ws.trace.LastIndex, -1);
      continue;
    }
    ASSERT_EQ(message, "");
    EXPECT_EQ(ws.recording->analysed_channel, c.analysed);
    EXPECT_EQ(ws.recording->voltage_found, c.voltage_found);
    const std::string note =
        c.voltage_found ? ""
        : FieldValue(panel, Field::Channel) >= 1
            ? "; channel " + std::to_string(c.analysed + 1) + " is in no voltage unit"
            : "; no voltage channel found";
    EXPECT_NE(panel.HeaderLabel().find(note + "\r\n"), std::string::npos);
    EXPECT_EQ(ws.trace.V[5], Mv(1000 + 100 * c.analysed + 5, 10,
                                MillivoltsPerUnit(c.units[c.analysed]), 32767, 0.01));
  }
}

// Channel 1 asked for on a file of the classic rig reads it by its header: every pair of the
// record (the classic stride is the header's at 0.0625 ms), scaled by the format's rule rather
// than the classic calibration. The classic rig's fractional NBD is no header value.
TEST_F(HeaderWcpTest, ChannelFieldReadsAClassicFileByItsHeader) {
  writer::WcpRecord first;
  first.ch0.assign(8192, 0);
  first.ch0[2] = 300;
  first.ch0[8191] = -7;
  writer::WcpHeader header;
  header.nr = 2;
  writer::WriteWcpFile("f.wcp", writer::WcpHeaderText(header), {first, first});
  SetField(Field::Channel, "1");
  ASSERT_EQ(Load(), "");
  EXPECT_EQ(ws.trace.LastIndex, 8191);
  EXPECT_EQ(ws.trace.NR, 2);
  EXPECT_EQ(ws.recording->layout, "header");
  EXPECT_EQ(ws.trace.V[2], Mv(300, 10, 1, 32767, 0.0001));
  EXPECT_EQ(ws.trace.V[8191], Mv(-7, 10, 1, 32767, 0.0001));

  WriteSmallRecording("f.wcp", {{100, 200, 300}});
  EXPECT_EQ(Load(), "'8.125' is not a valid integer value");
}

struct ScaleCase {
  const char* what;
  float vmax;
  const char* ad;
  const char* zero;
  long double expected_vmax;  // NaN: refused
};

TEST_F(HeaderWcpTest, ScalesByTheVoltageRangeOfTheRecord) {
  const long double nan = std::numeric_limits<long double>::quiet_NaN();
  const ScaleCase cases[] = {
      {"the record's range", 2.5f, "10", "0", 2.5L},
      {"the smallest range taken", 0.001f, "10", "0", static_cast<long double>(0.001f)},
      {"a range of 0 gives AD", 0, "10", "0", 10},
      {"a range above 1000 V gives AD", 2000, "20", "0", 20},
      {"a range that is no number gives AD", std::numeric_limits<float>::quiet_NaN(), "7,5", "0",
       7.5L},
      {"a zero level is subtracted", 2.5f, "10", "12.5", 2.5L},
      {"no range and no AD", 0, "", "0", nan},
  };
  for (const ScaleCase& c : cases) {
    SCOPED_TRACE(c.what);
    WcpSetup setup = MakeSetup(1, 2, 4, "0.0001", {Channel("Vm", "mV", "0.01", 0, c.zero)});
    setup.ad = c.ad;
    Write(setup, 1, {c.vmax});
    const std::string message = Load();
    if (std::isnan(c.expected_vmax)) {
      EXPECT_EQ(message, "The header has no valid AD=");
      continue;
    }
    ASSERT_EQ(message, "");
    const long double zero = std::stold(c.zero);
    EXPECT_EQ(ws.trace.V[7], Mv(1007, c.expected_vmax, 1, 32767, 0.01, zero));
    EXPECT_EQ(FieldText(Field::CalibV),
              FormatFixed(static_cast<double>(c.expected_vmax / (32767 * 0.01)), 2, 10));
  }
}

// The file holds the records whose samples lie wholly in it, at most NR; the one past them is
// refused before any sample is read.
TEST_F(HeaderWcpTest, HoldsTheRecordsThatLieWhollyInTheFile) {
  struct Case {
    const char* what;
    std::optional<int> nr;
    size_t cut;  // bytes cut off the end of three records
    int records;
  };
  const Case cases[] = {
      {"three records", std::nullopt, 0, 3},
      {"NR limits them", 2, 0, 2},
      {"NR beyond the file", 9, 0, 3},
      {"the last record cut short", std::nullopt, 1, 2},
      {"only its analysis block kept", std::nullopt, 4 * 512, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WcpSetup setup =
        MakeSetup(2, 2, 4, "0.0001", {Channel("Vm", "mV", "0.01"), Channel("Im", "pA", "0.0005")});
    setup.nr = c.nr;
    std::vector<WcpSetupRecord> list;
    for (int r = 1; r <= 3; ++r) list.push_back(Counts(setup, r, {}));
    std::string bytes = writer::WcpSetupFileBytes(setup, list);
    bytes.resize(bytes.size() - c.cut);
    testing::WriteFile("f.wcp", bytes);
    SetField(Field::Analyse, std::to_string(c.records));
    ASSERT_EQ(Load(), "");
    EXPECT_EQ(ws.trace.V[0], Mv(1000 * c.records, 10, 1, 32767, 0.01));
    EXPECT_EQ(FieldText(Field::NR), FormatFixed(c.records, 2, 0));
    SetField(Field::Analyse, std::to_string(c.records + 1));
    EXPECT_EQ(Load(), "Record " + std::to_string(c.records + 1) + " does not exist: f.wcp holds " +
                          std::to_string(c.records) + " records");
    EXPECT_EQ(ws.trace.LastIndex, -1);
  }
}

// The header's values are shown in the panel in this order, the factors once the record is
// known to exist.
TEST_F(HeaderWcpTest, WritesTheFieldsOfTheHeader) {
  WcpSetup setup = MakeSetup(2, 2, 16, "6,005E-005",
                             {Channel("Im", "pA", "0,0005"), Channel("Vm", "mV", "0.01")});
  setup.ad = "5";
  Write(setup, 2, {2, 4});
  std::vector<Field> order;
  panel.on_change = [&order](Field field) { order.push_back(field); };
  ASSERT_EQ(Load(), "");
  EXPECT_EQ(order, (std::vector<Field>{Field::AcqTime, Field::NR, Field::Duration, Field::AD,
                                       Field::YG0, Field::YG1, Field::CalibV, Field::CalibI}));
  EXPECT_EQ(FieldText(Field::AcqTime), "0.06005");
  EXPECT_EQ(FieldText(Field::NR), " 2");
  EXPECT_EQ(FieldText(Field::Duration), "122.98");  // 2048 samples at 0.06005 ms
  EXPECT_EQ(FieldText(Field::YG0), "0.0005000000");
  EXPECT_EQ(FieldText(Field::YG1), "0.0100000000");
  EXPECT_EQ(FieldText(Field::CalibV), "0.0122074038");  // 4 V / (32767 x 0.01 V/mV)
  EXPECT_EQ(FieldText(Field::CalibI), "0.1220740379");  // 2 V / (32767 x 0.0005 V/pA)

  SetField(Field::Analyse, "3");
  order.clear();
  EXPECT_EQ(Load(), "Record 3 does not exist: f.wcp holds 2 records");
  EXPECT_EQ(order, std::vector<Field>{});  // the same values again, and no factors
}

struct HeaderErrorCase {
  const char* what;
  std::vector<std::pair<std::string, std::string>> lines;  // replacing the set-up's
  std::vector<std::string> dropped;
  const char* message;
};

TEST_F(HeaderWcpTest, RefusesAHeaderItCannotRead) {
  const HeaderErrorCase cases[] = {
      {"NC of 0", {{"NC", "0"}}, {}, "The header has no valid NC="},
      {"NC that is no number", {{"NC", "two"}}, {}, "'two' is not a valid integer value"},
      {"NC of 2.5", {{"NC", "2.5"}}, {}, "'2.5' is not a valid integer value"},
      {"NBD of 0", {{"NBD", "0"}}, {}, "The header has no valid NBD="},
      {"NBD empty", {{"NBD", ""}}, {}, "The header has no valid NBD="},
      {"NBA negative", {{"NBA", "-1"}}, {}, "The header has no valid NBA="},
      {"NR negative", {{"NR", "-3"}}, {}, "The header has no valid NR="},
      {"ADCMAX missing", {}, {"ADCMAX"}, "The header has no valid ADCMAX="},
      {"ADCMAX of 0", {{"ADCMAX", "0"}}, {}, "The header has no valid ADCMAX="},
      {"DT missing", {}, {"DT"}, "The header has no valid DT="},
      {"DT empty", {{"DT", ""}}, {}, "The header has no valid DT="},
      {"DT negative", {{"DT", "-0.0001"}}, {}, "The header has no valid DT="},
      {"DT that is no number",
       {{"DT", "1e-4s"}},
       {},
       "'1e-4s' is not a valid floating point value"},
      {"AD that is no number", {{"AD", "ten"}}, {}, "'ten' is not a valid floating point value"},
      {"gain of the voltage 0", {{"YG1", "0"}}, {}, "The header has no valid YG1="},
      {"gain of the current missing", {}, {"YG0"}, "The header has no valid YG0="},
      {"frame position outside the frame", {{"YO1", "2"}}, {}, "The header has no valid YO1="},
      {"zero level that is no number",
       {{"YZ1", "x"}},
       {},
       "'x' is not a valid floating point value"},
  };
  for (const HeaderErrorCase& c : cases) {
    SCOPED_TRACE(c.what);
    WcpSetup setup =
        MakeSetup(2, 2, 4, "0.0001", {Channel("Im", "pA", "0.0005"), Channel("Vm", "mV", "0.01")});
    setup.dropped = c.dropped;
    for (const auto& [key, value] : c.lines) {
      setup.dropped.push_back(key);
      setup.extra.emplace_back(key, value);
    }
    Write(setup, 1);
    EXPECT_EQ(Load(), c.message);
  }
}

}  // namespace
}  // namespace ictalscope
