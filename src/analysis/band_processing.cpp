#include "band_processing.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "assertion.h"
#include "level_axis.h"
#include "level_scale.h"
#include "rounding.h"

namespace bandscope {

void initSpectrumState(SpectrumState& st, const BandSettings& s) {
  std::memset(&st, 0, sizeof st);
  const int n = std::min<int>(s.bufferLength, kMaxBands);
  for (int c = 0; c < kChannels; ++c) {
    for (int i = 0; i < n; ++i) st.peakHold[c][i] = 80;
  }
}

int32_t phonBoost(int i, int32_t m, const BandSettings& s) {
  // Round((i + phonOffset) / (bandCount shr 2) x m), decided in double precision unless the
  // product lies near a tie.
  const int quarter = s.bandCount >> 2;
  const double fast = static_cast<double>(i + s.phonOffset) / quarter * m;
  if (!nearTie(fast)) return static_cast<int32_t>(roundEven(fast));
  const long double exact = static_cast<long double>(i + s.phonOffset) / quarter * m;
  return static_cast<int32_t>(roundEven(exact));
}

void applyFrameLevels(int c, const BandOptions& o, const BandSettings& s, SpectrumState& st,
                      const int32_t* levels) {
  check(c >= 0 && c < kChannels, "channel must be 0 or 1");
  check(isValidBandCount(s.bandCount), "band count must be 8 .. 512");
  check(s.sonoSteps >= 1 && s.sonoSteps <= kMaxSonoRows, "sonogram rows must be 1 .. 512");
  const bool lastChannel = c == (o.stereo ? 1 : 0);
  const int bands = s.bandCount;
  int16_t* fast = st.bandFast[c];
  int16_t* slow = st.bandSlow[c];
  int16_t* peak = st.bandPeak[c];
  int16_t* hold = st.peakHold[c];
  int16_t* newestRow = st.sonoHistory[s.sonoSteps - 1];
  int32_t L = 0;
  int32_t D = 0;
  for (int i = 0; i < bands; ++i) {
    const int32_t level = levels[i];
    L += (level * 16) / (i + 1);
    // The slow average follows the fast one as the previous frame left it.
    slow[i] = low16((63 * int32_t{slow[i]} + fast[i]) >> 6);
    fast[i] = low16(std::max(level, (4 * int32_t{fast[i]} + level) / 5));
    if (lastChannel) newestRow[i] = std::max(st.bandFast[0][i], fast[i]);
    st.bandLevel[c][i] = low16(level);
    if (peak[i] > level) {
      if (hold[i] > 80) {
        const int32_t d = hold[i] - 80;
        peak[i] = d < peak[i] ? low16(peak[i] - (d >> 2)) : int16_t{0};
      }
      hold[i] = low16(hold[i] + 1);
    } else {
      peak[i] = low16(level);
      hold[i] = 0;
    }
    D += std::abs(int32_t{slow[i]} - fast[i]) / (4 * (i + 1));
  }
  L = std::min(L / bands, 256);
  D = std::min(D, 256);
  st.deviationMeter[c] = std::max(D, (7 * st.deviationMeter[c] + D) >> 3);
  st.loudnessMeter[c] = std::max(L, (3 * st.loudnessMeter[c] + L) >> 2);
}

void analyseChannel(int c, const BandOptions& o, BandSettings& s, TransformTables& t,
                    SpectrumState& st, const SampleRows& samples) {
  check(c >= 0 && c < kChannels, "channel must be 0 or 1");
  check(isValidBandCount(s.bandCount), "band count must be 8 .. 512");
  check(s.windowLength <= s.bufferLength && s.bufferLength <= kMaxSamples,
        "window must fit the sample buffer");
  int16_t magnitudes[kMaxBands];
  bandTransform(s, t, magnitudes, samples.sampleBuffer[c] + (s.bufferLength - s.windowLength));
  applyMagnitudes(c, o, s, st, magnitudes);
}

void applyMagnitudes(int c, const BandOptions& o, const BandSettings& s, SpectrumState& st,
                     const int16_t* magnitudes) {
  int32_t levels[kMaxBands];
  for (int i = 0; i < s.bandCount; ++i) {
    const int32_t m = magnitudes[i];
    levels[i] = levelScale(o.boostHi_check ? phonBoost(i, m, s) : m);
  }
  applyFrameLevels(c, o, s, st, levels);
}

void applyMagnitudes16(int c, const BandOptions& o, const BandSettings& s, SpectrumState& st,
                       const double* magnitudes) {
  int32_t levels[kMaxBands];
  for (int i = 0; i < s.bandCount; ++i)
    levels[i] = levelOfMagnitude16(magnitudes[i], i, o.boostHi_check, s);
  applyFrameLevels(c, o, s, st, levels);
}

void scrollSonogram(SpectrumState& st, uint16_t sonoSteps) {
  const int rows = std::min<int>(sonoSteps, kMaxSonoRows);
  for (int k = 0; k + 1 < rows; ++k) {
    std::memcpy(st.sonoHistory[k], st.sonoHistory[k + 1], sizeof st.sonoHistory[k]);
  }
}

}  // namespace bandscope
