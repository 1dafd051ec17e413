#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "recording/trace.h"

namespace ictalscope {
namespace {

uintptr_t Address(const double* p) { return reinterpret_cast<uintptr_t>(p); }

// How many pages of the array's mapping are resident.
size_t ResidentPages(const double* data) {
  const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
  std::vector<unsigned char> residency((SampleArray::kMappedBytes + page - 1) / page);
  if (::mincore(const_cast<double*>(data), SampleArray::kMappedBytes, residency.data()) != 0) {
    ADD_FAILURE() << "mincore failed on the array's mapping";
    return 0;
  }
  return static_cast<size_t>(
      std::count_if(residency.begin(), residency.end(), [](unsigned char r) { return r & 1; }));
}

// Makes every later madvise of this process fail with EINVAL, as on a kernel that offers no
// transparent huge pages; false when the filter cannot be installed.
bool RefuseMadvise() {
  sock_filter filter[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_madvise, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EINVAL),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
  return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
         ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

// In a child process: 0 when an array is aligned, zero and writable at both ends although
// madvise fails; 2 when madvise could not be made to fail, 1 otherwise.
int UseAnArrayWhileMadviseFails() {
  if (!RefuseMadvise()) return 2;
  char probe[1];
  if (::madvise(probe, 0, MADV_NORMAL) == 0 || errno != EINVAL) return 2;
  SampleArray a;
  const bool aligned = Address(a.data()) % (size_t{2} << 20) == 0;
  const bool zero = a[0] == 0 && a[kTraceCapacity / 2] == 0 && a[kTraceCapacity - 1] == 0;
  a[0] = 1;
  a[kTraceCapacity - 1] = 2;
  return aligned && zero && a[0] == 1 && a[kTraceCapacity - 1] == 2 ? 0 : 1;
}

TEST(SampleArray, StartsOnATwoMebibyteBoundary) {
  const SampleArray a, b;
  EXPECT_EQ(Address(a.data()) % (size_t{2} << 20), 0u);
  EXPECT_EQ(Address(b.data()) % (size_t{2} << 20), 0u);
  EXPECT_EQ(SampleArray::kMappedBytes % (size_t{2} << 20), 0u);
  EXPECT_GE(SampleArray::kMappedBytes, sizeof(double) * kTraceCapacity);
  EXPECT_LT(SampleArray::kMappedBytes, sizeof(double) * kTraceCapacity + (size_t{2} << 20));
  // The two mappings do not overlap.
  EXPECT_TRUE(Address(a.data()) + SampleArray::kMappedBytes <= Address(b.data()) ||
              Address(b.data()) + SampleArray::kMappedBytes <= Address(a.data()));
}

TEST(SampleArray, CostsNoMemoryUntilWritten) {
  const auto a = std::make_unique<SampleArray>();
  EXPECT_EQ(ResidentPages(a->data()), 0u);
}

TEST(SampleArray, IsZeroAtStart) {
  const SampleArray a;
  const double* v = a.data();
  EXPECT_TRUE(std::all_of(v, v + kTraceCapacity, [](double x) { return x == 0; }));
  // Also the bytes of the last huge page past the last sample.
  const auto* bytes = reinterpret_cast<const unsigned char*>(v);
  EXPECT_TRUE(std::all_of(bytes + sizeof(double) * kTraceCapacity,
                          bytes + SampleArray::kMappedBytes,
                          [](unsigned char c) { return c == 0; }));
}

TEST(SampleArray, IsWritableAtBothEnds) {
  SampleArray a;
  a[0] = -65.5;
  a[kTraceCapacity - 1] = 29.25;
  EXPECT_EQ(a[0], -65.5);
  EXPECT_EQ(a[kTraceCapacity - 1], 29.25);
  EXPECT_EQ(a[1], 0);
  EXPECT_EQ(a[kTraceCapacity - 2], 0);
  // The whole mapping is the array's: its last byte too.
  unsigned char* last = reinterpret_cast<unsigned char*>(a.data()) + SampleArray::kMappedBytes - 1;
  *last = 7;
  EXPECT_EQ(*last, 7);
}

TEST(SampleArray, AFreshArrayIsZeroAfterAWrittenOneIsGone) {
  {
    SampleArray written;
    std::fill(written.data(), written.data() + kTraceCapacity, 1.5);
  }
  const SampleArray fresh;
  const double* v = fresh.data();
  EXPECT_TRUE(std::all_of(v, v + kTraceCapacity, [](double x) { return x == 0; }));
}

// Where the kernel refuses the advice for huge pages, the array takes ordinary pages.
TEST(SampleArray, WorksWhereMadviseFails) {
  EXPECT_EXIT(std::_Exit(UseAnArrayWhileMadviseFails()), ::testing::ExitedWithCode(0), "");
}

TEST(SampleArray, SwapTradesTheSamples) {
  SampleArray a, b;
  const double* a_data = a.data();
  const double* b_data = b.data();
  a[5] = 1;
  b[5] = 2;
  swap(a, b);
  EXPECT_EQ(a.data(), b_data);
  EXPECT_EQ(b.data(), a_data);
  EXPECT_EQ(a[5], 2);
  EXPECT_EQ(b[5], 1);
}

}  // namespace
}  // namespace ictalscope
