#pragma once
// What every variant of the band transform's inner loop shares: the integer bounds and the
// choice of window form. UI thread (inside the kernel calls).

#include <cstdint>

#include "band_transform.h"
#include "transform_kernel.h"

namespace bandscope::kernel_parts {

// Bounds that keep every lane inside its integer type. A band reads at most 1024 sample
// terms of |x| <= 255 or 512 sums of |x| <= 510, so per lane position at most 32 blocks
// of 255 or 16 blocks of 510: the same worst case, 32 x 255 = 16 x 510. The 16-bit mode's
// bytes stay inside them: high bytes -128 .. 127 (sums -256 .. 254), low bytes 0 .. 255.
inline constexpr int kMaxTerm = 510;                   // |x| of any term
inline constexpr int64_t kTermBlocks = 16 * kMaxTerm;  // sum of |x| over one lane position
static_assert(kTermBlocks == (kMaxSamples / kKernelBlock) * 255);

inline const int16_t* termsOf(const KernelInput& in, Fold fold) {
  return fold == Fold::Full ? in.full : fold == Fold::Sum ? in.sum : in.diff;
}

}  // namespace bandscope::kernel_parts
