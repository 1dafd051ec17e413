#include "recording/channel_reader.h"

#include <cstring>

#include "base/error.h"

namespace ictalscope {

namespace {

constexpr int64_t kBlockBytes = int64_t{1} << 20;
constexpr int64_t kPageBytes = 4096;

uint16_t LoadU16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

float LoadF32(const unsigned char* p) {
  const uint32_t bits = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                        (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// kStride > 0 fixes the frame size at compile time (one or two int16 channels, the usual
// files), so that the loop is unrolled with constant offsets; 0 takes `stride`.
template <int64_t kStride>
void ConvertCounts(const unsigned char* p, int64_t stride, int64_t count, CountTable& table,
                   double* out) {
  if constexpr (kStride > 0) stride = kStride;
  const bool* ready = table.ready();
  const double* values = table.values();
  constexpr int kShift = CountTable::kBlockShift;
  int64_t j = 0;
  // Four samples a step, their table blocks checked together.
  for (; j + 4 <= count; j += 4) {
    const uint16_t a = LoadU16(p + j * stride), b = LoadU16(p + (j + 1) * stride);
    const uint16_t c = LoadU16(p + (j + 2) * stride), d = LoadU16(p + (j + 3) * stride);
    if (!(ready[a >> kShift] & ready[b >> kShift] & ready[c >> kShift] & ready[d >> kShift]))
        [[unlikely]] {
      for (const uint16_t bits : {a, b, c, d}) {
        if (!ready[bits >> kShift]) table.Fill(bits >> kShift);
      }
    }
    out[j] = values[a];
    out[j + 1] = values[b];
    out[j + 2] = values[c];
    out[j + 3] = values[d];
  }
  for (; j < count; ++j) {
    const uint16_t bits = LoadU16(p + j * stride);
    if (!ready[bits >> kShift]) [[unlikely]] {
      table.Fill(bits >> kShift);
    }
    out[j] = values[bits];
  }
}

}  // namespace

void CountTable::Fill(int block) {
  const int first = block << kBlockShift;
  for (int bits = first; bits < first + (1 << kBlockShift); ++bits) {
    const long double count = static_cast<int16_t>(static_cast<uint16_t>(bits));
    values_[static_cast<size_t>(bits)] = static_cast<double>(mv_of_count_(count));
  }
  ready_[static_cast<size_t>(block)] = true;
}

SampleConversion SampleConversion::Float32(long double factor) {
  SampleConversion conversion;
  conversion.factor_ = factor;
  return conversion;
}

ChannelReader::ChannelReader(const BinaryFile& file, const FrameRun& run,
                             SampleConversion conversion)
    : file_(file),
      run_(run),
      conversion_(std::move(conversion)),
      bytes_per_sample_(conversion_.type() == SampleType::kInt16 ? 2 : 4),
      frame_bytes_(static_cast<int64_t>(run.channels) * bytes_per_sample_),
      capacity_frames_(std::min(std::max<int64_t>(1, kBlockBytes / frame_bytes_),
                                std::max<int64_t>(run.frames, 1))) {
  // A page more than a block, and a page to align the start: see Refill.
  const int64_t bytes = capacity_frames_ * frame_bytes_ + 2 * kPageBytes;
  storage_ = std::make_unique_for_overwrite<unsigned char[]>(static_cast<size_t>(bytes));
  const auto address = reinterpret_cast<uintptr_t>(storage_.get());
  page_ = storage_.get() + (kPageBytes - address % kPageBytes) % kPageBytes;
}

// The frames go to the buffer at the same place within a page as they have in the file: the
// kernel then copies from the page cache between equally aligned addresses, which on some
// processors is much faster than a copy to a differently aligned buffer.
void ChannelReader::Refill() {
  const int64_t frames = std::min(capacity_frames_, run_.frames - next_frame_);
  const size_t bytes = static_cast<size_t>(frames * frame_bytes_);
  const int64_t position = run_.offset + next_frame_ * frame_bytes_;
  frames_ = page_ + position % kPageBytes;
  if (frames <= 0 || file_.ReadAt(position, frames_, bytes) != bytes) {
    throw Error(file_.path() + " ended inside the record being read");
  }
  next_frame_ += frames;
  buffered_frames_ = frames;
  used_frames_ = 0;
}

void ChannelReader::Convert(const unsigned char* frames, int64_t count, double* out) const {
  const unsigned char* p = frames + static_cast<int64_t>(run_.position) * bytes_per_sample_;
  if (conversion_.type() == SampleType::kInt16) {
    CountTable& table = conversion_.table();
    if (frame_bytes_ == 2) return ConvertCounts<2>(p, frame_bytes_, count, table, out);
    if (frame_bytes_ == 4) return ConvertCounts<4>(p, frame_bytes_, count, table, out);
    return ConvertCounts<0>(p, frame_bytes_, count, table, out);
  }
  const long double factor = conversion_.factor();
  if (factor == 1) {
    // A float32 times 1 is exact in long double, and a float32 is exact as a double: the
    // product stored as double is the value itself.
    for (int64_t j = 0; j < count; ++j) out[j] = LoadF32(p + j * frame_bytes_);
    return;
  }
  for (int64_t j = 0; j < count; ++j) {
    out[j] = static_cast<double>(LoadF32(p + j * frame_bytes_) * factor);
  }
}

void ChannelReader::Read(double* out, int64_t count) {
  while (count > 0) {
    if (used_frames_ == buffered_frames_) Refill();
    const int64_t n = std::min(count, buffered_frames_ - used_frames_);
    Convert(frames_ + used_frames_ * frame_bytes_, n, out);
    used_frames_ += n;
    out += n;
    count -= n;
  }
}

}  // namespace ictalscope
