#include "transform_kernel.h"

namespace bandscope {

namespace {

// Each 32-bit lane adds at most kMaxSamples / kKernelLanes products of a sample term
// (|term| <= 510 for sums, 255 otherwise) and a weight (|w| <= 65536), and a band reads at
// most kMaxSamples terms of 255 or kMaxBands terms of 510: the lane sums stay below 2^31.
static_assert(int64_t{kMaxSamples / kKernelLanes} * 255 * 65536 < (int64_t{1} << 31));
static_assert(int64_t{kMaxBands / kKernelLanes} * 510 * 65536 < (int64_t{1} << 31));

}  // namespace

// One lane group as a GCC vector: 16 x 32 bits, lowered to whatever registers the
// instruction set offers (one AVX-512 register, two AVX2 ones, four SSE ones).
using Lanes32 = int32_t __attribute__((vector_size(kKernelLanes * 4)));
using Lanes64 = int64_t __attribute__((vector_size(kKernelLanes * 8)));

// The sum of all lanes, widened to 64 bits before any two lanes are added.
inline int64_t laneSum(Lanes32 v) {
  const Lanes64 wide = __builtin_convertvector(v, Lanes64);
  int64_t sum = 0;
  for (int l = 0; l < kKernelLanes; ++l) sum += wide[l];
  return sum;
}

__attribute__((target_clones("arch=x86-64-v4", "arch=x86-64-v3", "default"))) void kernelSums(
    const KernelTables& k, const KernelInput& in, int bandCount, int64_t* C, int64_t* S) {
  for (int i = 0; i < bandCount; ++i) {
    const KernelBand& band = k.band[i];
    const int32_t* f = band.fold == Fold::Full  ? in.full
                       : band.fold == Fold::Sum ? in.sum
                                                : in.diff;
    const int32_t* w = k.weights + band.offset;
    Lanes32 accC = {};
    Lanes32 accS = {};
    for (int b = 0; b < band.blocks; ++b) {
      Lanes32 x;
      Lanes32 wc;
      Lanes32 ws;
      __builtin_memcpy(&x, f + b * kKernelLanes, sizeof x);
      __builtin_memcpy(&wc, w + b * 2 * kKernelLanes, sizeof wc);
      __builtin_memcpy(&ws, w + b * 2 * kKernelLanes + kKernelLanes, sizeof ws);
      accC += x * wc;
      accS += x * ws;
    }
    C[i] = laneSum(accC);
    S[i] = laneSum(accS);
  }
}

}  // namespace bandscope
