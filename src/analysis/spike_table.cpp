#include "analysis/spike_table.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace ictalscope {

namespace {

double* ZeroedEntries(int32_t entries) {
  auto* data = static_cast<double*>(std::calloc(static_cast<size_t>(entries), sizeof(double)));
  if (data == nullptr) throw std::bad_alloc();
  return data;
}

}  // namespace

SpikeColumn::SpikeColumn(int32_t entries) : entries_(entries), data_(ZeroedEntries(entries)) {}

SpikeColumn::SpikeColumn(const SpikeColumn& other)
    : entries_(other.entries_), data_(ZeroedEntries(other.entries_)) {
  std::memcpy(data_.get(), other.data_.get(), sizeof(double) * static_cast<size_t>(entries_));
}

SpikeColumn& SpikeColumn::operator=(const SpikeColumn& other) {
  if (this != &other) *this = SpikeColumn(other);
  return *this;
}

}  // namespace ictalscope
