#pragma once
// Conversions from real to integer used throughout the analysis: round to nearest with
// ties to even (2.5 gives 2). The process never leaves the default rounding mode, so rint
// rounds this way; it is much cheaper than nearbyint, which saves the floating-point
// environment on every call. Pure; any thread.

#include <cmath>
#include <cstdint>

namespace bandscope {

inline int64_t roundEven(long double x) {
  return static_cast<int64_t>(std::rint(x));
}
inline int64_t roundEven(double x) {
  return static_cast<int64_t>(std::rint(x));
}

// True when x, computed in double precision, lies so close to a half-integer that the
// extended precision of a definition could round it the other way. Doubles carry every
// value here to far better than 1e-9; away from ties both precisions round alike.
inline bool nearTie(double x) {
  return std::fabs(std::fabs(x - std::rint(x)) - 0.5) <= 1e-6;
}

// Keeps the low 16 bits, as a store into a signed 16-bit array does.
inline int16_t low16(int64_t x) {
  return static_cast<int16_t>(static_cast<uint16_t>(x));
}

}  // namespace bandscope
