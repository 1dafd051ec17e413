// Real recordings made in labs, read through the loader: the ABF files against the per-sweep
// values published with them and against a text conversion of one sweep, and a .wcp
// voltage-clamp file against the protocol its voltage shows.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "recording/loader.h"
#include "recording_fixture.h"

namespace ictalscope {
namespace {

using testing::RecordingTest;

std::string RealFile(const std::string& name) {
  return std::string(ICTALSCOPE_REAL_DATA_DIR) + "/" + name;
}

struct PublishedSweep {
  std::string file;
  int sweep = 0, channel = 0;  // from 1
  int64_t samples = 0;
  long double first = 0, last = 0, stdev = 0;  // in the channel's units
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
    rows.push_back({cells[0], std::stoi(cells[1]), std::stoi(cells[2]), std::stoll(cells[3]),
                    std::stold(cells[4]), std::stold(cells[5]), std::stold(cells[6])});
  }
  return rows;
}

// The loader gives volts in mV (x 1000) and microvolts in mV (x 0.001); mV and currents as
// they are.
long double UnitFactor(const std::string& unit) {
  if (unit == "V") return 1000;
  if (unit == "\xB5V") return 0.001L;
  return 1;
}

class RealRecordingsTest : public RecordingTest {
 protected:
  // The series are cleared as a click into the name box clears them, so that the points of
  // earlier loads do not pile up in the chart.
  void Load(const std::string& path, int analyse, int channel) {
    ClearSeriesForLoad(chart);
    SetField(Field::Analyse, std::to_string(analyse));
    SetField(Field::Channel, std::to_string(channel));
    LoadRecording(ws, path);
  }
  std::vector<double> Samples() const {
    return std::vector<double>(ws.trace.V.data(), ws.trace.V.data() + ws.trace.LastIndex + 1);
  }
};

// Each published sweep and channel, loaded with Analyse = the sweep and Channel = the channel.
// The published values are float32 numbers printed with 8 decimals ("-0.28999999" for -0.29):
// the first and last samples, back in the channel's units, are rounded to float32 and then
// agree to within 5e-9. The standard deviations were summed in float32: they agree with the
// population standard deviation of the loaded samples to within 1.5e-7 relative.
TEST_F(RealRecordingsTest, LoadedSweepsMatchTheirPublishedValues) {
  const std::vector<PublishedSweep> rows = PublishedSweeps();
  ASSERT_EQ(rows.size(), 92u);
  std::map<std::string, int> sweeps_published, records_loaded;
  for (const PublishedSweep& row : rows) {
    SCOPED_TRACE(row.file + " sweep " + std::to_string(row.sweep) + " channel " +
                 std::to_string(row.channel));
    Load(RealFile(row.file), row.sweep, row.channel);
    sweeps_published[row.file] = std::max(sweeps_published[row.file], row.sweep);
    records_loaded[row.file] = ws.trace.NR;
    ASSERT_TRUE(ws.recording.has_value());
    EXPECT_EQ(ws.recording->analysed_channel, row.channel - 1);
    EXPECT_EQ(ws.recording->record, row.sweep);
    ASSERT_EQ(ws.trace.LastIndex + int64_t{1}, row.samples);
    const long double factor = UnitFactor(ws.recording->channels[row.channel - 1].unit);
    const std::vector<double> v = Samples();
    EXPECT_NEAR(static_cast<float>(v.front() / factor), row.first, 5e-9);
    EXPECT_NEAR(static_cast<float>(v.back() / factor), row.last, 5e-9);
    long double mean = 0, squares = 0;
    for (double x : v) mean += x / factor;
    mean /= v.size();
    for (double x : v) squares += (x / factor - mean) * (x / factor - mean);
    EXPECT_NEAR(std::sqrt(squares / v.size()), row.stdev, 1.5e-7 * row.stdev);
  }
  EXPECT_EQ(records_loaded.size(), 6u);
  // The published sweeps are all the sweeps of each file.
  EXPECT_EQ(records_loaded, sweeps_published);
}

// The text trace is sweep 1 of the ABF file converted by the data provider, with 6 decimals.
// Its values are the ABF's scaled by the gain 0.01 taken as the float32 0.0099999998 (2.2e-8
// relative larger, 2.5e-6 mV at -112 mV) and then rounded: they agree with the loader's to
// within half a unit of the 6th decimal plus 2.5e-8 relative.
TEST_F(RealRecordingsTest, TextConversionOfASweepMatchesTheAbfSweep) {
  Load(RealFile("pyabf_17o05028_ic_steps_sw01.txt"), 1, 0);
  const std::vector<double> text = Samples();
  const double text_interval = ws.trace.AcqTime;
  Load(RealFile("pyabf_17o05028_ic_steps.abf"), 1, 0);
  const std::vector<double> abf = Samples();
  ASSERT_EQ(text.size(), 60000u);
  ASSERT_EQ(abf.size(), text.size());
  EXPECT_EQ(ws.trace.AcqTime, 0.05);
  EXPECT_NEAR(text_interval, ws.trace.AcqTime, 1e-12);
  int mismatches = 0;
  for (size_t k = 0; k < abf.size(); ++k) {
    if (std::fabs(text[k] - abf[k]) > 5e-7 + 2.5e-8 * std::fabs(abf[k]) && ++mismatches <= 5) {
      ADD_FAILURE() << "sample " << k << ": text " << text[k] << ", ABF " << abf[k];
    }
  }
  EXPECT_EQ(mismatches, 0);
}

// The voltage-clamp protocol of every record, as its voltage channel shows it: a holding
// potential of -80 mV, a step to -20 mV from 11 ms to 110 ms, then -80 mV again. The noise is
// about 0.3 mV (10 counts of 0.03 mV), so each sample is within 0.5 mV of its level; at 1 kHz
// no sample falls inside an edge.
TEST_F(RealRecordingsTest, WcpRecordsFollowTheirVoltageClampProtocol) {
  for (int record = 1; record <= 11; ++record) {
    SCOPED_TRACE("record " + std::to_string(record));
    Load(RealFile("myokit_wcp-file.wcp"), record, 0);
    EXPECT_EQ(ws.trace.NR, 11);
    EXPECT_EQ(ws.trace.AcqTime, 1);
    ASSERT_TRUE(ws.recording.has_value());
    EXPECT_EQ(ws.recording->channels[ws.recording->analysed_channel].unit, "mV");
    const std::vector<double> v = Samples();
    ASSERT_EQ(v.size(), 256u);
    // The step's samples: those above the midpoint of the two levels, one run.
    std::vector<size_t> stepped;
    for (size_t k = 0; k < v.size(); ++k) {
      if (v[k] > -50) stepped.push_back(k);
    }
    ASSERT_FALSE(stepped.empty());
    EXPECT_EQ(stepped.back() - stepped.front() + 1, stepped.size());
    EXPECT_NEAR(stepped.front() * ws.trace.AcqTime, 11, 1);
    EXPECT_NEAR((stepped.back() + 1) * ws.trace.AcqTime, 110, 1);
    for (size_t k = 0; k < v.size(); ++k) {
      const bool in_step = k >= stepped.front() && k <= stepped.back();
      EXPECT_NEAR(v[k], in_step ? -20 : -80, 0.5) << "sample " << k;
    }
  }
}

}  // namespace
}  // namespace ictalscope
