#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#include "base/error.h"
#include "panel/memory_panel.h"
#include "recording/memory_chart.h"
#include "recording/workspace.h"
#include "support/expect_error.h"
#include "support/scratch_directory.h"
#include "writer/recording_writer.h"

namespace ictalscope::testing {

using writer::WcpHeader;
using writer::WcpHeaderText;
using writer::WcpRecord;
using writer::WriteWcpFile;

// A workspace over an in-memory panel and chart, in its own working directory; counts the
// points at which pending events are processed.
class RecordingTest : public ::testing::Test {
 protected:
  RecordingTest() {
    panel.on_process_events = [this] { ++events; };
  }

  // A recording of 1040 pairs per record at 0.0625 ms ("NBD=8.125": 65 ms), so that a load
  // takes samples 0..16; `counts` are the first channel-0 counts of each record, the rest 0.
  // The factor is the writer's default, 0.00305185... mV per count.
  static void WriteSmallRecording(const std::string& path,
                                  const std::vector<std::vector<int16_t>>& counts) {
    WcpHeader header;
    header.nbd = 8.125;
    header.nr = static_cast<int>(counts.size());
    std::vector<WcpRecord> records;
    for (const std::vector<int16_t>& record_counts : counts) {
      WcpRecord record;
      record.ch0 = record_counts;
      record.ch0.resize(kSmallPairs, 0);
      record.ch1.assign(kSmallPairs, 1111);
      records.push_back(record);
    }
    WriteWcpFile(path, WcpHeaderText(header), records);
  }
  static constexpr int kSmallPairs = 1040;
  static constexpr int32_t kSmallLastIndex = 16;
  static double CalibV() { return static_cast<double>(10 * 0.001L / (0.0001 * 32767.0L)); }

  void SetField(Field field, const std::string& text) { panel.SetText(field, text); }
  std::string FieldText(Field field) const { return panel.Text(field); }
  const std::vector<ChartPoint>& VPoints() const { return chart.Points(Series::V); }

  ScratchDirectory dir;
  MemoryPanel panel;
  MemoryChart chart;
  Workspace ws{panel, chart};
  int events = 0;
};

}  // namespace ictalscope::testing
