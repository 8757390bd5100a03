// The band transform's inner loop in AVX2 intrinsics. UI thread (through the dispatch in
// transform_kernel.cpp, or directly from tests and benchmarks where haveAvx2()).
//
// A weight is 4 x high + low, low = bit0 + 2 x bit1 (see KernelBits). The high parts are
// 16-bit and go straight into multiply-adds. The low parts are rebuilt per block from the
// bit masks with a few whole-register steps: the two masks of each weight are merged into
// 2-bit fields (bit0, bit1 side by side), and every field lands in a 16-bit lane, left in
// place within its byte (so scaled by 1, 4, 16 or 64). Which lane holds which sample follows
// from that merge, not from the sample order; each window is rearranged (and scaled by
// 64, 16, 4 or 1 to even out the fields' scales) once per call to match, in lowTermsOf.

#include <cstdint>

#include "transform_kernel.h"
#include "transform_kernel_parts.h"
#include "vector_intrinsics.h"

namespace bandscope {

namespace {

using kernel_parts::kMaxTerm;
using kernel_parts::kTermBlocks;

constexpr int kPairs = 4;          // 2-bit fields per byte, one low-term vector each
constexpr int kLanes = 16;         // 16-bit lanes per register
constexpr int kLowScale = 64;      // every low product is 64 x (x x low)
constexpr int kMaxHigh = 1 << 14;  // |high| = |w >> 2| <= 65536 / 4

// Bounds. A 32-bit lane adds products from a fixed set of sample positions across blocks
// (at most kTermBlocks of |x| per position).
// High parts: two positions a lane per multiply-add, two multiply-adds (the block's halves)
// into the same accumulator: four positions.
static_assert(4 * kTermBlocks * kMaxHigh < (int64_t{1} << 31));
// Low parts: terms scaled to 64 x at most 510 fit 16 bits; two positions a lane per
// multiply-add, four multiply-adds (the fields) into the same accumulator: eight positions,
// each of at most 64 x 3 x kTermBlocks.
static_assert(kLowScale * kMaxTerm < (1 << 15));
static_assert(8 * kTermBlocks * kLowScale * 3 < (int64_t{1} << 31));
// A band's whole sum (1024 x 255 x 65536) does not fit 32 bits: lanes are widened to
// 64 bits before they are added together.

// One window's low terms: per block, kPairs registers of 16 lanes. Lane (h, q) of register
// p (h: 128-bit half, q: 0 .. 7) holds 4^(3 - p) x the sample 8 (q mod 4) + 2 p + h of the
// block: the sample whose low weight the same lane of lowWeights' register p holds.
struct LowTerms {
  alignas(32) int16_t full[kMaxSamples / kKernelBlock][kPairs][kLanes];
  alignas(32) int16_t sum[kMaxBands / kKernelBlock][kPairs][kLanes];
  alignas(32) int16_t diff[kMaxBands / kKernelBlock][kPairs][kLanes];

  const int16_t* of(Fold fold) const {
    return &(fold == Fold::Full ? full : fold == Fold::Sum ? sum : diff)[0][0][0];
  }
};

// Rearranges `blocks` blocks of x: each block as four rows of eight, transposed, so that
// column k (samples k, k + 8, k + 16, k + 24) fills a half register.
BANDSCOPE_AVX2 void lowTermsOf(const int16_t* x, int blocks, int16_t (*out)[kPairs][kLanes]) {
  for (int b = 0; b < blocks; ++b) {
    const int16_t* block = x + b * kKernelBlock;
    const auto row = [&](int m) {
      return _mm_load_si128(reinterpret_cast<const __m128i*>(block + 8 * m));
    };
    const __m128i r01lo = _mm_unpacklo_epi16(row(0), row(1));
    const __m128i r23lo = _mm_unpacklo_epi16(row(2), row(3));
    const __m128i r01hi = _mm_unpackhi_epi16(row(0), row(1));
    const __m128i r23hi = _mm_unpackhi_epi16(row(2), row(3));
    // columns[p]: columns 2p and 2p + 1, four samples each.
    const __m128i columns[kPairs] = {
        _mm_unpacklo_epi32(r01lo, r23lo), _mm_unpackhi_epi32(r01lo, r23lo),
        _mm_unpacklo_epi32(r01hi, r23hi), _mm_unpackhi_epi32(r01hi, r23hi)};
    for (int p = 0; p < kPairs; ++p) {
      // Column 2p twice in the low half (cosine and sine lanes), column 2p + 1 in the high.
      const __m256i spread =
          _mm256_permute4x64_epi64(_mm256_castsi128_si256(columns[p]), 0b01010000);
      _mm256_store_si256(reinterpret_cast<__m256i*>(out[b][p]),
                         _mm256_slli_epi16(spread, 6 - 2 * p));
    }
  }
}

// The low terms of the form `fold` reads, the first time a band asks for them: at some band
// counts no band reads the whole window.
BANDSCOPE_AVX2 const int16_t* lowTermsFor(const KernelInput& in, Fold fold, int bandCount,
                                          LowTerms& low, bool (&ready)[3]) {
  const auto f = static_cast<int>(fold);
  if (!ready[f]) {
    const int length = fold == Fold::Full ? 2 * bandCount : bandCount;
    lowTermsOf(kernel_parts::termsOf(in, fold), (length + kKernelBlock - 1) / kKernelBlock,
               fold == Fold::Full  ? low.full
               : fold == Fold::Sum ? low.sum
                                   : low.diff);
    ready[f] = true;
  }
  return low.of(fold);
}

// The low weights of one block, bits at `bits`: register p, lane (h, q) holds 4^p x the
// low weight (0 .. 3) of sample 8 (q mod 4) + 2 p + h, a cosine weight for q < 4, else sine.
struct LowWeights {
  __m256i pair[kPairs];
};

BANDSCOPE_AVX2 inline LowWeights lowWeights(const KernelBits* bits) {
  // Both halves hold {cos0, cos1, sin0, sin1}; the high half moved down one bit, so that
  // it brings the odd samples where the low half brings the even ones.
  const __m256i masks = _mm256_srlv_epi64(
      _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bits))),
      _mm256_setr_epi64x(0, 0, 1, 1));
  // In each 64-bit lane, {bit0 mask, bit1 mask}: every even bit of the first with, just
  // above it, the same sample's bit of the second. Bit 0 of the shifted copy is junk from
  // the first mask's top bit; it falls on an odd position's complement and is dropped.
  const __m256i bit1Up = _mm256_srli_epi64(masks, 31);
  const __m256i fields = _mm256_xor_si256(
      bit1Up, _mm256_and_si256(_mm256_xor_si256(masks, bit1Up), _mm256_set1_epi32(0x55555555)));
  // Bytes 0 .. 3 (cosine) and 8 .. 11 (sine) of each half into 16-bit lanes.
  const __m256i toLanes =
      _mm256_setr_epi8(0, -1, 1, -1, 2, -1, 3, -1, 8, -1, 9, -1, 10, -1, 11, -1,  //
                       0, -1, 1, -1, 2, -1, 3, -1, 8, -1, 9, -1, 10, -1, 11, -1);
  const __m256i lanes = _mm256_shuffle_epi8(fields, toLanes);
  // Read from memory as operands of the masking: built as constants in the loop, they
  // would cost instructions every block.
  alignas(32) static const int16_t kFields[kPairs][kLanes] = {
      {3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3},
      {12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12},
      {48, 48, 48, 48, 48, 48, 48, 48, 48, 48, 48, 48, 48, 48, 48, 48},
      {192, 192, 192, 192, 192, 192, 192, 192, 192, 192, 192, 192, 192, 192, 192, 192}};
  LowWeights w;
  for (int p = 0; p < kPairs; ++p) {
    w.pair[p] =
        _mm256_and_si256(lanes, _mm256_load_si256(reinterpret_cast<const __m256i*>(kFields[p])));
  }
  return w;
}

// One window's accumulators over a band: high-part products of cosine and sine, and the
// low-part products (lanes 0, 1 of each half cosine, 2, 3 sine).
struct Avx2Sums {
  __m256i cos, sin, low;
};

// Eight 32-bit lanes added in pairs into four 64-bit lanes.
BANDSCOPE_AVX2 inline __m256i widePairs(__m256i v) {
  return _mm256_add_epi64(_mm256_cvtepi32_epi64(_mm256_castsi256_si128(v)),
                          _mm256_cvtepi32_epi64(_mm256_extracti128_si256(v, 1)));
}

// (C, S) of one window over one band, from its accumulators.
BANDSCOPE_AVX2 inline void bandSums(const Avx2Sums& a, int64_t& C, int64_t& S) {
  const __m256i c = widePairs(a.cos);
  const __m256i s = widePairs(a.sin);
  const __m256i cs = _mm256_add_epi64(_mm256_unpacklo_epi64(c, s), _mm256_unpackhi_epi64(c, s));
  const __m128i high = _mm_add_epi64(_mm256_castsi256_si128(cs), _mm256_extracti128_si256(cs, 1));
  // Low lanes after widening: the low half's two 64-bit lanes cosine, the high half's sine.
  const __m256i l = widePairs(a.low);
  const __m256i pairs = _mm256_add_epi64(l, _mm256_shuffle_epi32(l, 0b01001110));
  const __m128i low =
      _mm_unpacklo_epi64(_mm256_castsi256_si128(pairs), _mm256_extracti128_si256(pairs, 1));
  alignas(16) int64_t h[2];
  alignas(16) int64_t w[2];
  _mm_store_si128(reinterpret_cast<__m128i*>(h), high);
  _mm_store_si128(reinterpret_cast<__m128i*>(w), low);
  // Every low product is a multiple of kLowScale: the division is exact.
  C = 4 * h[0] + w[0] / kLowScale;
  S = 4 * h[1] + w[1] / kLowScale;
}

// The sums of every band over N windows: each block's weights are loaded and rebuilt once
// and applied to every window. C[c][i] and S[c][i]: window c's sums of band i.
template <int N>
BANDSCOPE_AVX2 BANDSCOPE_NO_LOOP_HEADER_COPY void avx2Sums(const KernelTables& k,
                                                           const KernelInput* const* in,
                                                           int bandCount, int64_t* const* C,
                                                           int64_t* const* S) {
  static_assert(N == 1 || N == 2);  // three accumulators a window stay in registers
  LowTerms low[N];
  bool ready[N][3] = {};
  for (int i = 0; i < bandCount; ++i) {
    const KernelBand& band = k.band[i];
    const int16_t* high = k.high + band.offset * 2 * kKernelBlock;
    const KernelBits* bits = k.bits + band.offset;
    const int16_t* x[N];
    const int16_t* xLow[N];
    Avx2Sums acc[N];
    for (int c = 0; c < N; ++c) {
      x[c] = kernel_parts::termsOf(*in[c], band.fold);
      xLow[c] = lowTermsFor(*in[c], band.fold, bandCount, low[c], ready[c]);
      acc[c].cos = acc[c].sin = acc[c].low = _mm256_setzero_si256();
    }
    for (int b = 0; b < band.blocks; ++b) {
      // The low parts first, then the high: fewer registers live at once, so that the
      // weights and samples are each loaded once a block.
      const LowWeights w = lowWeights(bits + b);
      for (int c = 0; c < N; ++c) {
        const auto* t = reinterpret_cast<const __m256i*>(xLow[c] + b * kPairs * kLanes);
        const __m256i low01 =
            _mm256_add_epi32(_mm256_madd_epi16(_mm256_load_si256(t), w.pair[0]),
                             _mm256_madd_epi16(_mm256_load_si256(t + 1), w.pair[1]));
        const __m256i low23 =
            _mm256_add_epi32(_mm256_madd_epi16(_mm256_load_si256(t + 2), w.pair[2]),
                             _mm256_madd_epi16(_mm256_load_si256(t + 3), w.pair[3]));
        acc[c].low = _mm256_add_epi32(acc[c].low, _mm256_add_epi32(low01, low23));
      }
      const auto* h = reinterpret_cast<const __m256i*>(high + b * 2 * kKernelBlock);
      const __m256i hc0 = _mm256_load_si256(h);
      const __m256i hc1 = _mm256_load_si256(h + 1);
      const __m256i hs0 = _mm256_load_si256(h + 2);
      const __m256i hs1 = _mm256_load_si256(h + 3);
      for (int c = 0; c < N; ++c) {
        Avx2Sums& a = acc[c];
        const auto* xs = reinterpret_cast<const __m256i*>(x[c] + b * kKernelBlock);
        const __m256i x0 = _mm256_load_si256(xs);
        const __m256i x1 = _mm256_load_si256(xs + 1);
        a.cos = _mm256_add_epi32(
            a.cos, _mm256_add_epi32(_mm256_madd_epi16(x0, hc0), _mm256_madd_epi16(x1, hc1)));
        a.sin = _mm256_add_epi32(
            a.sin, _mm256_add_epi32(_mm256_madd_epi16(x0, hs0), _mm256_madd_epi16(x1, hs1)));
      }
    }
    for (int c = 0; c < N; ++c) bandSums(acc[c], C[c][i], S[c][i]);
  }
}

// C / 65536 truncated toward zero, for four sums, as doubles. |C| < 2^35, so the quotient
// is the low 32 bits of the shifted 64 bits whether the shift is arithmetic or not.
BANDSCOPE_AVX2 inline __m256d quotients(const int64_t* C) {
  const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(C));
  const __m256i bias =
      _mm256_and_si256(_mm256_cmpgt_epi64(_mm256_setzero_si256(), v), _mm256_set1_epi64x(65535));
  const __m256i q = _mm256_srli_epi64(_mm256_add_epi64(v, bias), 16);
  const __m256i low = _mm256_permutevar8x32_epi32(q, _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6));
  return _mm256_cvtepi32_pd(_mm256_castsi256_si128(low));
}

// The portable magnitudes four bands at a time, with the same operations and so the same
// values; only the bands near a tie are handed to bandMagnitude. C and S hold zeros up to
// the next multiple of four bands.
BANDSCOPE_AVX2 void avx2MagnitudesOf(const int64_t* C, const int64_t* S, int bandCount,
                                     float windowNorm, int16_t* values) {
  const __m256d norm = _mm256_set1_pd(windowNorm);
  // The low 16 bits of each 32-bit lane, as a store into int16_t keeps them.
  const __m128i low16 = _mm_setr_epi8(0, 1, 4, 5, 8, 9, 12, 13, -1, -1, -1, -1, -1, -1, -1, -1);
  for (int i = 0; i < bandCount; i += 4) {
    const __m256d a = quotients(C + i);
    const __m256d b = quotients(S + i);
    // a^2 + b^2 is below 2^38, so exact in a double with or without the fused add.
    const __m256d x =
        _mm256_div_pd(_mm256_sqrt_pd(_mm256_fmadd_pd(a, a, _mm256_mul_pd(b, b))), norm);
    const __m256d r = _mm256_round_pd(x, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
    alignas(8) int16_t four[4];
    _mm_storel_epi64(reinterpret_cast<__m128i*>(four),
                     _mm_shuffle_epi8(_mm256_cvtpd_epi32(r), low16));
    const int n = bandCount - i < 4 ? bandCount - i : 4;
    for (int j = 0; j < n; ++j) values[i + j] = four[j];
    // nearTie(x), lane by lane.
    const __m256d sign = _mm256_set1_pd(-0.0);
    const __m256d fromTie = _mm256_andnot_pd(
        sign, _mm256_sub_pd(_mm256_andnot_pd(sign, _mm256_sub_pd(x, r)), _mm256_set1_pd(0.5)));
    auto ties = static_cast<unsigned>(
        _mm256_movemask_pd(_mm256_cmp_pd(fromTie, _mm256_set1_pd(1e-6), _CMP_LE_OQ)));
    for (ties &= (1u << n) - 1; ties != 0; ties &= ties - 1) {
      const int j = i + __builtin_ctz(ties);
      values[j] = bandMagnitude(C[j], S[j], windowNorm);
    }
  }
}

template <int N>
BANDSCOPE_AVX2 void avx2Magnitudes(const KernelTables& k, const KernelInput* const* in,
                                   int bandCount, float windowNorm, int16_t* const* values) {
  int64_t C[N][kMaxBands];
  int64_t S[N][kMaxBands];
  int64_t* cRows[N];
  int64_t* sRows[N];
  for (int c = 0; c < N; ++c) {
    cRows[c] = C[c];
    sRows[c] = S[c];
  }
  avx2Sums<N>(k, in, bandCount, cRows, sRows);
  for (int c = 0; c < N; ++c) {
    for (int i = bandCount; i % 4 != 0; ++i) C[c][i] = S[c][i] = 0;
    avx2MagnitudesOf(C[c], S[c], bandCount, windowNorm, values[c]);
  }
}

}  // namespace

BANDSCOPE_AVX2 void kernelAvx2(const KernelTables& k, const KernelInput& in, int bandCount,
                               float windowNorm, int16_t* values) {
  const KernelInput* inputs[] = {&in};
  int16_t* outputs[] = {values};
  avx2Magnitudes<1>(k, inputs, bandCount, windowNorm, outputs);
}

BANDSCOPE_AVX2 void kernelAvx2(const KernelTables& k, const KernelInput& in0,
                               const KernelInput& in1, int bandCount, float windowNorm,
                               int16_t* values0, int16_t* values1) {
  const KernelInput* inputs[] = {&in0, &in1};
  int16_t* outputs[] = {values0, values1};
  avx2Magnitudes<2>(k, inputs, bandCount, windowNorm, outputs);
}

BANDSCOPE_AVX2 void kernelSumsAvx2(const KernelTables& k, const KernelInput& in0,
                                   const KernelInput& in1, int bandCount, int64_t* C0, int64_t* S0,
                                   int64_t* C1, int64_t* S1) {
  const KernelInput* inputs[] = {&in0, &in1};
  int64_t* C[] = {C0, C1};
  int64_t* S[] = {S0, S1};
  avx2Sums<2>(k, inputs, bandCount, C, S);
}

}  // namespace bandscope
