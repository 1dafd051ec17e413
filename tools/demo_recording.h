#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/recording_writer.h"

namespace ictalscope::demo {

inline constexpr double kRestingMv = -65;

// A run of spikes carried by one depolarising shift of the baseline: an interictal burst of a
// few spikes, or an ictal discharge of dozens.
struct Burst {
  double first_upstroke_ms = 0;
  std::vector<double> intervals_ms;  // between consecutive upstrokes
  double shift_mv = 0;
  double first_peak_mv = 25;  // peaks are graded from the first spike to the last
  double last_peak_mv = 25;
  double ahp_depth_mv = 7;  // below the shifted baseline
  double ahp_tau_ms = 3;
  double prepotential_mv = 10;
};

struct RecordPlan {
  std::vector<Burst> bursts;
  std::vector<double> epsp_starts_ms;
  uint64_t seed = 1;
};

// Upstroke times of every spike of the record, ascending.
std::vector<double> UpstrokeTimes(const RecordPlan& plan);

// The membrane voltage of one record in mV: rest with slow drift and a little white noise, the
// bursts' shifts, spikes and synaptic potentials.
std::vector<double> SynthesiseRecord(const RecordPlan& plan, int32_t samples, double dt_ms);

// AcqTime in ms and the sample pairs per record, as the loader derives them from the header's
// "DT=" and "NBD=".
double SampleIntervalMs(const testing::WcpHeader& header);
int32_t SamplesPerRecord(const testing::WcpHeader& header);

// The bundled demo: six records of 448 ms (interictal bursts, two ictal discharges, a quiet one).
testing::WcpHeader DemoHeader();
std::vector<RecordPlan> DemoPlans();

// One record of 10,000,001 loaded samples (625 s) with 300 spikes: interictal bursts every 20 s
// and three ictal discharges.
testing::WcpHeader BigHeader();
RecordPlan BigPlan();

void WriteRecording(const std::string& path, const testing::WcpHeader& header,
                    const std::vector<RecordPlan>& plans);

}  // namespace ictalscope::demo
