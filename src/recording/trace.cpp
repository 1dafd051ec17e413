#include "recording/trace.h"

#include <sys/mman.h>

#include <cstdint>
#include <new>

namespace ictalscope {

namespace {

// Maps kMappedBytes of zero pages on a kAlignment boundary: a mapping one alignment larger,
// trimmed at both ends. Anonymous pages are zero and mapped when first touched.
double* MapAligned() {
  constexpr size_t kAlignment = SampleArray::kAlignment;
  constexpr size_t kBytes = SampleArray::kMappedBytes;
  void* raw = ::mmap(nullptr, kBytes + kAlignment, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) throw std::bad_alloc();
  const auto start = reinterpret_cast<uintptr_t>(raw);
  const size_t head = (kAlignment - start % kAlignment) % kAlignment;
  char* aligned = static_cast<char*>(raw) + head;
  if (head > 0) ::munmap(raw, head);
  ::munmap(aligned + kBytes, kAlignment - head);
#ifdef MADV_HUGEPAGE
  // A kernel without transparent huge pages, or with them off, refuses the advice: the array
  // then takes ordinary pages, so the result is ignored.
  (void)::madvise(aligned, kBytes, MADV_HUGEPAGE);
#endif
  return reinterpret_cast<double*>(aligned);
}

}  // namespace

SampleArray::SampleArray() : data_(MapAligned()) {}

void SampleArray::Unmap::operator()(double* p) const noexcept { ::munmap(p, kMappedBytes); }

}  // namespace ictalscope
