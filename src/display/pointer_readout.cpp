#include "display/pointer_readout.h"

#include <algorithm>
#include <cstdio>

#include "analysis/level_axis.h"
#include "display/note_name.h"
#include "display/peak_reading.h"
#include "display/spectrum_plane.h"

namespace bandscope {

namespace {

constexpr double kTopLevel = 512;  // the highest level the plane's columns reach

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

PeakReading readPeak(const FrameModel& m, PointedBand b, bool phonBoost) {
  const BandSettings& s = m.settings;
  const int16_t* fast = m.spectrum.bandFast[b.channel];
  const int k = nearestPeak(fast, b.band, s);
  return {k, peakFrequency(fast, k, phonBoost, s), decibelsOfLevel(fast[k], k, phonBoost, s)};
}

std::string pointerReadout(const FrameModel& m, PointedBand b, bool phonBoost,
                           char decimalSeparator) {
  const PeakReading r = readPeak(m, b, phonBoost);
  char text[96];
  const int n = std::snprintf(text, sizeof text, "%.*f Hz  %s  %.1f dBFS", r.hz < 100 ? 1 : 0, r.hz,
                              noteName(r.hz).c_str(), r.dbfs);
  std::string out(text, static_cast<size_t>(std::clamp(n, 0, static_cast<int>(sizeof text) - 1)));
  std::replace(out.begin(), out.end(), '.', decimalSeparator);
  return out;
}

}  // namespace bandscope
