#pragma once
// The anti-alias cascade of the capture hand-off, for both channels: time scale 2^stages is
// reached by that many stages that each low-pass filter and keep every second sample
// (decimation_filters.h). Each stage keeps the samples its filter still needs from earlier
// calls, so a sound cut into blocks of any sizes comes out exactly as if it came in one.
// Binomial stages compute in exact integers; half-band stages in single precision, each
// output as four partial sums in a fixed order, never fused: the vector and the portable
// code give the same bits.
//
// Threads: configure() and reset() on the UI thread, process() on the capture thread; the
// sample buffer's lock keeps them apart. process() neither allocates nor blocks, and its work
// grows linearly with the samples it is given.

#include <cstdint>

#include "band_settings.h"
#include "decimation_filters.h"

namespace bandscope {

inline constexpr int kDecimatorChunk = 512;  // input samples per channel and call, at most
// What process() may write: its outputs as (left, right) pairs; with stages, whole vectors of
// them, at most half a chunk's and a vector.
inline constexpr int kDecimatorOutputCapacity = 2 * kDecimatorChunk;

enum class DecimatorCode : uint8_t { Portable, Avx2 };

namespace decimator_detail {

// Stage k (0: the one fed by the input) receives at most kDecimatorChunk >> k samples per
// channel and call, after the 2 x reach it kept from earlier ones; whole vectors read and
// write a little beyond them.
inline constexpr int kSlack = 48;
constexpr int lineCapacity(int k, int reach) {
  return 2 * reach + (kDecimatorChunk >> k) + kSlack;
}
// A real-valued line: two phases (even and odd samples) of (left, right) pairs, with room for
// four calls' samples: its kept samples move to the front only when the next call's might
// not fit.
constexpr int floatLineSamples(int k) {
  return 2 * kMaxReach + 4 * (kDecimatorChunk >> k) + kSlack;
}
constexpr int floatLineSize(int k) {
  return 2 * 2 * (floatLineSamples(k) / 2 + 1);
}
template <typename F>
constexpr int poolSize(int stages, F size) {
  int total = 0;
  for (int k = 0; k < stages; ++k) total += size(k);
  return total;
}

}  // namespace decimator_detail

class Decimator {
 public:
  Decimator();  // time scale 1, 8-bit samples: no stages

  // UI thread. The stages of timeScale (1, 2, 4 .. 128) for samples of sampleBits (8 or 16),
  // with the history cleared; throws AssertionFailure for other values.
  void configure(int32_t timeScale, int sampleBits);
  // UI thread. Every stage's history back to silence.
  void reset();
  int stages() const { return stages_; }

  // Capture thread. n <= kDecimatorChunk samples of each channel: unsigned 8-bit ones (128
  // the zero line), or signed 16-bit little-endian ones. The outputs, on the 16-bit scale (an
  // 8-bit sample x counts as (x - 128) x 256), go to out as (left, right) pairs; out must
  // hold kDecimatorOutputCapacity. Returns how many pairs (n without stages).
  int process(const uint8_t* const in[kChannels], int n, float* out);
  // The same with the code given, for tests and benchmarks; Avx2 only where haveAvx2().
  int process(const uint8_t* const in[kChannels], int n, float* out, DecimatorCode code);

 private:
  struct Stage {
    StageFilter filter;
    int centre = 0;  // line index of the next output's centre, past the kept samples' middle
    int origin = 0;  // real-valued lines: where line index 0 lies (its phase: origin & 1)
    int line = 0;    // where its lines start in the pool of their kind
  };

  static constexpr int kBinomialStages = kMaxDecimationStages - kHalfBandStages;
  static constexpr int kFloatPool =
      decimator_detail::poolSize(kMaxDecimationStages, decimator_detail::floatLineSize);
  static constexpr int kIntPool = decimator_detail::poolSize(
      kBinomialStages, [](int k) { return decimator_detail::lineCapacity(k, kMaxBinomialReach); });
  static constexpr int kBytePool = decimator_detail::lineCapacity(0, 2 * kMaxBinomialReach);

  template <typename Code>
  int run(const uint8_t* const in[kChannels], int n, float* out);
  // The steps of run: stage k's lines and where its outputs go, the input into the first
  // stage's line, and one stage (or the quarter-rate pair) each, returning its outputs.
  auto floatLine(int k);
  auto intSink(int k);
  auto splitSink(int k);
  bool bytesFirst() const;
  int keptBytes() const;
  int passThrough(const uint8_t* const in[kChannels], int n, float* out) const;
  template <typename Code>
  void loadInput(Code code, const uint8_t* const in[kChannels], int n);
  template <typename Code>
  int quarterStep(Code code, int fresh);
  template <typename Code>
  int binomialStep(Code code, int k, int fresh);
  template <typename Code>
  int halfBandStep(Code code, int k, int fresh, float* out);

  int stages_ = 0;
  int sampleBits_ = 8;
  bool quarter_ = false;  // the first two stages run as one (see decimator.cpp)
  Stage stage_[kMaxDecimationStages];
  // Each stage's lines: 8-bit samples as they came (a first binomial stage of 8-bit samples),
  // 16-bit ones (binomial stages, one line per channel) or real ones (half-band stages).
  alignas(64) float floatPool_[kFloatPool];
  alignas(64) int16_t intPool_[kChannels][kIntPool];
  alignas(64) uint8_t bytePool_[kChannels][kBytePool];
};

}  // namespace bandscope
