#include "big_abf.h"

#include "seeded_noise.h"

namespace ictalscope::demo {

namespace {

constexpr int16_t kRestCounts = -21'299;  // -65 mV at about 0.00305 mV per count

}  // namespace

writer::AbfDescription BigAbfDescription() {
  writer::AbfDescription d;
  d.mode = writer::AbfMode::kGapFree;
  d.interval_us = kBigAbfIntervalUs;
  d.channels = {{.name = "IN 0", .unit = "mV", .instrument_scale = 0.1f}};
  return d;
}

// A hash of k rather than a running sequence, so that any chunk can be written on its own.
int16_t BigAbfCount(int64_t k) {
  SeededNoise noise(static_cast<uint64_t>(k));
  return static_cast<int16_t>(kRestCounts + static_cast<int>(noise.Next() % 128) - 64);
}

void WriteBigAbf(const std::string& path, int64_t frames) {
  writer::WriteStreamedGapFreeAbf(
      path, BigAbfDescription(), frames,
      writer::AbfCountSource([](int64_t first, int64_t count, int16_t* out) {
        for (int64_t k = 0; k < count; ++k) out[k] = BigAbfCount(first + k);
      }));
}

}  // namespace ictalscope::demo
