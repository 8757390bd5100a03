#include "display/pointer_readout.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "analysis/scales.h"
#include "display/spectrum_plane.h"

namespace bandscope {

namespace {

constexpr double kTopLevel = 512;  // the highest level the plane's columns reach
constexpr double kLowestDb = -99.9;

}  // namespace

std::optional<PointedBand> bandUnderPointer(const ViewTransform& view, const FrameModel& m,
                                            bool stereo, double wx, double wy) {
  const std::optional<ViewTransform::PlanePoint> at = view.onPlaneZ0(wx, wy);
  if (!at) return std::nullopt;
  const double level = (at->y + 1) * 256;  // the plane's y is v / 256 - 1
  if (level < 0 || level > kTopLevel) return std::nullopt;
  const double p = at->x * 200;
  const int bands = m.settings.bandCount;
  for (int c = 0; c <= (stereo ? 1 : 0); ++c) {
    const double axis = p - channelAxisOffset(c);
    if (axis < m.bandX.bandX[0] || axis >= m.bandX.bandX[bands]) continue;
    int k = 0;
    while (k + 1 < bands && axis >= m.bandX.bandX[k + 1]) ++k;
    return PointedBand{c, k};
  }
  return std::nullopt;
}

double bandDecibels(const FrameModel& m, PointedBand b, bool phonBoost) {
  const BandSettings& s = m.settings;
  // The level is Round(ln(magnitude / 10 + 2.5) x 116) - 95; undone, then the boost.
  const int level = m.spectrum.bandLevel[b.channel][b.band];
  double magnitude = 10 * (std::exp((level + 95) / 116.0) - 2.5);
  if (phonBoost) magnitude *= (s.bandCount >> 2) / static_cast<double>(b.band + s.phonOffset);
  // A sine of amplitude 128 over the window: 128 x windowLength / 2, over sqrt(windowLength).
  const double fullScale = 64 * std::sqrt(static_cast<double>(s.windowLength));
  if (magnitude <= 0) return kLowestDb;
  return std::max(kLowestDb, 20 * std::log10(magnitude / fullScale));
}

std::string pointerReadout(const FrameModel& m, PointedBand b, bool dB, bool phonBoost,
                           char decimalSeparator) {
  const auto hz = static_cast<float>(bandToHz(b.band, m.settings));
  std::string text = hzLabel(hz, decimalSeparator) + " Hz  level " +
                     std::to_string(m.spectrum.bandLevel[b.channel][b.band]);
  if (dB) {
    char value[16];
    std::snprintf(value, sizeof value, "  %.1f dB", bandDecibels(m, b, phonBoost));
    for (char& ch : value) {
      if (ch == '.') ch = decimalSeparator;
    }
    text += value;
  }
  return text;
}

}  // namespace bandscope
