#include "level_scale.h"

#include <cmath>

#include "rounding.h"

namespace bandscope {

int32_t levelScale(int32_t v) {
  const long double x = std::log(static_cast<long double>(v) / 10.0L + 2.5L) * 116.0L;
  return static_cast<int32_t>(roundEven(x) - 95);
}

}  // namespace bandscope
