#include "recording/sample_vector.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>

#include "recording/trace.h"

namespace ictalscope {
namespace {

constexpr size_t kPageDoubles = SampleArray::kAlignment / sizeof(double);

uintptr_t Address(const SampleVector& v) { return reinterpret_cast<uintptr_t>(v.data()); }

TEST(SampleVectorTest, LargeVectorsStartOnA2MiBBoundaryAndHoldWhatIsWritten) {
  for (const size_t n : {kPageDoubles, kPageDoubles + 1, size_t{10'000'001}}) {
    SampleVector v(n);
    EXPECT_EQ(Address(v) % SampleArray::kAlignment, 0u) << n;
    std::iota(v.begin(), v.end(), 0.0);
    EXPECT_EQ(v.front(), 0.0);
    EXPECT_EQ(v.back(), static_cast<double>(n - 1)) << n;
  }
}

// A record read after the previous one was freed takes over its mapping when it needs as many
// 2-MiB pages; any other size gets a mapping of its own.
TEST(SampleVectorTest, ReusesTheLastFreedLargeBlockOfTheSamePages) {
  struct Case {
    const char* name;
    size_t first, second;
    bool reused;
  } const cases[] = {
      {"same size", 3 * kPageDoubles, 3 * kPageDoubles, true},
      {"same pages, fewer samples", 3 * kPageDoubles, 2 * kPageDoubles + 5, true},
      {"one page more", 2 * kPageDoubles, 2 * kPageDoubles + 1, false},
      {"half the pages", 4 * kPageDoubles, 2 * kPageDoubles, false},
  };
  for (const Case& c : cases) {
    uintptr_t freed = 0;
    {
      SampleVector first(c.first);
      first.back() = 1.5;
      freed = Address(first);
    }
    SampleVector second(c.second);
    EXPECT_EQ(Address(second) == freed, c.reused) << c.name;
    second.assign(c.second, 2.0);
    EXPECT_EQ(second.back(), 2.0) << c.name;
  }
}

TEST(SampleVectorTest, SmallVectorsComeFromTheHeapAndCopyLikeAnyVector) {
  SampleVector small{1.0, 2.0, 3.0};
  SampleVector copy = small;
  copy.push_back(4.0);
  EXPECT_EQ(small.size(), 3u);
  EXPECT_EQ(copy, (SampleVector{1.0, 2.0, 3.0, 4.0}));
  SampleVector grown;
  for (size_t k = 0; k < kPageDoubles + 10; ++k) grown.push_back(static_cast<double>(k));
  EXPECT_EQ(grown[kPageDoubles + 9], static_cast<double>(kPageDoubles + 9));
}

}  // namespace
}  // namespace ictalscope
