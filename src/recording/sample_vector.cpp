#include "recording/sample_vector.h"

#include <mutex>

#include "recording/trace.h"

namespace ictalscope {
namespace {

constexpr size_t kPage = SampleArray::kAlignment;

size_t MappedBytes(size_t bytes) { return (bytes + kPage - 1) / kPage * kPage; }

// The one large block kept after it was freed.
struct KeptBlock {
  std::mutex mutex;
  void* block = nullptr;
  size_t bytes = 0;  // mapped
};

// Never destroyed: a vector may be freed during the program's exit (by Python's finalisation,
// say) after static objects are gone.
KeptBlock& Kept() {
  static KeptBlock* const kept = new KeptBlock;
  return *kept;
}

}  // namespace

void* AllocateSampleBytes(size_t bytes) {
  if (bytes < kPage) return ::operator new(bytes == 0 ? 1 : bytes);
  const size_t mapped = MappedBytes(bytes);
  KeptBlock& kept = Kept();
  {
    const std::lock_guard<std::mutex> lock(kept.mutex);
    if (kept.block != nullptr && kept.bytes == mapped) {
      return std::exchange(kept.block, nullptr);
    }
  }
  return MapHugePageAligned(mapped);
}

void FreeSampleBytes(void* p, size_t bytes) noexcept {
  if (bytes < kPage) {
    ::operator delete(p);
    return;
  }
  const size_t mapped = MappedBytes(bytes);
  KeptBlock& kept = Kept();
  void* unmap = p;
  size_t unmap_bytes = mapped;
  {
    const std::lock_guard<std::mutex> lock(kept.mutex);
    std::swap(kept.block, unmap);
    std::swap(kept.bytes, unmap_bytes);
  }
  if (unmap != nullptr) UnmapHugePageAligned(unmap, unmap_bytes);
}

}  // namespace ictalscope
