#pragma once
// The band transform: an integer discrete Fourier transform of one channel's window into
// bandCount magnitudes, from tables built once per band count; or of both channels at once.
//
// Threads: UI thread only (the frame routine and the band-count change). The tables are
// large (5.5 MiB): allocate one TransformTables on the heap and keep it for the run.

#include <cmath>
#include <cstdint>

#include "band_settings.h"
#include "rounding.h"

namespace bandscope {

// How the fast kernel reads one band's window. Samples j and j + bandCount use the same
// weights (Sum) or exactly opposite weights (Diff) for many bands; such bands are computed
// over half the window. buildTables checks every fold against the rounded tables.
enum class Fold : uint8_t { Full, Sum, Diff };

struct KernelBand {
  Fold fold = Fold::Full;
  uint16_t blocks = 0;  // groups of kKernelBlock samples
  uint32_t offset = 0;  // first block of the band in KernelTables
};

inline constexpr int kKernelBlock = 32;
inline constexpr int kKernelBlocks = kMaxBands * (kMaxSamples / kKernelBlock);

// Weight w of a sample is stored as 4 x high + low: high (w >> 2, fits 16 bits) in
// `high`, the two low bits as one bit per sample in `bits`. Together 18 bits per weight.
struct KernelBits {
  uint32_t cos0, cos1, sin0, sin1;  // bit l: low bit 0 or 1 of sample l's weight
};

struct KernelTables {
  KernelBand band[kMaxBands];
  // Per block: kKernelBlock cosine highs, then kKernelBlock sine highs.
  alignas(64) int16_t high[kKernelBlocks * 2 * kKernelBlock];
  KernelBits bits[kKernelBlocks];
};

// Which variant of the inner loop runs: Best, the fastest the processor has, unless a test
// or benchmark names one (only one the processor has: see kernelCodeAvailable).
enum class KernelCode : uint8_t { Best, Portable, Avx2, Avx512 };

struct TransformTables {
  int32_t sinTable[kMaxBands];  // Round(sin(2 pi (k + 1) / bandCount) x 65536)
  int32_t cosTable[kMaxBands];
  uint16_t phaseIndex[kMaxSamples][kMaxBands];  // [sample][band]
  float windowNorm = 0;                         // sqrt(windowLength) in single precision
  KernelTables kernel;
  // 16-bit samples are weighted at the exact phase, (j + 1)(i + 2) / windowLength turns for
  // sample j of band i, from tables over the window. Rounding it to whole steps of the
  // 8-bit tables (half of them for odd i) mirrors every tone about 50 dB down: under the
  // 8-bit floor, far above the 16-bit one. Bands of even i get the 8-bit weights.
  int32_t sinTable16[kMaxSamples];  // Round(sin(2 pi (k + 1) / windowLength) x 65536)
  int32_t cosTable16[kMaxSamples];
  KernelTables kernel16;
};

// The entry of sinTable16 and cosTable16 that weights sample j of band i.
inline int exactPhaseIndex(int j, int i, int windowLength) {
  return static_cast<int>((int64_t{j + 1} * (i + 2) + 1) % windowLength);
}

// Fills the tables for s.bandCount and s.windowLength and sets s.tablesBuilt.
// Throws AssertionFailure unless the band count is 8 .. 512.
void buildTables(BandSettings& s, TransformTables& t);

// values[0 .. bandCount - 1] := magnitudes of the windowLength samples at data (oldest
// first). Builds the tables first when s.tablesBuilt is false. All the functions here take
// the kernel variant last.
void bandTransform(BandSettings& s, TransformTables& t, int16_t* values, const uint8_t* data,
                   KernelCode code = KernelCode::Best);

// The frame's entry for stereo: both channels' windows in one pass over the tables, each
// weight block loaded once. values0 and values1 are exactly what bandTransform gives for
// data0 and data1. Builds the tables first when s.tablesBuilt is false.
void bandTransformStereo(BandSettings& s, TransformTables& t, int16_t* values0, int16_t* values1,
                         const uint8_t* data0, const uint8_t* data1,
                         KernelCode code = KernelCode::Best);

// 16-bit samples (0 the zero line): magnitudes[i] := the magnitude of band i as a real
// number, from exact integer sums (the samples' high and low bytes through the same tables).
// A sine of amplitude A gives about A x sqrt(windowLength) / 2, as with 8-bit samples.
void bandTransform16(BandSettings& s, TransformTables& t, double* magnitudes, const int16_t* data,
                     KernelCode code = KernelCode::Best);
void bandTransformStereo16(BandSettings& s, TransformTables& t, double* magnitudes0,
                           double* magnitudes1, const int16_t* data0, const int16_t* data1,
                           KernelCode code = KernelCode::Best);

// The last step of every band: the magnitude from the cosine and sine sums.
inline int16_t bandMagnitude(int64_t C, int64_t S, float windowNorm) {
  const int64_t a = C / 65536;  // truncates toward zero
  const int64_t b = S / 65536;
  const int64_t P = a * a + b * b;  // below 2^38: exact in a double
  // Double precision decides the rounding unless the value lies near a tie; there the
  // extended precision of the definition decides.
  const double x = std::sqrt(static_cast<double>(P)) / windowNorm;
  if (!nearTie(x)) return low16(roundEven(x));
  return low16(roundEven(std::sqrt(static_cast<long double>(P)) / windowNorm));
}

}  // namespace bandscope
