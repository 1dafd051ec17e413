#include "recording/trace.h"

#include <new>

namespace ictalscope {

// calloc of a large block maps zero pages on demand: pages that are never written cost nothing.
SampleArray::SampleArray()
    : data_(
          static_cast<double*>(std::calloc(static_cast<size_t>(kTraceCapacity), sizeof(double)))) {
  if (data_ == nullptr) throw std::bad_alloc();
}

}  // namespace ictalscope
