#include "level_scale.h"

#include <cmath>

#include "rounding.h"

namespace bandscope {

int32_t levelScale(int32_t v) {
  // The double logarithm is several times cheaper than the extended one and rounds the same
  // unless the value is near a tie.
  const double fast = std::log(v / 10.0 + 2.5) * 116.0;
  if (!nearTie(fast)) return static_cast<int32_t>(roundEven(fast) - 95);
  const long double x = std::log(static_cast<long double>(v) / 10.0L + 2.5L) * 116.0L;
  return static_cast<int32_t>(roundEven(x) - 95);
}

}  // namespace bandscope
