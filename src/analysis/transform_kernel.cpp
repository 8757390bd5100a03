#include "transform_kernel.h"

#include <cmath>

// GCC 12's AVX-512 headers trip -Wmaybe-uninitialized on their own "undefined" vectors
// (GCC bug 105593); the warning is about the header, not this code.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

namespace bandscope {

namespace {

// Bounds that keep every lane inside its integer type. A band reads at most 1024 sample
// terms of |x| <= 255 or 512 sums of |x| <= 510, so per lane position at most 32 blocks
// of 255 or 16 blocks of 510: the same worst case, 32 x 255 = 16 x 510.
constexpr int64_t kTermBlocks = 16 * 510;  // sum of |x| over one lane
static_assert(kTermBlocks == (kMaxSamples / kKernelBlock) * 255);
static_assert(kTermBlocks * 65536 < (int64_t{1} << 31));  // whole weights, 32-bit lanes
static_assert(kTermBlocks * 3 < (int64_t{1} << 15));      // low bits, 16-bit lanes

const int16_t* termsOf(const KernelInput& in, Fold fold) {
  return fold == Fold::Full ? in.full : fold == Fold::Sum ? in.sum : in.diff;
}

using Lanes32 = int32_t __attribute__((vector_size(kKernelBlock * 4)));
using Lanes64 = int64_t __attribute__((vector_size(kKernelBlock * 8)));

int64_t laneSum(Lanes32 v) {
  const Lanes64 wide = __builtin_convertvector(v, Lanes64);
  int64_t sum = 0;
  for (int l = 0; l < kKernelBlock; ++l) sum += wide[l];
  return sum;
}

__attribute__((target("arch=x86-64-v4"))) inline int64_t laneSum(__m512i v) {
  const __m512i lo = _mm512_cvtepi32_epi64(_mm512_castsi512_si256(v));
  const __m512i hi = _mm512_cvtepi32_epi64(_mm512_extracti64x4_epi64(v, 1));
  return _mm512_reduce_add_epi64(_mm512_add_epi64(lo, hi));
}

// Rebuilds each weight from its high part and bits; the compiler vectorises the lanes for
// whichever instruction set the caller is compiled for.
__attribute__((always_inline)) inline void portableSums(const KernelTables& k,
                                                        const KernelInput& in, int bandCount,
                                                        int64_t* C, int64_t* S) {
  for (int i = 0; i < bandCount; ++i) {
    const KernelBand& band = k.band[i];
    const int16_t* f = termsOf(in, band.fold);
    Lanes32 accC = {};
    Lanes32 accS = {};
    for (int b = 0; b < band.blocks; ++b) {
      const int16_t* high = k.high + (band.offset + b) * 2 * kKernelBlock;
      const KernelBits& bits = k.bits[band.offset + b];
      Lanes32 x;
      Lanes32 wc;
      Lanes32 ws;
      for (int l = 0; l < kKernelBlock; ++l) {
        x[l] = f[b * kKernelBlock + l];
        wc[l] = 4 * high[l] + static_cast<int32_t>((bits.cos0 >> l) & 1) +
                2 * static_cast<int32_t>((bits.cos1 >> l) & 1);
        ws[l] = 4 * high[kKernelBlock + l] + static_cast<int32_t>((bits.sin0 >> l) & 1) +
                2 * static_cast<int32_t>((bits.sin1 >> l) & 1);
      }
      accC += x * wc;
      accS += x * ws;
    }
    C[i] = laneSum(accC);
    S[i] = laneSum(accS);
  }
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

// The portable loop and the magnitudes, compiled into each caller's instruction set.
__attribute__((always_inline)) inline void portableMagnitudes(const KernelTables& k,
                                                              const KernelInput& in, int bandCount,
                                                              float windowNorm, int16_t* values) {
  int64_t C[kMaxBands];
  int64_t S[kMaxBands];
  portableSums(k, in, bandCount, C, S);
  magnitudesOf(C, S, bandCount, windowNorm, values);
}

}  // namespace

void kernelPortable(const KernelTables& k, const KernelInput& in, int bandCount, float windowNorm,
                    int16_t* values) {
  portableMagnitudes(k, in, bandCount, windowNorm, values);
}

__attribute__((target("arch=x86-64-v3"))) void kernelAvx2(const KernelTables& k,
                                                          const KernelInput& in, int bandCount,
                                                          float windowNorm, int16_t* values) {
  portableMagnitudes(k, in, bandCount, windowNorm, values);
}

// Per block of 32 samples: two 16-bit multiply-adds against the high parts, and masked
// 16-bit adds of x and 2x for the low bits. Each 32-bit lane of a multiply-add holds two
// samples; 4 x that plus the pairwise sum of the low lanes is the lane's exact sum.
__attribute__((target("arch=x86-64-v4"))) void kernelAvx512(const KernelTables& k,
                                                            const KernelInput& in, int bandCount,
                                                            float windowNorm, int16_t* values) {
  int64_t C[kMaxBands];
  int64_t S[kMaxBands];
  const __m512i ones = _mm512_set1_epi16(1);
  for (int i = 0; i < bandCount; ++i) {
    const KernelBand& band = k.band[i];
    const int16_t* f = termsOf(in, band.fold);
    const int16_t* high = k.high + band.offset * 2 * kKernelBlock;
    const KernelBits* bits = k.bits + band.offset;
    __m512i accC = _mm512_setzero_si512();
    __m512i accS = _mm512_setzero_si512();
    __m512i lowC = _mm512_setzero_si512();
    __m512i lowS = _mm512_setzero_si512();
    for (int b = 0; b < band.blocks; ++b) {
      const __m512i x = _mm512_load_si512(f + b * kKernelBlock);
      const __m512i x2 = _mm512_add_epi16(x, x);
      const int16_t* h = high + b * 2 * kKernelBlock;
      accC = _mm512_add_epi32(accC, _mm512_madd_epi16(x, _mm512_load_si512(h)));
      accS = _mm512_add_epi32(accS, _mm512_madd_epi16(x, _mm512_load_si512(h + kKernelBlock)));
      lowC = _mm512_mask_add_epi16(lowC, bits[b].cos0, lowC, x);
      lowC = _mm512_mask_add_epi16(lowC, bits[b].cos1, lowC, x2);
      lowS = _mm512_mask_add_epi16(lowS, bits[b].sin0, lowS, x);
      lowS = _mm512_mask_add_epi16(lowS, bits[b].sin1, lowS, x2);
    }
    C[i] = laneSum(_mm512_add_epi32(_mm512_slli_epi32(accC, 2), _mm512_madd_epi16(lowC, ones)));
    S[i] = laneSum(_mm512_add_epi32(_mm512_slli_epi32(accS, 2), _mm512_madd_epi16(lowS, ones)));
  }
  magnitudesOf(C, S, bandCount, windowNorm, values);
}

bool haveAvx512() {
  static const bool have = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
  return have;
}

bool haveAvx2() {
  static const bool have = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
  return have;
}

// Chosen by a plain test rather than an ifunc resolver: resolvers run before the
// sanitizers' runtimes start, and the sanitizer builds must run the same code.
void kernelMagnitudes(const KernelTables& k, const KernelInput& in, int bandCount, float windowNorm,
                      int16_t* values) {
  if (haveAvx512()) {
    kernelAvx512(k, in, bandCount, windowNorm, values);
  } else if (haveAvx2()) {
    kernelAvx2(k, in, bandCount, windowNorm, values);
  } else {
    kernelPortable(k, in, bandCount, windowNorm, values);
  }
}

}  // namespace bandscope
