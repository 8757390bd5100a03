#pragma once
// The inner loop of the band transform. UI thread (called from bandTransform and
// bandTransformStereo).

#include <cstdint>

#include "band_transform.h"
#include "cpu_features.h"

namespace bandscope {

// The window in the three forms the bands read, each padded with zeros to whole blocks:
// the samples themselves, and the sums and differences of samples j and j + bandCount.
struct KernelInput {
  alignas(64) int16_t full[kMaxSamples];
  alignas(64) int16_t sum[kMaxBands];
  alignas(64) int16_t diff[kMaxBands];
};

// Whether `code` can run here (Best and Portable always can).
bool kernelCodeAvailable(KernelCode code);

// values[i] := the magnitude of band i, for i < bandCount. By default AVX-512 or AVX2 where
// the processor has them, else the portable loop; all give the same values. A code the
// processor lacks throws AssertionFailure.
void kernelMagnitudes(const KernelTables& k, const KernelInput& in, int bandCount, float windowNorm,
                      int16_t* values, KernelCode code = KernelCode::Best);
// Two windows in one pass over the tables: each weight block is loaded once and applied to
// both. values0 and values1 are what two single calls give.
void kernelMagnitudes(const KernelTables& k, const KernelInput& in0, const KernelInput& in1,
                      int bandCount, float windowNorm, int16_t* values0, int16_t* values1,
                      KernelCode code = KernelCode::Best);

// The cosine and sine sums of every band (i < bandCount) over two windows at once, before any
// magnitude: what 16-bit samples need, read as their high and low bytes. Exact; AVX-512, AVX2
// or the portable loop as the processor allows (or code says), all giving the same sums.
void kernelSums(const KernelTables& k, const KernelInput& in0, const KernelInput& in1,
                int bandCount, int64_t* C0, int64_t* S0, int64_t* C1, int64_t* S1,
                KernelCode code = KernelCode::Best);

// The implementations, for tests and benchmarks. Call the AVX ones only where have...() says.
// The AVX2 ones live in transform_kernel_avx2.cpp, the others in transform_kernel.cpp.
void kernelPortable(const KernelTables& k, const KernelInput& in, int bandCount, float windowNorm,
                    int16_t* values);
void kernelAvx2(const KernelTables& k, const KernelInput& in, int bandCount, float windowNorm,
                int16_t* values);
void kernelAvx512(const KernelTables& k, const KernelInput& in, int bandCount, float windowNorm,
                  int16_t* values);
void kernelPortable(const KernelTables& k, const KernelInput& in0, const KernelInput& in1,
                    int bandCount, float windowNorm, int16_t* values0, int16_t* values1);
void kernelAvx2(const KernelTables& k, const KernelInput& in0, const KernelInput& in1,
                int bandCount, float windowNorm, int16_t* values0, int16_t* values1);
void kernelAvx512(const KernelTables& k, const KernelInput& in0, const KernelInput& in1,
                  int bandCount, float windowNorm, int16_t* values0, int16_t* values1);
void kernelSumsPortable(const KernelTables& k, const KernelInput& in0, const KernelInput& in1,
                        int bandCount, int64_t* C0, int64_t* S0, int64_t* C1, int64_t* S1);
void kernelSumsAvx2(const KernelTables& k, const KernelInput& in0, const KernelInput& in1,
                    int bandCount, int64_t* C0, int64_t* S0, int64_t* C1, int64_t* S1);
void kernelSumsAvx512(const KernelTables& k, const KernelInput& in0, const KernelInput& in1,
                      int bandCount, int64_t* C0, int64_t* S0, int64_t* C1, int64_t* S1);

}  // namespace bandscope
