#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <utility>

#include "recording/rise_summary.h"

namespace ictalscope {

// Samples of one record: indices 0 to 10,000,000.
inline constexpr int32_t kTraceCapacity = 10'000'001;

struct FreeDeleter {
  void operator()(double* p) const { std::free(p); }
};

// An anonymous mapping of `bytes` (a multiple of SampleArray::kAlignment) starting on a 2-MiB
// boundary, advised for transparent huge pages where the kernel offers them; zero and mapped
// lazily, as anonymous pages are. Throws std::bad_alloc when the mapping fails.
void* MapHugePageAligned(size_t bytes);
void UnmapHugePageAligned(void* p, size_t bytes) noexcept;

// A full-capacity sample array, allocated once and zero at start. It is an anonymous mapping of
// its size rounded up to a whole number of 2-MiB pages, starting on a 2-MiB boundary and
// advised for transparent huge pages where the kernel offers them, so that writing the array
// takes one page fault per 2 MiB instead of one per 4 KiB. The pages are mapped lazily, so an
// array that is never written costs no memory.
class SampleArray {
 public:
  static constexpr size_t kAlignment = size_t{2} << 20;
  // The bytes mapped: kTraceCapacity doubles rounded up to a multiple of kAlignment.
  static constexpr size_t kMappedBytes =
      (sizeof(double) * kTraceCapacity + kAlignment - 1) / kAlignment * kAlignment;

  SampleArray();
  // Every way to write the samples counts one write access, which outdates their rise summary.
  double& operator[](int32_t k) { return WritableData()[k]; }
  double* data() { return WritableData(); }
  double operator[](int32_t k) const { return data_.get()[k]; }
  const double* data() const { return data_.get(); }

  // The rise summary of the samples as they stand: the one kept since the last write access,
  // or an empty one.
  const RiseSummary& rises() const {
    static const RiseSummary kNone;
    return rises_kept_at_ == write_accesses_ ? rises_ : kNone;
  }
  // The number of write accesses so far.
  uint64_t write_accesses() const { return write_accesses_; }
  // Takes the summary's memory away for a new one to be built in.
  RiseSummary TakeRises() { return std::exchange(rises_, RiseSummary()); }
  // Keeps `rises` as the summary of the samples, until the next write access. The caller
  // vouches that it was built from the samples as they stand and that no pointer from an
  // earlier write access writes them later (such a write would not outdate the summary).
  void KeepRises(RiseSummary rises) {
    rises_ = std::move(rises);
    rises_kept_at_ = write_accesses_;
  }

  // The two arrays trade their samples (no sample is copied): a write access to each.
  friend void swap(SampleArray& a, SampleArray& b) noexcept {
    a.data_.swap(b.data_);
    ++a.write_accesses_;
    ++b.write_accesses_;
  }

 private:
  double* WritableData() {
    ++write_accesses_;
    return data_.get();
  }

  struct Unmap {
    void operator()(double* p) const noexcept;
  };
  std::unique_ptr<double, Unmap> data_;
  RiseSummary rises_;
  uint64_t write_accesses_ = 0;
  uint64_t rises_kept_at_ = static_cast<uint64_t>(-1);  // none kept yet
};

// The loaded record: V[0..LastIndex] in mV, sample k at k * AcqTime ms. Each load overwrites
// V[0..LastIndex] and leaves higher indices as earlier loads left them.
struct Trace {
  SampleArray V;
  int32_t LastIndex = -1;
  double AcqTime = 0;  // ms per sample
  int32_t RecordNo = 0;
  int32_t NR = 0;
};

}  // namespace ictalscope
