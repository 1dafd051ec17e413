#include "recording/record_length.h"

#include <string>

#include "recording/trace.h"

namespace ictalscope {

Error RecordTooLong(int64_t samples) {
  return Error("Record too long: " + std::to_string(samples) + " samples (at most " +
               std::to_string(kTraceCapacity) + ")");
}

}  // namespace ictalscope
