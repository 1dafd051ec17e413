#pragma once

#include <cstdint>
#include <string>

#include "writer/abf_writer.h"

namespace ictalscope::demo {

// A gap-free ABF 2 file of one int16 channel in mV at 20 us per sample: 300 s would be
// 15,000,000 samples, so the loader cuts it into records of 10,000,001, the most a trace holds.
// The default length, 5e8 samples, makes a 1-GB file of 50 records for the memory check.
inline constexpr int64_t kBigAbfFrames = 500'000'000;
inline constexpr float kBigAbfIntervalUs = 20;

// The header: channel "IN 0" in mV, 10 V over 32768 counts, instrument scale 0.1 V/mV, so
// that a count is 10 / (0.1f x 32768), about 0.003 mV.
writer::AbfDescription BigAbfDescription();

// Count k of the channel: rest at -65 mV with a little white noise (within 64 counts, about
// 0.2 mV), the same for a given k whatever the file's length.
int16_t BigAbfCount(int64_t k);

// Writes the file a chunk at a time (a few MB of memory whatever its length); throws
// std::runtime_error when it cannot.
void WriteBigAbf(const std::string& path, int64_t frames = kBigAbfFrames);

}  // namespace ictalscope::demo
