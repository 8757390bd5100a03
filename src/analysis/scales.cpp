#include "scales.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

#include "rounding.h"

namespace bandscope {

namespace {

constexpr long double kSampleRate = 44100.0L;
constexpr long double kPi = std::numbers::pi_v<long double>;

// The first n characters of text, '.' replaced by the locale's decimal separator.
std::string withSeparator(const char* text, int n, char decimalSeparator) {
  std::string out(text, static_cast<size_t>(std::max(n, 0)));
  std::replace(out.begin(), out.end(), '.', decimalSeparator);
  return out;
}

}  // namespace

int32_t bandToX(int32_t i, uint16_t bandCount) {
  const long double fraction = static_cast<long double>(i) / bandCount;
  const long double x = (std::log((fraction * 192.0L + 3.0L) / 80.0L) + 3.28L) * (1280.0L / 11.0L);
  return static_cast<int32_t>(roundEven(x));
}

void fillBandX(BandX& x, uint16_t bandCount) {
  const int n = std::min<int>(bandCount, kMaxBands);
  for (int i = 0; i < n; ++i) {
    x.bandX[i] = bandToX(i, bandCount);
    x.bandX[i + 1] = bandToX(i + 1, bandCount);
  }
}

int32_t bandToHz(int32_t i, const BandSettings& s) {
  // Band i holds i + 2 whole cycles per window.
  const long double cycles = static_cast<long double>(i) + 2.0L;
  const long double window = static_cast<long double>(s.windowLength) * s.timeScale;
  return static_cast<int32_t>(roundEven(cycles * kSampleRate / window));
}

int32_t hzToBand(int32_t f, const BandSettings& s) {
  // Double precision rounds as the extended definition does unless the quotient is near a
  // tie, and costs a fraction of it: the frequency grid asks for every line every frame.
  const double fastT = ((44100.0 / s.bandCount) / s.timeScale) / 2.0;
  const double fast = f / fastT;
  if (!nearTie(fast)) {
    return static_cast<int32_t>(std::clamp<int64_t>(roundEven(fast) - 2, 0, s.bandCount - 1));
  }
  const long double t = ((kSampleRate / s.bandCount) / s.timeScale) / 2.0L;
  const int64_t band = roundEven(static_cast<long double>(f) / t) - 2;
  return static_cast<int32_t>(std::clamp<int64_t>(band, 0, s.bandCount - 1));
}

std::string hzLabel(float f, char decimalSeparator) {
  char text[64];
  int n;
  if (f < 1000.0f) {
    // Adding 0 turns a rounded -0 into 0.
    const long double whole = std::nearbyint(static_cast<long double>(f)) + 0.0L;
    n = std::snprintf(text, sizeof text, "%.0Lf", whole);
  } else {
    // Tenths of a kilohertz, in shortest general form: 1.4k, 11k.
    const long double k = std::nearbyint(static_cast<long double>(f) / 100.0L);
    n = std::snprintf(text, sizeof text, "%.15Lgk", k / 10.0L);
  }
  return withSeparator(text, std::min(n, static_cast<int>(sizeof text) - 1), decimalSeparator);
}

float vectorAngle(float a, float b) {
  if (a == 0.0f) return b >= 0.0f ? 4.712389f : 6.2831855f;
  // The double arctangent is several times cheaper than the extended one and, being some
  // 2^-28 of a float step from it, rounds to the same float unless it lies near the middle
  // between two floats.
  double fast = std::atan(static_cast<double>(b) / a);
  if (a > 0.0f) fast += std::numbers::pi;
  const float rounded = static_cast<float>(fast);
  const double off = fast - rounded;
  const float towards = off > 0 ? INFINITY : -INFINITY;
  const double step = std::fabs(static_cast<double>(std::nextafter(rounded, towards)) - rounded);
  if (std::fabs(std::fabs(off) - step / 2) > step * 1e-6) return rounded;
  long double angle = std::atan(static_cast<long double>(b) / a);
  if (a > 0.0f) angle += kPi;
  return static_cast<float>(angle);
}

}  // namespace bandscope
