#pragma once
// Where a band's magnitude stands on the level axis, and what a level means in dB below a
// full-scale sine (dBFS). With 8-bit samples the axis is levelScale's logarithm; with 16-bit
// samples it is linear in dB from the floor (rangeDb below full scale) at level 0 up to a
// full-scale sine at the level that sine has with 8-bit samples, so the top of the picture
// is the same in both. The phon boost is a factor on the magnitude, a dB offset. Pure; any
// thread.

#include <cstdint>

#include "band_settings.h"

namespace bandscope {

// The lowest dB value any readout shows.
inline constexpr double kLowestDbfs = -199.9;

// The magnitude a full-scale sine gives at a band's frequency: 2^(bits - 1) x windowLength / 2
// over sqrt(windowLength), for the sample width s.sampleBits.
double fullScaleMagnitude(const BandSettings& s);

// The level of a full-scale sine with 8-bit samples and no boost: the axis' top.
int32_t topLevel(const BandSettings& s);

// The phon boost's factor on band i's magnitude: (i + phonOffset) / (bandCount shr 2).
double boostFactor(int i, const BandSettings& s);

// 16-bit axis: the level of a sound dbfs below full scale (0 at and below the floor).
int32_t levelOfDecibels(double dbfs, const BandSettings& s);

// The level of band i's 16-bit magnitude, boosted when boost is on.
int32_t levelOfMagnitude16(double magnitude, int i, bool boost, const BandSettings& s);

// dBFS of a level on the axis of s.sampleBits (for 8 bits the inverse of levelScale, whose
// rounding it cannot undo), with band i's boost taken out when boost is on; never below
// kLowestDbfs.
double decibelsOfLevel(double level, int i, bool boost, const BandSettings& s);

// The magnitude levelScale maps to level (8-bit axis), as a real number.
double magnitudeOfLevel8(double level);

}  // namespace bandscope
