#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "recording/binary_file.h"

namespace ictalscope {

enum class SampleType { kInt16, kFloat32 };

// How the raw samples of one channel become mV, as a double per sample.
class SampleConversion {
 public:
  // int16 counts: `mv_of_count(count)` in long double for each of the 65536 counts, kept in a
  // table so that the per-sample work is one load.
  template <typename MvOfCount>
  static SampleConversion Int16(MvOfCount&& mv_of_count) {
    SampleConversion conversion;
    conversion.table_ = std::make_shared<std::array<double, 65536>>();
    for (int bits = 0; bits < 65536; ++bits) {
      const long double count = static_cast<int16_t>(static_cast<uint16_t>(bits));
      (*conversion.table_)[bits] = static_cast<double>(mv_of_count(count));
    }
    return conversion;
  }
  // float32 values times `factor`, in long double, stored as double.
  static SampleConversion Float32(long double factor);

  SampleType type() const { return table_ ? SampleType::kInt16 : SampleType::kFloat32; }
  const std::array<double, 65536>& table() const { return *table_; }
  long double factor() const { return factor_; }

 private:
  std::shared_ptr<std::array<double, 65536>> table_;
  long double factor_ = 1;
};

// Where the samples of one channel of one record lie: `frames` frames of `channels` samples
// each from byte `offset`, the channel at frame position `position`.
struct FrameRun {
  int64_t offset = 0;
  int64_t frames = 0;
  int channels = 1;
  int position = 0;
};

// Reads one channel of a run of interleaved frames a block at a time. The run lies wholly in
// the file (the header readers list only such records); a file that ends before it does (it
// shrank) throws "FILE ended inside the record being read".
class ChannelReader {
 public:
  ChannelReader(const BinaryFile& file, const FrameRun& run, SampleConversion conversion);

  // The next `count` samples of the channel, converted to mV.
  void Read(double* out, int64_t count);

  // Reads samples 0..last into `v` a chunk at a time, calling after_chunk(first, last) after
  // each. The first chunk ends at sample 3, the first that may be drawn, so that a drawing step
  // that fails there leaves V[0..3] stored and the later samples untouched.
  template <typename AfterChunk>
  void ReadRecord(double* v, int32_t last, AfterChunk&& after_chunk) {
    constexpr int32_t kChunkSamples = 1 << 14;
    for (int32_t first = 0; first <= last;) {
      const int32_t chunk_last = std::min(first == 0 ? 3 : first + kChunkSamples - 1, last);
      Read(v + first, chunk_last - first + 1);
      after_chunk(first, chunk_last);
      first = chunk_last + 1;
    }
  }

 private:
  void Refill();
  void Convert(const unsigned char* frames, int64_t count, double* out) const;

  const BinaryFile& file_;
  FrameRun run_;
  SampleConversion conversion_;
  int bytes_per_sample_;
  int64_t frame_bytes_;
  int64_t next_frame_ = 0;  // of the run, not yet in the buffer
  std::vector<unsigned char> buffer_;
  int64_t buffered_frames_ = 0;
  int64_t used_frames_ = 0;
};

}  // namespace ictalscope
