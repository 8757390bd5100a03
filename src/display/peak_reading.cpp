#include "display/peak_reading.h"

#include <algorithm>
#include <cmath>

#include "analysis/level_axis.h"

namespace bandscope {

double bandFrequency(double i, const BandSettings& s) {
  return (i + 2) * 44100.0 / (static_cast<double>(s.windowLength) * s.timeScale);
}

double magnitudeOfLevel(double level, int i, bool boost, const BandSettings& s) {
  return fullScaleMagnitude(s) * std::pow(10.0, decibelsOfLevel(level, i, boost, s) / 20);
}

int nearestPeak(const int16_t* levels, int b, const BandSettings& s) {
  const int n = s.bandCount;
  const auto isPeak = [&](int k) {
    return k >= 0 && k < n && (k == 0 || levels[k] >= levels[k - 1]) &&
           (k == n - 1 || levels[k] >= levels[k + 1]);
  };
  // The row's highest band is a peak, so the search ends within the row.
  for (int d = 0; d < n; ++d) {
    const bool below = isPeak(b - d);
    const bool above = d > 0 && isPeak(b + d);
    if (below && above) return levels[b + d] > levels[b - d] ? b + d : b - d;
    if (below) return b - d;
    if (above) return b + d;
  }
  return b;
}

double peakFrequency(const int16_t* levels, int k, bool boost, const BandSettings& s) {
  const auto magnitude = [&](int i) {
    return i >= 0 && i < s.bandCount ? magnitudeOfLevel(levels[i], i, boost, s) : 0.0;
  };
  const double peak = magnitude(k);
  const double below = magnitude(k - 1);
  const double above = magnitude(k + 1);
  const double side = std::max(below, above);
  const double d = peak + side > 0 ? side / (peak + side) : 0;
  return bandFrequency(above >= below ? k + d : k - d, s);
}

}  // namespace bandscope
