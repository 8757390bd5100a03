#include "transform_kernel.h"

#include <cmath>

#include "assertion.h"
#include "transform_kernel_parts.h"
#include "vector_intrinsics.h"

namespace bandscope {

namespace {

using kernel_parts::kTermBlocks;
using kernel_parts::termsOf;

static_assert(4 * kTermBlocks * 65536 < (int64_t{1} << 31));  // whole weights, 4 positions a lane
static_assert(kTermBlocks * 3 < (int64_t{1} << 15));          // low bits, 16-bit lanes

using Lanes32 = int32_t __attribute__((vector_size(kKernelBlock * 4)));
using Lanes64 = int64_t __attribute__((vector_size(kKernelBlock * 8)));

int64_t laneSum(Lanes32 v) {
  const Lanes64 wide = __builtin_convertvector(v, Lanes64);
  int64_t sum = 0;
  for (int l = 0; l < kKernelBlock; ++l) sum += wide[l];
  return sum;
}

// N windows transformed against the same tables in one pass: each weight block is loaded
// once and applied to every window.
template <int N>
struct Batch {
  // The AVX-512 loop holds six accumulators a window in registers: two windows fit.
  static_assert(N == 1 || N == 2);
  const KernelInput* in[N];
  int16_t* values[N];
};

// Rebuilds each weight from its high part and bits; the compiler vectorises the lanes for
// whichever instruction set the caller is compiled for.
template <int N>
__attribute__((always_inline)) inline void portableSums(const KernelTables& k,
                                                        const Batch<N>& batch, int bandCount,
                                                        int64_t* const* C, int64_t* const* S) {
  for (int i = 0; i < bandCount; ++i) {
    const KernelBand& band = k.band[i];
    const int16_t* f[N];
    Lanes32 accC[N] = {};
    Lanes32 accS[N] = {};
    for (int c = 0; c < N; ++c) f[c] = termsOf(*batch.in[c], band.fold);
    for (int b = 0; b < band.blocks; ++b) {
      const int16_t* high = k.high + (band.offset + b) * 2 * kKernelBlock;
      const KernelBits& bits = k.bits[band.offset + b];
      Lanes32 wc;
      Lanes32 ws;
      for (int l = 0; l < kKernelBlock; ++l) {
        wc[l] = 4 * high[l] + static_cast<int32_t>((bits.cos0 >> l) & 1) +
                2 * static_cast<int32_t>((bits.cos1 >> l) & 1);
        ws[l] = 4 * high[kKernelBlock + l] + static_cast<int32_t>((bits.sin0 >> l) & 1) +
                2 * static_cast<int32_t>((bits.sin1 >> l) & 1);
      }
      for (int c = 0; c < N; ++c) {
        Lanes32 x;
        for (int l = 0; l < kKernelBlock; ++l) x[l] = f[c][b * kKernelBlock + l];
        accC[c] += x * wc;
        accS[c] += x * ws;
      }
    }
    for (int c = 0; c < N; ++c) {
      C[c][i] = laneSum(accC[c]);
      S[c][i] = laneSum(accS[c]);
    }
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
template <int N>
__attribute__((always_inline)) inline void portableMagnitudes(const KernelTables& k,
                                                              const Batch<N>& batch, int bandCount,
                                                              float windowNorm) {
  int64_t C[N][kMaxBands];
  int64_t S[N][kMaxBands];
  int64_t* cRows[N];
  int64_t* sRows[N];
  for (int c = 0; c < N; ++c) {
    cRows[c] = C[c];
    sRows[c] = S[c];
  }
  portableSums(k, batch, bandCount, cRows, sRows);
  for (int c = 0; c < N; ++c) magnitudesOf(C[c], S[c], bandCount, windowNorm, batch.values[c]);
}

// One window's accumulators over one band: the multiply-adds against the high parts in
// 32-bit lanes, and per low bit the masked sum of x in 16-bit lanes.
struct Avx512Sums {
  __m512i cos, sin, cos0, cos1, sin0, sin1;
};

// 4 x high + low0 + 2 x low1: the exact sum of each 32-bit lane, over two sample positions.
__attribute__((target("arch=x86-64-v4"))) inline __m512i exactLanes(__m512i high, __m512i low0,
                                                                    __m512i low1) {
  const __m512i low = _mm512_add_epi16(low0, _mm512_add_epi16(low1, low1));
  return _mm512_add_epi32(_mm512_slli_epi32(high, 2), _mm512_madd_epi16(low, _mm512_set1_epi16(1)));
}

// The sixteen lanes added in pairs into eight 64-bit lanes; the pair's four sample
// positions stay inside 32 bits.
__attribute__((target("arch=x86-64-v4"))) inline __m512i widePairs(__m512i v) {
  return _mm512_cvtepi32_epi64(
      _mm256_add_epi32(_mm512_castsi512_si256(v), _mm512_extracti64x4_epi64(v, 1)));
}

// (C, S) of one window over one band, from its accumulators.
__attribute__((target("arch=x86-64-v4"))) inline __m128i bandSums(const Avx512Sums& a) {
  const __m512i c = widePairs(exactLanes(a.cos, a.cos0, a.cos1));
  const __m512i s = widePairs(exactLanes(a.sin, a.sin0, a.sin1));
  const __m512i cs = _mm512_add_epi64(_mm512_unpacklo_epi64(c, s), _mm512_unpackhi_epi64(c, s));
  const __m256i h = _mm256_add_epi64(_mm512_castsi512_si256(cs), _mm512_extracti64x4_epi64(cs, 1));
  return _mm_add_epi64(_mm256_castsi256_si128(h), _mm256_extracti128_si256(h, 1));
}

// C / 65536, truncated toward zero as in bandMagnitude, in double precision.
__attribute__((target("arch=x86-64-v4"))) inline __m512d quotient(__m512i v) {
  const __m512i bias = _mm512_and_si512(_mm512_srai_epi64(v, 63), _mm512_set1_epi64(65535));
  return _mm512_cvtepi64_pd(_mm512_srai_epi64(_mm512_add_epi64(v, bias), 16));
}

// magnitudesOf eight bands at a time, with the same operations and so the same values;
// only the bands near a tie are handed to bandMagnitude.
__attribute__((target("arch=x86-64-v4"))) inline void avx512MagnitudesOf(
    const int64_t* C, const int64_t* S, int bandCount, float windowNorm, int16_t* values) {
  const __m512d norm = _mm512_set1_pd(windowNorm);
  for (int i = 0; i < bandCount; i += 8) {
    const auto m = static_cast<__mmask8>(bandCount - i >= 8 ? 0xFF : (1u << (bandCount - i)) - 1);
    const __m512d a = quotient(_mm512_maskz_loadu_epi64(m, C + i));
    const __m512d b = quotient(_mm512_maskz_loadu_epi64(m, S + i));
    // a^2 + b^2 is below 2^38, so exact in a double with or without the fused add.
    const __m512d x =
        _mm512_div_pd(_mm512_sqrt_pd(_mm512_fmadd_pd(a, a, _mm512_mul_pd(b, b))), norm);
    const __m512d r = _mm512_roundscale_pd(x, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
    _mm_mask_storeu_epi16(values + i, m, _mm256_cvtepi32_epi16(_mm512_cvtpd_epi32(r)));
    // nearTie(x), lane by lane.
    const __m512d fromTie =
        _mm512_abs_pd(_mm512_sub_pd(_mm512_abs_pd(_mm512_sub_pd(x, r)), _mm512_set1_pd(0.5)));
    for (unsigned ties = _mm512_mask_cmp_pd_mask(m, fromTie, _mm512_set1_pd(1e-6), _CMP_LE_OQ);
         ties != 0; ties &= ties - 1) {
      const int j = i + __builtin_ctz(ties);
      values[j] = bandMagnitude(C[j], S[j], windowNorm);
    }
  }
}

// Per block of 32 samples: two 16-bit multiply-adds against the high parts, and for each
// low bit a masked 16-bit add of x; the weight block is loaded once for all N windows.
// C[c][i] and S[c][i]: window c's sums of band i.
template <int N>
__attribute__((target("arch=x86-64-v4"))) BANDSCOPE_NO_LOOP_HEADER_COPY void avx512Sums(
    const KernelTables& k, const Batch<N>& batch, int bandCount, int64_t* const* C,
    int64_t* const* S) {
  for (int i = 0; i < bandCount; ++i) {
    const KernelBand& band = k.band[i];
    const int16_t* high = k.high + band.offset * 2 * kKernelBlock;
    const KernelBits* bits = k.bits + band.offset;
    const int16_t* f[N];
    Avx512Sums acc[N];
    for (int c = 0; c < N; ++c) {
      f[c] = termsOf(*batch.in[c], band.fold);
      acc[c].cos = acc[c].sin = _mm512_setzero_si512();
      acc[c].cos0 = acc[c].cos1 = acc[c].sin0 = acc[c].sin1 = _mm512_setzero_si512();
    }
    for (int b = 0; b < band.blocks; ++b) {
      const int16_t* h = high + b * 2 * kKernelBlock;
      const __m512i hc = _mm512_load_si512(h);
      const __m512i hs = _mm512_load_si512(h + kKernelBlock);
      const KernelBits& bb = bits[b];
      for (int c = 0; c < N; ++c) {
        Avx512Sums& a = acc[c];
        const __m512i x = _mm512_load_si512(f[c] + b * kKernelBlock);
        a.cos = _mm512_add_epi32(a.cos, _mm512_madd_epi16(x, hc));
        a.sin = _mm512_add_epi32(a.sin, _mm512_madd_epi16(x, hs));
        a.cos0 = _mm512_mask_add_epi16(a.cos0, bb.cos0, a.cos0, x);
        a.cos1 = _mm512_mask_add_epi16(a.cos1, bb.cos1, a.cos1, x);
        a.sin0 = _mm512_mask_add_epi16(a.sin0, bb.sin0, a.sin0, x);
        a.sin1 = _mm512_mask_add_epi16(a.sin1, bb.sin1, a.sin1, x);
      }
    }
    for (int c = 0; c < N; ++c) {
      const __m128i cs = bandSums(acc[c]);
      C[c][i] = _mm_cvtsi128_si64(cs);
      S[c][i] = _mm_extract_epi64(cs, 1);
    }
  }
}

template <int N>
__attribute__((target("arch=x86-64-v4"))) void avx512Magnitudes(const KernelTables& k,
                                                                const Batch<N>& batch,
                                                                int bandCount, float windowNorm) {
  int64_t C[N][kMaxBands];
  int64_t S[N][kMaxBands];
  int64_t* cRows[N];
  int64_t* sRows[N];
  for (int c = 0; c < N; ++c) {
    cRows[c] = C[c];
    sRows[c] = S[c];
  }
  avx512Sums(k, batch, bandCount, cRows, sRows);
  for (int c = 0; c < N; ++c) {
    avx512MagnitudesOf(C[c], S[c], bandCount, windowNorm, batch.values[c]);
  }
}

using Mono = Batch<1>;
using Stereo = Batch<2>;

}  // namespace

void kernelPortable(const KernelTables& k, const KernelInput& in, int bandCount, float windowNorm,
                    int16_t* values) {
  portableMagnitudes(k, Mono{{&in}, {values}}, bandCount, windowNorm);
}

void kernelPortable(const KernelTables& k, const KernelInput& in0, const KernelInput& in1,
                    int bandCount, float windowNorm, int16_t* values0, int16_t* values1) {
  portableMagnitudes(k, Stereo{{&in0, &in1}, {values0, values1}}, bandCount, windowNorm);
}

__attribute__((target("arch=x86-64-v4"))) void kernelAvx512(const KernelTables& k,
                                                            const KernelInput& in, int bandCount,
                                                            float windowNorm, int16_t* values) {
  avx512Magnitudes(k, Mono{{&in}, {values}}, bandCount, windowNorm);
}

__attribute__((target("arch=x86-64-v4"))) void kernelAvx512(const KernelTables& k,
                                                            const KernelInput& in0,
                                                            const KernelInput& in1, int bandCount,
                                                            float windowNorm, int16_t* values0,
                                                            int16_t* values1) {
  avx512Magnitudes(k, Stereo{{&in0, &in1}, {values0, values1}}, bandCount, windowNorm);
}

void kernelSumsPortable(const KernelTables& k, const KernelInput& in0, const KernelInput& in1,
                        int bandCount, int64_t* C0, int64_t* S0, int64_t* C1, int64_t* S1) {
  int64_t* C[] = {C0, C1};
  int64_t* S[] = {S0, S1};
  portableSums(k, Stereo{{&in0, &in1}, {nullptr, nullptr}}, bandCount, C, S);
}

__attribute__((target("arch=x86-64-v4"))) void kernelSumsAvx512(
    const KernelTables& k, const KernelInput& in0, const KernelInput& in1, int bandCount,
    int64_t* C0, int64_t* S0, int64_t* C1, int64_t* S1) {
  int64_t* C[] = {C0, C1};
  int64_t* S[] = {S0, S1};
  avx512Sums(k, Stereo{{&in0, &in1}, {nullptr, nullptr}}, bandCount, C, S);
}

bool kernelCodeAvailable(KernelCode code) {
  switch (code) {
    case KernelCode::Best:
    case KernelCode::Portable:
      return true;
    case KernelCode::Avx2:
      return haveAvx2();
    case KernelCode::Avx512:
      return haveAvx512();
  }
  return false;
}

namespace {

// The code that runs for `code`: Best resolves to what the processor has. Chosen by a
// plain test rather than an ifunc resolver: resolvers run before the sanitizers' runtimes
// start, and the sanitizer builds must run the same code.
KernelCode resolved(KernelCode code) {
  check(kernelCodeAvailable(code), "this processor lacks the kernel's instruction set");
  if (code != KernelCode::Best) return code;
  return haveAvx512() ? KernelCode::Avx512 : haveAvx2() ? KernelCode::Avx2 : KernelCode::Portable;
}

template <typename... Args>
void dispatch(KernelCode code, const Args&... args) {
  switch (resolved(code)) {
    case KernelCode::Avx512:
      kernelAvx512(args...);
      break;
    case KernelCode::Avx2:
      kernelAvx2(args...);
      break;
    default:
      kernelPortable(args...);
      break;
  }
}

}  // namespace

void kernelMagnitudes(const KernelTables& k, const KernelInput& in, int bandCount, float windowNorm,
                      int16_t* values, KernelCode code) {
  dispatch(code, k, in, bandCount, windowNorm, values);
}

void kernelMagnitudes(const KernelTables& k, const KernelInput& in0, const KernelInput& in1,
                      int bandCount, float windowNorm, int16_t* values0, int16_t* values1,
                      KernelCode code) {
  dispatch(code, k, in0, in1, bandCount, windowNorm, values0, values1);
}

void kernelSums(const KernelTables& k, const KernelInput& in0, const KernelInput& in1,
                int bandCount, int64_t* C0, int64_t* S0, int64_t* C1, int64_t* S1,
                KernelCode code) {
  switch (resolved(code)) {
    case KernelCode::Avx512:
      kernelSumsAvx512(k, in0, in1, bandCount, C0, S0, C1, S1);
      break;
    case KernelCode::Avx2:
      kernelSumsAvx2(k, in0, in1, bandCount, C0, S0, C1, S1);
      break;
    default:
      kernelSumsPortable(k, in0, in1, bandCount, C0, S0, C1, S1);
      break;
  }
}

}  // namespace bandscope
