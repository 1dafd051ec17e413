#include "recording/trace.h"

#include <sys/mman.h>

#include <cstdint>
#include <new>

namespace ictalscope {

// A mapping one alignment larger than asked, trimmed at both ends.
void* MapHugePageAligned(size_t bytes) {
  constexpr size_t kAlignment = SampleArray::kAlignment;
  void* raw = ::mmap(nullptr, bytes + kAlignment, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) throw std::bad_alloc();
  const auto start = reinterpret_cast<uintptr_t>(raw);
  const size_t head = (kAlignment - start % kAlignment) % kAlignment;
  char* aligned = static_cast<char*>(raw) + head;
  if (head > 0) ::munmap(raw, head);
  ::munmap(aligned + bytes, kAlignment - head);
#ifdef MADV_HUGEPAGE
  // A kernel without transparent huge pages, or with them off, refuses the advice: the mapping
  // then takes ordinary pages, so the result is ignored.
  (void)::madvise(aligned, bytes, MADV_HUGEPAGE);
#endif
  return aligned;
}

void UnmapHugePageAligned(void* p, size_t bytes) noexcept { ::munmap(p, bytes); }

SampleArray::SampleArray() : data_(static_cast<double*>(MapHugePageAligned(kMappedBytes))) {}

void SampleArray::Unmap::operator()(double* p) const noexcept {
  UnmapHugePageAligned(p, kMappedBytes);
}

}  // namespace ictalscope
