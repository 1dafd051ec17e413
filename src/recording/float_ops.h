#pragma once

#include <cstdint>

namespace ictalscope {

// Trunc: toward zero, into a 64-bit integer. NaN or a value outside the int64 range throws
// Error("Invalid floating point operation"), as the processor's conversion does.
int64_t TruncToInt64(long double x);

// Trunc stored into a 32-bit integer: the low 32 bits of the 64-bit result, as an assignment of
// the 64-bit Trunc to an int32 variable keeps them.
int32_t TruncToInt32(long double x);

// a / b in long double. A zero divisor throws Error("Floating point division by zero"), or
// Error("Invalid floating point operation") when the dividend is 0 (or NaN) too.
long double Divide(long double a, long double b);

}  // namespace ictalscope
