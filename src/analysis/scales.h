#pragma once
// Placing results: band edges on the logarithmic axis, band index to and from frequency,
// frequency labels, and the angle of a vector. Pure functions of their arguments and the
// settings named; any thread.

#include <cstdint>
#include <string>

#include "band_settings.h"

namespace bandscope {

// Band edge positions, entries 0 .. bandCount: band i spans bandX[i] .. bandX[i + 1].
struct BandX {
  int32_t bandX[kMaxBands + 2];
};

// x position (axis units 0 .. 485) of band edge i, 0 <= i <= bandCount.
int32_t bandToX(int32_t i, uint16_t bandCount);
void fillBandX(BandX& x, uint16_t bandCount);

// The frequency band i measures: Round((i + 2) x 44100 / (windowLength x timeScale)).
int32_t bandToHz(int32_t i, const BandSettings& s);
// The band measuring frequency f: Round(f / t) - 2, t = 44100 / bandCount / timeScale / 2,
// clamped to 0 .. bandCount - 1.
int32_t hzToBand(int32_t f, const BandSettings& s);

// "57", "1000", "1.4k", "11k"; decimalSeparator is the user's locale's.
std::string hzLabel(float f, char decimalSeparator = '.');

// Angle of (a, b) in radians: arctan(b / a), plus pi when a > 0; 3 pi / 2 or 2 pi when a is 0.
float vectorAngle(float a, float b);

}  // namespace bandscope
