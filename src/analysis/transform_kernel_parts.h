#pragma once
// Pieces every variant of the band transform's inner loop shares: the integer bounds, the
// choice of window form, and the magnitudes from the sums. Inline, so that each variant
// compiles them for its own instruction set. UI thread (inside the kernel calls).

#include <cmath>
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

// values[i] := the magnitude of band i from its sums, as bandMagnitude gives it. Double
// precision decides the rounding of every band whose value lies clear of a tie; the few
// others are decided by bandMagnitude itself.
__attribute__((always_inline)) inline void magnitudesOf(const int64_t* C, const int64_t* S,
                                                        int bandCount, float windowNorm,
                                                        int16_t* values) {
  bool anyNearTie = false;
  for (int i = 0; i < bandCount; ++i) {
    // |C| < 2^35, so a and b fit 32 bits and a^2 + b^2 is exact in a double.
    const auto a = static_cast<int32_t>(C[i] / 65536);
    const auto b = static_cast<int32_t>(S[i] / 65536);
    const double x =
        std::sqrt(static_cast<double>(a) * a + static_cast<double>(b) * b) / windowNorm;
    values[i] = static_cast<int16_t>(static_cast<int32_t>(std::rint(x)));
    anyNearTie |= nearTie(x);
  }
  if (!anyNearTie) return;
  for (int i = 0; i < bandCount; ++i) values[i] = bandMagnitude(C[i], S[i], windowNorm);
}

}  // namespace bandscope::kernel_parts
