// Fuzz target: the ABF header reader on arbitrary bytes.
//
// The input is the whole file. Refusal with an Error is an expected outcome; a header that is
// accepted must describe records that the loader can read without further checks: at least one
// channel and at most kAbfMaxChannels, a positive finite interval, finite non-zero scales for
// int16 data, and records of at least one frame, in order, without overlap, wholly in the file.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "recording/abf_header.h"
#include "recording/binary_file.h"

namespace ictalscope::fuzz {
namespace {

constexpr const char* kName = "r.abf";

void CheckChannels(const AbfHeader& h) {
  Expect(!h.channels.empty(), "at least one channel");
  Expect(h.channels.size() <= static_cast<size_t>(kAbfMaxChannels), "at most 16 channels");
  Expect(std::isfinite(h.interval_us) && h.interval_us > 0, "a positive finite interval");
  if (h.float_samples) return;
  Expect(h.adc_resolution > 0, "a positive ADC resolution");
  Expect(std::isfinite(h.adc_range_v) && h.adc_range_v > 0, "a positive ADC range");
  for (const AbfChannel& c : h.channels) {
    const long double factor = static_cast<long double>(h.adc_range_v) / h.adc_resolution /
                               (static_cast<long double>(c.instrument_scale) * c.signal_gain *
                                c.programmable_gain * c.telegraph_gain);
    Expect(std::isfinite(factor) && factor != 0, "a finite non-zero scale");
    Expect(std::isfinite(c.instrument_offset - c.signal_offset), "finite offsets");
  }
}

void CheckRecords(const AbfHeader& h, int64_t file_size) {
  Expect(h.records.size() <= static_cast<size_t>(kAbfMaxRecords), "at most a million records");
  const __int128 frame_bytes = static_cast<__int128>(h.channels.size()) * h.BytesPerSample();
  int64_t next_free = 0;
  for (const AbfRecord& r : h.records) {
    Expect(r.frames > 0, "records of at least one frame");
    Expect(r.first_frame >= next_free, "records in order, without overlap");
    if (h.operation_mode == 3) Expect(r.frames <= kGapFreeRecordMaxFrames, "short records");
    const __int128 end =
        h.data_offset + (static_cast<__int128>(r.first_frame) + r.frames) * frame_bytes;
    Expect(h.data_offset >= 0 && end <= file_size, "records within the file");
    next_free = r.first_frame + r.frames;
  }
}

}  // namespace
}  // namespace ictalscope::fuzz

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  ictalscope::fuzz::MakePathArgumentsAbsolute(argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace ictalscope::fuzz;
  EnterScratchDirectory();
  WriteFile(kName, data, size);
  const ictalscope::BinaryFile file(kName);
  ictalscope::AbfHeader header;
  if (!Tolerate([&] { header = ictalscope::ReadAbfHeader(file); })) return 0;
  Expect(ictalscope::HasAbfSignature(
             std::string(reinterpret_cast<const char*>(data), std::min<size_t>(size, 4))),
         "an accepted file has the signature");
  CheckChannels(header);
  CheckRecords(header, file.size());
  return 0;
}
