#include "level_axis.h"

#include <algorithm>
#include <cmath>

#include "level_scale.h"
#include "rounding.h"

namespace bandscope {

double fullScaleMagnitude(const BandSettings& s) {
  const double amplitude = s.sampleBits == 16 ? 32768.0 : 128.0;
  return amplitude * std::sqrt(static_cast<double>(s.windowLength)) / 2;
}

int32_t topLevel(const BandSettings& s) {
  BandSettings eight = s;
  eight.sampleBits = 8;
  return levelScale(static_cast<int32_t>(roundEven(fullScaleMagnitude(eight))));
}

double boostFactor(int i, const BandSettings& s) {
  return static_cast<double>(i + s.phonOffset) / (s.bandCount >> 2);
}

int32_t levelOfDecibels(double dbfs, const BandSettings& s) {
  const double level = topLevel(s) * (dbfs + s.rangeDb) / s.rangeDb;
  return level <= 0 ? 0 : static_cast<int32_t>(roundEven(level));
}

int32_t levelOfMagnitude16(double magnitude, int i, bool boost, const BandSettings& s) {
  if (magnitude <= 0) return 0;
  const double boosted = boost ? magnitude * boostFactor(i, s) : magnitude;
  return levelOfDecibels(20 * std::log10(boosted / fullScaleMagnitude(s)), s);
}

double magnitudeOfLevel8(double level) {
  return 10 * (std::exp((level + 95) / 116.0) - 2.5);
}

double decibelsOfLevel(double level, int i, bool boost, const BandSettings& s) {
  double dbfs = 0;
  if (s.sampleBits == 16) {
    dbfs = level / topLevel(s) * s.rangeDb - s.rangeDb;
    if (boost) dbfs -= 20 * std::log10(boostFactor(i, s));
  } else {
    double magnitude = magnitudeOfLevel8(level);
    if (boost) magnitude /= boostFactor(i, s);
    if (magnitude <= 0) return kLowestDbfs;
    dbfs = 20 * std::log10(magnitude / fullScaleMagnitude(s));
  }
  return std::max(kLowestDbfs, dbfs);
}

}  // namespace bandscope
