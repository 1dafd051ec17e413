#include "recording/float_ops.h"

#include <cmath>

#include "base/error.h"

namespace ictalscope {

int64_t TruncToInt64(long double x) {
  // 2^63 is exact in long double; the valid range is [-2^63, 2^63) after truncation.
  constexpr long double kLimit = 9223372036854775808.0L;
  long double t = std::trunc(x);
  if (!(t >= -kLimit && t < kLimit)) throw Error(messages::kInvalidFloatOperation);
  return static_cast<int64_t>(t);
}

int32_t TruncToInt32(long double x) {
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(TruncToInt64(x))));
}

long double Divide(long double a, long double b) {
  if (b == 0) {
    throw Error(a == 0 || std::isnan(a) ? messages::kInvalidFloatOperation
                                        : messages::kFloatDivisionByZero);
  }
  return a / b;
}

}  // namespace ictalscope
