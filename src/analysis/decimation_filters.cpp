#include "decimation_filters.h"

#include <cmath>
#include <numbers>

#include "assertion.h"

namespace bandscope {

namespace {

// The zeroth-order modified Bessel function of the first kind, by its power series.
double besselI0(double x) {
  double sum = 1;
  double term = 1;
  for (int k = 1; term > 1e-20 * sum; ++k) {
    const double q = x / (2.0 * k);
    term *= q * q;
    sum += term;
  }
  return sum;
}

// A half-band filter reaching `reach` (odd) samples either side, windowed by a Kaiser window
// designed for `attenuationDb`. Its odd taps are sin(pi n / 2) / (pi n) = +-1 / (pi n) times
// the window, scaled so that they and the centre sum to 1: a constant passes unchanged.
StageFilter halfBand(int reach, double attenuationDb) {
  StageFilter f;
  f.kind = FilterKind::HalfBand;
  f.reach = reach;
  const double beta = 0.1102 * (attenuationDb - 8.7);
  double raw[kMaxHalfBandWeights];
  double sum = 0;
  const int weights = (reach + 1) / 2;
  for (int k = 0; k < weights; ++k) {
    const int n = 2 * k + 1;
    const double r = static_cast<double>(n) / reach;
    const double window = besselI0(beta * std::sqrt(1 - r * r)) / besselI0(beta);
    raw[k] = (k % 2 == 0 ? 1 : -1) * window / (std::numbers::pi * n);
    sum += 2 * raw[k];
  }
  for (int k = 0; k < weights; ++k) f.weight[k] = static_cast<float>(raw[k] * 0.5 / sum);
  return f;
}

StageFilter binomial(int order) {
  StageFilter f;
  f.kind = FilterKind::Binomial;
  f.order = order;
  f.reach = order / 2;
  return f;
}

}  // namespace

StageFilter stageFilter(int later) {
  check(later >= 0 && later < kMaxDecimationStages, "a stage lies 0 .. 6 stages from the last");
  // Lengths and windows chosen as the shortest that reach 110 dB; the binomial orders are
  // the smallest even ones that do.
  switch (later) {
    case 0:
      return halfBand(37, 114);  // passes 0.2 of its input rate, stops from 0.3
    case 1:
      return halfBand(19, 117);  // 0.125, 0.35
    case 2:
      return halfBand(11, 119);  // 0.0625, 0.425
    case 3:
      return halfBand(9, 114);  // 0.03125, 0.4625
    case 4:
      return binomial(6);  // stops from 0.48125
    default:
      return binomial(4);  // 0.490625 and beyond
  }
}

int stageCount(int32_t timeScale) {
  for (int stages = 0; stages <= kMaxDecimationStages; ++stages) {
    if (timeScale == (int32_t{1} << stages)) return stages;
  }
  return -1;
}

void stageTaps(const StageFilter& f, double* taps) {
  const int length = 2 * f.reach + 1;
  for (int j = 0; j < length; ++j) taps[j] = 0;
  if (f.kind == FilterKind::Binomial) {
    double c = 1;  // order choose j
    for (int j = 0; j <= f.order; ++j) {
      taps[j] = c / std::ldexp(1.0, f.order);
      c = c * (f.order - j) / (j + 1);
    }
    return;
  }
  taps[f.reach] = 0.5;
  for (int k = 0; k < (f.reach + 1) / 2; ++k) {
    taps[f.reach - (2 * k + 1)] = f.weight[k];
    taps[f.reach + (2 * k + 1)] = f.weight[k];
  }
}

}  // namespace bandscope
