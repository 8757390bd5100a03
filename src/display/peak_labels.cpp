#include "display/peak_labels.h"

#include <cstdlib>
#include <string>

#include "display/gl_font.h"
#include "display/peak_reading.h"
#include "display/spectrum_plane.h"
#include "display/value_colour.h"

namespace bandscope {

namespace {

// Labels closer than this to the last one need a higher peak to be written.
constexpr int32_t kMinSpacing = 30;

}  // namespace

void drawPeakLabels(const SceneInput& in, int channel) {
  const GlTable& gl = in.gl;
  const int16_t* peak = in.spectrum.bandPeak[channel];
  const int16_t* hold = in.spectrum.peakHold[channel];
  const int16_t* fast = in.spectrum.bandFast[channel];
  const int32_t offset = channelAxisOffset(channel);

  int32_t lastX = -5;
  int lastK = 0;
  beginText(gl);
  for (int k = 0; k + 1 < in.settings.bandCount; ++k) {
    const BandSpan span = bandSpan(in.bandX, k, offset);
    setValueColour(in, fast[k]);
    if (hold[k] >= 80 || peak[k] <= 0 || peak[k] < peak[k + 1]) continue;
    const bool apart = std::abs(span.x0 - lastX) > kMinSpacing;
    if (!apart && k > 1 && peak[lastK] >= peak[k]) continue;

    // Where the tone lies between the bands, not the band's own frequency.
    const double hz = peakFrequency(peak, k, in.options.boostHi_check, in.settings);
    const std::string label = hzLabel(static_cast<float>(hz), in.decimalSeparator);
    // NOLINTNEXTLINE(bugprone-integer-division): the midpoint is a whole axis unit
    const float x = static_cast<float>((span.x0 + span.x1) / 2) / 200.0f;
    const float y = static_cast<float>(peak[k]) / 256.0f - 1.0f;
    drawText(gl, in.fontListBase, label, x, y);
    lastX = span.x0;
    lastK = k;
  }
  endText(gl);
}

}  // namespace bandscope
