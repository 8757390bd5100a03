#pragma once
// The inner loop of the band transform. UI thread (called from bandTransform).

#include <cstdint>

#include "band_transform.h"

namespace bandscope {

// The window in the three forms the bands read, each padded with zeros to whole blocks:
// the samples themselves, and the sums and differences of samples j and j + bandCount.
struct KernelInput {
  alignas(64) int16_t full[kMaxSamples];
  alignas(64) int16_t sum[kMaxBands];
  alignas(64) int16_t diff[kMaxBands];
};

// values[i] := the magnitude of band i, for i < bandCount. Uses AVX-512 or AVX2 where the
// processor has them, else the portable loop; all give the same values.
void kernelMagnitudes(const KernelTables& k, const KernelInput& in, int bandCount, float windowNorm,
                      int16_t* values);

// The implementations, for tests and benchmarks. Call the AVX ones only where have...() says.
void kernelPortable(const KernelTables& k, const KernelInput& in, int bandCount, float windowNorm,
                    int16_t* values);
void kernelAvx2(const KernelTables& k, const KernelInput& in, int bandCount, float windowNorm,
                int16_t* values);
void kernelAvx512(const KernelTables& k, const KernelInput& in, int bandCount, float windowNorm,
                  int16_t* values);
bool haveAvx512();
bool haveAvx2();

}  // namespace bandscope
