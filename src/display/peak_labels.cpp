#include "display/peak_labels.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <string>

#include "display/gl_font.h"
#include "display/peak_reading.h"
#include "display/spectrum_plane.h"
#include "display/value_colour.h"
#include "display/view_transform.h"

namespace bandscope {

namespace {

// Without the font's sizes, labels closer than this (axis units) to a higher one are left out.
constexpr int32_t kMinSpacing = 30;

// A label's box in window pixels (GL's rows, upwards), or its axis position when unmeasured.
struct LabelBox {
  double left = 0, right = 0, bottom = 0, top = 0;
};

bool overlap(const LabelBox& a, const LabelBox& b) {
  return a.left < b.right && b.left < a.right && a.bottom < b.top && b.bottom < a.top;
}

// A band whose peak rises over the band before it and is not exceeded by the one after: the
// first band of a plateau stands for it, and a flat run of equal peaks has none.
bool isMaximum(const int16_t* peak, int k) {
  const bool rises = k == 0 ? peak[0] > peak[1] : peak[k] > peak[k - 1];
  return rises && peak[k] >= peak[k + 1];
}

}  // namespace

void drawPeakLabels(const SceneInput& in, int channel) {
  const GlTable& gl = in.gl;
  const int16_t* peak = in.spectrum.bandPeak[channel];
  const int16_t* hold = in.spectrum.peakHold[channel];
  const int16_t* fast = in.spectrum.bandFast[channel];
  const int32_t offset = channelAxisOffset(channel);
  const TextMetrics* metrics = in.textMetrics;
  const ViewTransform* view = in.view;
  const bool measured = metrics && view;

  // The fresh maxima, highest first: a higher peak keeps its label where two would meet.
  std::array<int16_t, kMaxBands> order;
  int count = 0;
  for (int k = 0; k + 1 < in.settings.bandCount; ++k) {
    if (hold[k] < 80 && peak[k] > 0 && isMaximum(peak, k)) order[count++] = static_cast<int16_t>(k);
  }
  std::sort(order.begin(), order.begin() + count, [peak](int16_t a, int16_t b) {
    return peak[a] != peak[b] ? peak[a] > peak[b] : a < b;
  });

  std::array<LabelBox, kMaxBands> placed;
  int placedCount = 0;
  const int gap =
      measured ? std::max<int>(1, metrics->advance[static_cast<unsigned char>(' ')]) : 0;
  beginText(gl);
  for (int i = 0; i < count; ++i) {
    const int k = order[i];
    const BandSpan span = bandSpan(in.bandX, k, offset);
    // NOLINTNEXTLINE(bugprone-integer-division): the midpoint is a whole axis unit
    const float x = static_cast<float>((span.x0 + span.x1) / 2) / 200.0f;
    const float y = static_cast<float>(peak[k]) / 256.0f - 1.0f;
    // Where the tone lies between the bands, not the band's own frequency.
    const double hz = peakFrequency(peak, k, in.options.boostHi_check, in.settings);
    const std::string label = hzLabel(static_cast<float>(hz), in.decimalSeparator);
    LabelBox box;
    if (measured) {
      const WindowPoint p = view->project(x, y, 0);
      if (!view->inViewport(p)) continue;  // GL would drop it
      box = {p.x, p.x + metrics->width(label) + gap, p.y, p.y + textHeight(metrics)};
    } else {
      box = {static_cast<double>(span.x0), static_cast<double>(span.x0 + kMinSpacing + 1), 0, 1};
    }
    const auto end = placed.begin() + placedCount;
    if (std::any_of(placed.begin(), end, [&](const LabelBox& b) { return overlap(box, b); }))
      continue;
    placed[static_cast<size_t>(placedCount++)] = box;
    setValueColour(in, fast[k]);
    drawText(gl, in.fontListBase, label, x, y);
  }
  endText(gl);
}

}  // namespace bandscope
