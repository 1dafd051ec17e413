#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "demo_waveform.h"
#include "writer/recording_writer.h"

namespace ictalscope::demo {

inline constexpr double kRestingMv = -65;

// A run of spikes carried by one depolarising shift of the baseline: an interictal burst of a
// few spikes, the tonic firing of an ictal discharge, or one of its clonic bursts.
struct Burst {
  double first_upstroke_ms = 0;
  std::vector<double> intervals_ms = {};  // between consecutive upstrokes
  double shift_mv = 0;
  double first_peak_mv = 25;  // peaks are graded from the first spike to the last
  double last_peak_mv = 25;
  double ahp_depth_mv = 7;  // below the shifted baseline
  double ahp_tau_ms = 3;
  double prepotential_mv = 10;
  // The shift starts shift_lead_ms before the first upstroke, rises over shift_rise_ms, holds
  // until shift_trail_ms after the last upstroke and then decays with shift_decay_ms.
  double shift_lead_ms = 12;
  double shift_rise_ms = 10;
  double shift_trail_ms = 4;
  double shift_decay_ms = 20;
};

// What the plan means as one discharge (or one lone spike): bursts whose upstrokes all lie less
// than ISImax apart, and the slow shifts of the baseline that go with them (the sustained
// depolarisation under an ictal discharge, the hyperpolarisation after it; negative shift_mv
// hyperpolarises).
struct Event {
  std::vector<Burst> bursts;
  std::vector<DepolarisingShift> shifts;
};

// A synaptic potential of the background activity, an alpha function (see EpspDeviation);
// a negative amplitude is an inhibitory one.
struct SynapticPotential {
  double start_ms = 0;
  double amplitude_mv = 0;
  double tau_ms = 3;
};

struct RecordPlan {
  std::vector<Event> events;  // in time order in the demo
  std::vector<SynapticPotential> synaptic;
  double slow_drift_mv = 0;  // standard deviation of a drift with a 2-s time constant
  double white_noise_mv = 0.02;
  uint64_t seed = 1;
};

// Upstroke times of every spike of the event or record, ascending.
std::vector<double> UpstrokeTimes(const Event& event);
std::vector<double> UpstrokeTimes(const RecordPlan& plan);

// The membrane voltage of one record in mV: rest with drift and a little white noise, the
// events' shifts and spikes, and the synaptic potentials.
std::vector<double> SynthesiseRecord(const RecordPlan& plan, int32_t samples, double dt_ms);

// AcqTime in ms and the sample pairs per record, as the loader derives them from the header's
// "DT=" and "NBD=".
double SampleIntervalMs(const writer::WcpHeader& header);
int32_t SamplesPerRecord(const writer::WcpHeader& header);

// The bundled demo, written at build time: six records of 20 s at 16 kHz (interictal
// discharges, three ictal discharges and a quiet record) in the classic layout.
writer::WcpHeader DemoHeader();
std::vector<RecordPlan> DemoPlans();

// One record of 10,000,001 loaded samples (625 s) with 300 spikes: interictal bursts every 20 s
// and three ictal discharges.
writer::WcpHeader BigHeader();
RecordPlan BigPlan();

void WriteRecording(const std::string& path, const writer::WcpHeader& header,
                    const std::vector<RecordPlan>& plans);

}  // namespace ictalscope::demo
