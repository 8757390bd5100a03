#pragma once
// The inner loop of the band transform, compiled for several instruction sets and chosen
// at run time. UI thread (called from bandTransform).

#include <cstdint>

#include "band_transform.h"

namespace bandscope {

// The window in the three forms the bands read, each padded with zeros to whole blocks:
// the samples themselves, and the sums and differences of samples j and j + bandCount.
struct KernelInput {
  alignas(64) int32_t full[kMaxSamples];
  alignas(64) int32_t sum[kMaxBands];
  alignas(64) int32_t diff[kMaxBands];
};

// C[i], S[i] := cosine and sine sums of band i, for i < bandCount.
void kernelSums(const KernelTables& k, const KernelInput& in, int bandCount, int64_t* C,
                int64_t* S);

}  // namespace bandscope
