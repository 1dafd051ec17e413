#pragma once

#include <cstdint>

#include "base/error.h"

namespace ictalscope {

// Error("Record too long: N samples (at most 10000001)") for a record of `samples` samples
// that does not fit the trace.
Error RecordTooLong(int64_t samples);

}  // namespace ictalscope
