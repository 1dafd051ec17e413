#include "recording/channel_reader.h"

#include <cstring>

#include "panel/error.h"

namespace ictalscope {

namespace {

constexpr int64_t kBlockBytes = int64_t{1} << 20;

uint16_t LoadU16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

float LoadF32(const unsigned char* p) {
  const uint32_t bits = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                        (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

}  // namespace

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
      frame_bytes_(static_cast<int64_t>(run.channels) * bytes_per_sample_) {
  const int64_t block_frames = std::max<int64_t>(1, kBlockBytes / frame_bytes_);
  buffer_.resize(
      static_cast<size_t>(std::min(block_frames, std::max<int64_t>(run.frames, 1)) * frame_bytes_));
}

void ChannelReader::Refill() {
  const int64_t capacity = static_cast<int64_t>(buffer_.size()) / frame_bytes_;
  const int64_t frames = std::min(capacity, run_.frames - next_frame_);
  const size_t bytes = static_cast<size_t>(frames * frame_bytes_);
  if (frames <= 0 ||
      file_.ReadAt(run_.offset + next_frame_ * frame_bytes_, buffer_.data(), bytes) != bytes) {
    throw Error(file_.path() + " ended inside the record being read");
  }
  next_frame_ += frames;
  buffered_frames_ = frames;
  used_frames_ = 0;
}

void ChannelReader::Convert(const unsigned char* frames, int64_t count, double* out) const {
  const unsigned char* p = frames + static_cast<int64_t>(run_.position) * bytes_per_sample_;
  if (conversion_.type() == SampleType::kInt16) {
    const std::array<double, 65536>& table = conversion_.table();
    for (int64_t j = 0; j < count; ++j) out[j] = table[LoadU16(p + j * frame_bytes_)];
    return;
  }
  const long double factor = conversion_.factor();
  for (int64_t j = 0; j < count; ++j) {
    out[j] = static_cast<double>(LoadF32(p + j * frame_bytes_) * factor);
  }
}

void ChannelReader::Read(double* out, int64_t count) {
  while (count > 0) {
    if (used_frames_ == buffered_frames_) Refill();
    const int64_t n = std::min(count, buffered_frames_ - used_frames_);
    Convert(buffer_.data() + used_frames_ * frame_bytes_, n, out);
    used_frames_ += n;
    out += n;
    count -= n;
  }
}

}  // namespace ictalscope
