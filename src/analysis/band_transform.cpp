#include "band_transform.h"

#include <cmath>
#include <utility>

#include "assertion.h"
#include "transform_kernel.h"

namespace bandscope {

namespace {

// 2 pi as the literal 6.283185307179586, in extended precision.
constexpr long double kTwoPi = 6.283185307179586L;

// Round(p / 2) with ties to even, for p >= 0.
inline int halfRoundEven(int64_t p) {
  const int64_t h = p / 2;
  return static_cast<int>((p % 2 == 0 || h % 2 == 0) ? h : h + 1);
}

// How band i's weights over the second half of the window repeat those over the first (the
// same: Sum; negated: Diff), so that the kernel folds the window before multiplying.
template <typename Weight>
Fold foldOf(int bands, int i, Weight weight) {
  bool same = true;
  bool opposite = true;
  for (int j = 0; j < bands && (same || opposite); ++j) {
    const auto [c, s] = weight(j, i);
    const auto [cm, sm] = weight(j + bands, i);
    same = same && cm == c && sm == s;
    opposite = opposite && cm == -c && sm == -s;
  }
  return same ? Fold::Sum : opposite ? Fold::Diff : Fold::Full;
}

// Block b of band i's weights (zero past length): their high bits as 16-bit words, their two
// low bits in bit planes.
template <typename Weight>
void packBlock(KernelTables& k, uint32_t block, int b, int length, int i, Weight weight) {
  int16_t* high = k.high + block * 2 * kKernelBlock;
  KernelBits& bits = k.bits[block];
  bits = {};
  for (int l = 0; l < kKernelBlock; ++l) {
    const int j = b * kKernelBlock + l;
    const int32_t c = j < length ? weight(j, i).first : 0;
    const int32_t s = j < length ? weight(j, i).second : 0;
    high[l] = static_cast<int16_t>(c >> 2);
    high[kKernelBlock + l] = static_cast<int16_t>(s >> 2);
    bits.cos0 |= static_cast<uint32_t>(c & 1) << l;
    bits.cos1 |= static_cast<uint32_t>((c >> 1) & 1) << l;
    bits.sin0 |= static_cast<uint32_t>(s & 1) << l;
    bits.sin1 |= static_cast<uint32_t>((s >> 1) & 1) << l;
  }
}

// Weight(j, i) gives {cosine, sine} of sample j in band i.
template <typename Weight>
void buildKernel(KernelTables& k, int bands, int window, Weight weight) {
  uint32_t block = 0;
  for (int i = 0; i < bands; ++i) {
    KernelBand& band = k.band[i];
    band.fold = foldOf(bands, i, weight);
    const int length = band.fold == Fold::Full ? window : bands;
    band.blocks = static_cast<uint16_t>((length + kKernelBlock - 1) / kKernelBlock);
    band.offset = block;
    for (int b = 0; b < band.blocks; ++b, ++block) packBlock(k, block, b, length, i, weight);
  }
}

// The kernel's three forms of the window of 2 x bands samples at data.
template <typename Sample, typename Term>
void fillInputOf(KernelInput& in, const Sample* data, int bands, Term term) {
  const int window = 2 * bands;
  const int paddedWindow = (window + kKernelBlock - 1) / kKernelBlock * kKernelBlock;
  const int paddedBands = (bands + kKernelBlock - 1) / kKernelBlock * kKernelBlock;
  for (int j = 0; j < window; ++j) in.full[j] = static_cast<int16_t>(term(data[j]));
  for (int j = window; j < paddedWindow; ++j) in.full[j] = 0;
  for (int j = 0; j < bands; ++j) {
    in.sum[j] = static_cast<int16_t>(term(data[j]) + term(data[j + bands]));
    in.diff[j] = static_cast<int16_t>(term(data[j]) - term(data[j + bands]));
  }
  for (int j = bands; j < paddedBands; ++j) in.sum[j] = in.diff[j] = 0;
}

void fillInput(KernelInput& in, const uint8_t* data, int bands) {
  fillInputOf(in, data, bands, [](uint8_t x) { return int{x}; });
}

// A 16-bit sample is 256 x its high byte (-128 .. 127) + its low byte (0 .. 255): two windows
// inside the kernel's bounds, whose sums combine exactly.
void fillInput16(KernelInput& high, KernelInput& low, const int16_t* data, int bands) {
  fillInputOf(high, data, bands, [](int16_t x) { return x >> 8; });
  fillInputOf(low, data, bands, [](int16_t x) { return x & 0xFF; });
}

void magnitudes16(const TransformTables& t, const KernelInput& high, const KernelInput& low,
                  int bands, double* magnitudes, KernelCode code) {
  int64_t C[2][kMaxBands];
  int64_t S[2][kMaxBands];
  kernelSums(t.kernel16, high, low, bands, C[0], S[0], C[1], S[1], code);
  for (int i = 0; i < bands; ++i) {
    const int64_t re = (256 * C[0][i] + C[1][i]) / 65536;  // toward zero
    const int64_t im = (256 * S[0][i] + S[1][i]) / 65536;
    const auto a = static_cast<double>(re);
    const auto b = static_cast<double>(im);
    magnitudes[i] = std::sqrt(a * a + b * b) / t.windowNorm;
  }
}

}  // namespace

void buildTables(BandSettings& s, TransformTables& t) {
  check(isValidBandCount(s.bandCount), "band count must be 8 .. 512");
  check(s.windowLength == 2 * s.bandCount, "window length must be twice the band count");
  const int bands = s.bandCount;
  const int window = s.windowLength;
  t.windowNorm = static_cast<float>(std::sqrt(static_cast<long double>(window)));
  for (int i = 0; i < bands; ++i) {
    const long double angle = (static_cast<long double>(i + 1) / bands) * kTwoPi;
    t.sinTable[i] = static_cast<int32_t>(roundEven(std::sin(angle) * 65536.0L));
    t.cosTable[i] = static_cast<int32_t>(roundEven(std::cos(angle) * 65536.0L));
  }
  // Row by row, so that the writes follow the table's layout.
  for (int j = 0; j < window; ++j) {
    for (int i = 0; i < bands; ++i) {
      const int64_t product = int64_t{j + 1} * (i + 2);  // Round((j + 1) (i + 2) / 2)
      t.phaseIndex[j][i] = static_cast<uint16_t>(halfRoundEven(product) % bands);
    }
  }
  for (int k = 0; k < window; ++k) {
    const long double angle = (static_cast<long double>(k + 1) / window) * kTwoPi;
    t.sinTable16[k] = static_cast<int32_t>(roundEven(std::sin(angle) * 65536.0L));
    t.cosTable16[k] = static_cast<int32_t>(roundEven(std::cos(angle) * 65536.0L));
  }
  buildKernel(t.kernel, bands, window, [&](int j, int i) {
    const int r = t.phaseIndex[j][i];
    return std::pair{t.cosTable[r], t.sinTable[r]};
  });
  buildKernel(t.kernel16, bands, window, [&](int j, int i) {
    const int r = exactPhaseIndex(j, i, window);
    return std::pair{t.cosTable16[r], t.sinTable16[r]};
  });
  s.tablesBuilt = true;
}

void bandTransform(BandSettings& s, TransformTables& t, int16_t* values, const uint8_t* data,
                   KernelCode code) {
  if (!s.tablesBuilt) buildTables(s, t);
  KernelInput in;
  fillInput(in, data, s.bandCount);
  kernelMagnitudes(t.kernel, in, s.bandCount, t.windowNorm, values, code);
}

void bandTransform16(BandSettings& s, TransformTables& t, double* magnitudes, const int16_t* data,
                     KernelCode code) {
  if (!s.tablesBuilt) buildTables(s, t);
  KernelInput high;
  KernelInput low;
  fillInput16(high, low, data, s.bandCount);
  magnitudes16(t, high, low, s.bandCount, magnitudes, code);
}

void bandTransformStereo16(BandSettings& s, TransformTables& t, double* magnitudes0,
                           double* magnitudes1, const int16_t* data0, const int16_t* data1,
                           KernelCode code) {
  bandTransform16(s, t, magnitudes0, data0, code);
  bandTransform16(s, t, magnitudes1, data1, code);
}

void bandTransformStereo(BandSettings& s, TransformTables& t, int16_t* values0, int16_t* values1,
                         const uint8_t* data0, const uint8_t* data1, KernelCode code) {
  if (!s.tablesBuilt) buildTables(s, t);
  KernelInput in0;
  KernelInput in1;
  fillInput(in0, data0, s.bandCount);
  fillInput(in1, data1, s.bandCount);
  kernelMagnitudes(t.kernel, in0, in1, s.bandCount, t.windowNorm, values0, values1, code);
}

}  // namespace bandscope
