#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>

#include "recording/binary_file.h"

namespace ictalscope {

enum class SampleType { kInt16, kFloat32 };

// The mV of each int16 count, `mv_of_count(count)` in long double stored as a double. An entry is
// computed the first time a sample needs it, a block of 64 neighbouring counts at a time: a
// record touches only the counts its voltage spans, and the whole table would cost two long
// double divisions for each of 65536 counts (about a millisecond) on every load.
class CountTable {
 public:
  explicit CountTable(std::function<long double(long double)> mv_of_count)
      : mv_of_count_(std::move(mv_of_count)) {}

  static constexpr int kBlockShift = 6;

  // Whether the block of counts `block` (bits >> kBlockShift) has its values.
  const bool* ready() const { return ready_.data(); }
  // The values, indexed by a count's 16 bits as unsigned; valid where ready.
  const double* values() const { return values_.get(); }
  void Fill(int block);

 private:
  std::function<long double(long double)> mv_of_count_;
  std::array<bool, (65536 >> kBlockShift)> ready_{};
  std::unique_ptr<double[]> values_ = std::make_unique_for_overwrite<double[]>(65536);
};

// How the raw samples of one channel become mV, as a double per sample.
class SampleConversion {
 public:
  // int16 counts: `mv_of_count(count)` in long double, kept in a table so that the per-sample
  // work is one load. The callable is copied and called while the conversion (or a copy of it)
  // reads samples, so whatever it refers to must outlive the reading.
  template <typename MvOfCount>
  static SampleConversion Int16(MvOfCount&& mv_of_count) {
    SampleConversion conversion;
    conversion.table_ = std::make_shared<CountTable>(
        std::function<long double(long double)>(std::forward<MvOfCount>(mv_of_count)));
    return conversion;
  }
  // float32 values times `factor`, in long double, stored as double.
  static SampleConversion Float32(long double factor);

  SampleType type() const { return table_ ? SampleType::kInt16 : SampleType::kFloat32; }
  CountTable& table() const { return *table_; }
  long double factor() const { return factor_; }

 private:
  std::shared_ptr<CountTable> table_;
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
  int64_t capacity_frames_;  // per refill
  int64_t next_frame_ = 0;   // of the run, not yet in the buffer
  std::unique_ptr<unsigned char[]> storage_;
  unsigned char* page_ = nullptr;    // the first page boundary in storage_
  unsigned char* frames_ = nullptr;  // the buffered frames, from page_
  int64_t buffered_frames_ = 0;
  int64_t used_frames_ = 0;
};

}  // namespace ictalscope
