// The channel reader gives, bit for bit, the double of each sample's conversion in long double,
// whatever the frame size, the channel's position, the run's offset and the record's length
// across the reader's blocks; and it reports a file that ends inside the run.
#include "recording/channel_reader.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "recording/binary_file.h"
#include "recording_fixture.h"
#include "support/scratch_directory.h"

namespace ictalscope {
namespace {

using testing::ScratchDirectory;

// Frames that span three of the reader's 1-MiB blocks for any frame size used here, so that
// refills at offsets of every alignment are crossed.
int64_t FramesOverThreeBlocks(int64_t frame_bytes) {
  return 3 * (int64_t{1} << 20) / frame_bytes - 7;
}

// Bytes of `frames` frames after `offset` filler bytes; sample k of position c is word(k, c).
template <typename Word>
std::string FileBytes(int64_t offset, int64_t frames, int channels, Word word) {
  std::string bytes(static_cast<size_t>(offset), '\x5A');
  using Sample = decltype(word(0, 0));
  bytes.resize(bytes.size() + static_cast<size_t>(frames * channels) * sizeof(Sample));
  char* out = bytes.data() + offset;
  for (int64_t k = 0; k < frames; ++k) {
    for (int c = 0; c < channels; ++c, out += sizeof(Sample)) {
      const Sample sample = word(k, c);
      std::memcpy(out, &sample, sizeof sample);
    }
  }
  return bytes;
}

// Every one of the 65536 counts occurs at the analysed position (7919 is odd, so k * 7919
// runs through all 16-bit values), in an order that jumps between the table's blocks.
int16_t CountAt(int64_t k, int c) {
  return static_cast<int16_t>(static_cast<uint16_t>(k * 7919 + c * 40503));
}

// float32 values of every kind: normal, subnormal, signed zeros, infinities and NaNs with
// payloads, both signs.
float ValueAt(int64_t k, int c) {
  const uint32_t bits = static_cast<uint32_t>(k * 2654435761u + static_cast<uint32_t>(c) * 97u);
  switch (k % 7) {
    case 0:
      return std::bit_cast<float>(bits);  // any pattern, NaNs included
    case 1:
      return std::bit_cast<float>(bits & 0x807FFFFFu);  // subnormal or zero
    case 2:
      return std::bit_cast<float>((bits & 0x80000000u) | 0x7F800000u);  // infinity
    case 3:
      return std::bit_cast<float>((bits | 0x7F800000u) | 1u);  // NaN, quiet or signalling
    default:
      return static_cast<float>(static_cast<int32_t>(bits) % 200000) * 0.001f;
  }
}

bool SameBits(double a, double b) {
  return std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b);
}

// Reads the run in the reader's chunks, as a load does.
std::vector<double> ReadRun(const std::string& path, const FrameRun& run,
                            SampleConversion conversion) {
  BinaryFile file(path);
  ChannelReader reader(file, run, std::move(conversion));
  std::vector<double> v(static_cast<size_t>(run.frames), -12345);
  int32_t expected_first = 0;
  reader.ReadRecord(v.data(), static_cast<int32_t>(run.frames - 1),
                    [&](int32_t first, int32_t last) {
                      EXPECT_EQ(first, expected_first);
                      expected_first = last + 1;
                    });
  EXPECT_EQ(expected_first, run.frames);
  return v;
}

struct LayoutCase {
  int channels;
  int position;
  int64_t offset;
};

// Offsets on a page, off it by a block, by an odd byte and by a cache line's fraction.
const LayoutCase kLayouts[] = {{1, 0, 0},    {1, 0, 4096}, {2, 1, 2048}, {2, 0, 4097},
                               {3, 2, 1536}, {5, 3, 123},  {2, 1, 8192}};

TEST(ChannelReader, Int16SamplesAreTheTableOfTheCallablesLongDoubles) {
  ScratchDirectory dir;
  // Not a multiple of 2^-k, so that the long double arithmetic rounds.
  const long double gains = 0.0199999995529651641845703125L * 3;
  auto mv_of_count = [gains](long double count) {
    return (count / gains * 10 / 32768 + 0.3L) * 1000;
  };
  for (const LayoutCase& layout : kLayouts) {
    SCOPED_TRACE(std::to_string(layout.channels) + " channels, position " +
                 std::to_string(layout.position) + ", offset " + std::to_string(layout.offset));
    const int64_t frames = FramesOverThreeBlocks(2 * layout.channels);
    testing::WriteFile("f.dat", FileBytes(layout.offset, frames, layout.channels, CountAt));
    const std::vector<double> v =
        ReadRun("f.dat", {layout.offset, frames, layout.channels, layout.position},
                SampleConversion::Int16(mv_of_count));
    for (int64_t k = 0; k < frames; ++k) {
      const double expected = static_cast<double>(mv_of_count(CountAt(k, layout.position)));
      ASSERT_TRUE(SameBits(v[static_cast<size_t>(k)], expected))
          << "V[" << k << "] = " << v[static_cast<size_t>(k)] << ", expected " << expected;
    }
  }
}

TEST(ChannelReader, Float32SamplesAreTheirLongDoubleProductsStoredAsDouble) {
  ScratchDirectory dir;
  for (const long double factor : {1.0L, 1000.0L, 0.001L, -1.0L}) {
    for (const LayoutCase& layout : kLayouts) {
      SCOPED_TRACE("factor " + std::to_string(static_cast<double>(factor)) + ", " +
                   std::to_string(layout.channels) + " channels, position " +
                   std::to_string(layout.position) + ", offset " + std::to_string(layout.offset));
      const int64_t frames = FramesOverThreeBlocks(4 * layout.channels);
      testing::WriteFile("f.dat", FileBytes(layout.offset, frames, layout.channels, ValueAt));
      const std::vector<double> v =
          ReadRun("f.dat", {layout.offset, frames, layout.channels, layout.position},
                  SampleConversion::Float32(factor));
      for (int64_t k = 0; k < frames; ++k) {
        const long double value = ValueAt(k, layout.position);
        const double expected = static_cast<double>(value * factor);
        ASSERT_TRUE(SameBits(v[static_cast<size_t>(k)], expected))
            << "V[" << k << "] = " << v[static_cast<size_t>(k)] << ", expected " << expected;
      }
    }
  }
}

// A file that shrank below the run (the header said it holds it) is reported at the block that
// finds the end: the chunks before it were stored and drawn, the samples of that block too.
TEST(ChannelReader, AFileEndingInsideTheRunIsReported) {
  ScratchDirectory dir;
  const int64_t frames = FramesOverThreeBlocks(4);
  testing::WriteFile("f.dat", FileBytes(2048, frames / 2, 2, CountAt));
  BinaryFile file("f.dat");
  ChannelReader reader(file, {2048, frames, 2, 1},
                       SampleConversion::Int16([](long double count) { return count; }));
  std::vector<double> v(static_cast<size_t>(frames), -12345);
  int32_t stored = -1;
  EXPECT_THROW_MSG(reader.ReadRecord(v.data(), static_cast<int32_t>(frames - 1),
                                     [&](int32_t, int32_t last) { stored = last; }),
                   "f.dat ended inside the record being read");
  // The first block holds frames 0 .. 2^18 - 1; the chunk that runs into the short second
  // block, 3 + 15 x 16384 + 1 onwards, is not passed on.
  constexpr int32_t kBlockFrames = 1 << 18;
  EXPECT_EQ(stored, 3 + 15 * 16384);
  EXPECT_EQ(v[kBlockFrames - 1], CountAt(kBlockFrames - 1, 1));
  EXPECT_EQ(v[kBlockFrames], -12345);
}

}  // namespace
}  // namespace ictalscope
