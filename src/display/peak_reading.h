#pragma once
// Where a peak of a row of band levels lies between the bands. The transform weighs its
// window evenly, so a sine a fraction d of the way from band k to band k + 1 gives magnitudes
// in the ratio (1 - d) : d in those two bands: d = m(k + 1) / (m(k) + m(k + 1)). A parabola
// through three bands' magnitudes errs by up to a quarter of a band (3 % at 440 Hz with the
// defaults); this ratio by well under a hundredth.
// Pure; any thread.

#include <cstdint>

#include "analysis/band_settings.h"

namespace bandscope {

// The frequency band i measures, i fractional too: (i + 2) x 44100 / (windowLength x
// timeScale), since band i holds i + 2 cycles per window.
double bandFrequency(double i, const BandSettings& s);

// The magnitude band i's level stands for on the axis of s.sampleBits, the phon boost taken
// out when boost is on.
double magnitudeOfLevel(double level, int i, bool boost, const BandSettings& s);

// The band nearest to b whose level neither neighbour exceeds; of two as near, the higher.
// levels holds s.bandCount values; b is one of them.
int nearestPeak(const int16_t* levels, int b, const BandSettings& s);

// The frequency of a sine whose largest band is k, from the magnitudes of band k and of its
// larger neighbour.
double peakFrequency(const int16_t* levels, int k, bool boost, const BandSettings& s);

}  // namespace bandscope
