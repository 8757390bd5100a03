#pragma once
// The low-pass filters of the decimation cascade. Each stage halves the sample rate; the
// last one leaves the analysed range [0, E] (E = 22050 / timeScale Hz). A stage's filter
// must pass [0, E] and reject what its halving would fold into [0, 1.2 E] (the range the
// later stages let through to the picture), so the further a stage lies from the last, the
// narrower its stopband and the shorter its filter:
// - the last four: Kaiser-windowed half-band filters (every second tap zero, centre 1/2);
// - the earlier ones (time scales 32 and up): binomial filters (1 + z^-1)^order / 2^order,
//   whose zeros at the folding frequency reject that narrow band, in exact integers.
// Every stage passes [0, E] within 0.05 dB and rejects its stopband by 110 dB or more.
// Pure; any thread.

#include <cstdint>

namespace bandscope {

inline constexpr int kMaxDecimationStages = 7;  // time scale 128
inline constexpr int kMaxReach = 37;  // the longest filter's taps either side of its centre
inline constexpr int kMaxHalfBandWeights = (kMaxReach + 1) / 2;
inline constexpr int kHalfBandStages = 4;  // the last four stages; any earlier are binomial
inline constexpr int kMaxBinomialReach = 3;

enum class FilterKind : uint8_t { HalfBand, Binomial };

struct StageFilter {
  FilterKind kind = FilterKind::HalfBand;
  int reach = 0;  // taps from centre - reach to centre + reach
  // Half-band: the centre tap 1/2, and weight[k] at distances 2k + 1 (k < (reach + 1) / 2)
  // either side, summing with the centre to exactly 1 in double precision.
  float weight[kMaxHalfBandWeights] = {};
  int order = 0;  // binomial: reach = order / 2
};

// The filter of a stage that `later` more stages follow (0: the last stage).
StageFilter stageFilter(int later);

// The number of stages of a time scale (1, 2, 4 .. 128), or -1 for any other value.
int stageCount(int32_t timeScale);

// All 2 x reach + 1 taps of a filter, oldest sample's first; what the stages compute.
void stageTaps(const StageFilter& f, double* taps);

}  // namespace bandscope
