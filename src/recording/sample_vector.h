#pragma once

#include <cstddef>
#include <new>
#include <utility>
#include <vector>

namespace ictalscope {

// The memory of a record read as plain data. A block of 2 MiB or more is a mapping of whole
// 2-MiB pages advised for huge pages (trace.h), smaller ones come from operator new. The last
// large block freed is kept for the next allocation of the same number of pages, so that
// reading record after record, each freed before the next but one is read, reuses one mapping
// instead of having the kernel map and zero 80 MB for each. Thread-safe.
void* AllocateSampleBytes(size_t bytes);
void FreeSampleBytes(void* p, size_t bytes) noexcept;

// Elements are default-initialised: resizing a vector of doubles leaves the new elements
// unwritten, for the reader that fills them.
template <typename T>
class SampleAllocator {
 public:
  using value_type = T;

  SampleAllocator() noexcept = default;
  template <typename U>
  SampleAllocator(const SampleAllocator<U>&) noexcept {}

  T* allocate(size_t n) {
    if (n > static_cast<size_t>(-1) / sizeof(T)) throw std::bad_array_new_length();
    return static_cast<T*>(AllocateSampleBytes(n * sizeof(T)));
  }
  void deallocate(T* p, size_t n) noexcept { FreeSampleBytes(p, n * sizeof(T)); }

  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    if constexpr (sizeof...(Args) == 0) {
      ::new (static_cast<void*>(p)) U;
    } else {
      ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
  }

  template <typename U>
  bool operator==(const SampleAllocator<U>&) const noexcept {
    return true;
  }
};

using SampleVector = std::vector<double, SampleAllocator<double>>;

}  // namespace ictalscope
