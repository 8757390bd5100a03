#pragma once
// The logarithmic level of a magnitude. Pure; any thread.

#include <cstdint>

namespace bandscope {

// Round(ln(v / 10 + 2.5) x 116) - 95: 0 gives 11, 10 gives 50, 1000 gives 442.
// Defined for v > -25; the analysis passes v >= 0.
int32_t levelScale(int32_t v);

}  // namespace bandscope
