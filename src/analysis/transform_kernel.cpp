#include "transform_kernel.h"

namespace bandscope {

namespace {

// Each 32-bit lane adds at most kMaxSamples / kKernelLanes products of a sample term
// (|term| <= 510 for sums, 255 otherwise) and a weight (|w| <= 65536), and a band reads at
// most kMaxSamples terms of 255 or kMaxBands terms of 510: the lane sums stay below 2^31.
static_assert(int64_t{kMaxSamples / kKernelLanes} * 255 * 65536 < (int64_t{1} << 31));
static_assert(int64_t{kMaxBands / kKernelLanes} * 510 * 65536 < (int64_t{1} << 31));

}  // namespace

__attribute__((target_clones("arch=x86-64-v4", "arch=x86-64-v3", "default"))) void kernelSums(
    const KernelTables& k, const KernelInput& in, int bandCount, int64_t* C, int64_t* S) {
  for (int i = 0; i < bandCount; ++i) {
    const KernelBand& band = k.band[i];
    const int32_t* f = band.fold == Fold::Full  ? in.full
                       : band.fold == Fold::Sum ? in.sum
                                                : in.diff;
    const int32_t* w = k.weights + band.offset;
    int32_t accC[kKernelLanes] = {};
    int32_t accS[kKernelLanes] = {};
    for (int b = 0; b < band.blocks; ++b) {
      const int32_t* fb = f + b * kKernelLanes;
      const int32_t* wb = w + b * 2 * kKernelLanes;
      for (int l = 0; l < kKernelLanes; ++l) {
        accC[l] += fb[l] * wb[l];
        accS[l] += fb[l] * wb[kKernelLanes + l];
      }
    }
    int64_t c = 0;
    int64_t s = 0;
    for (int l = 0; l < kKernelLanes; ++l) {
      c += accC[l];
      s += accS[l];
    }
    C[i] = c;
    S[i] = s;
  }
}

}  // namespace bandscope
