#pragma once
// A frame model, options and a recording GL table for drawing one scene element or a whole
// frame in a test.

#include <array>
#include <cmath>
#include <functional>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "display/frame.h"
#include "support/recording_gl.h"

namespace bandscope::test {

struct SceneFixture {
  explicit SceneFixture(uint16_t bandCount = 192) { setBands(bandCount); }

  // Start-up state for this band count.
  void setBands(uint16_t bandCount) { initFrameModel(*model, bandCount); }

  // sample(j) for every j < bufferLength of the channel's row in the snapshot.
  void fillSamples(int channel, const std::function<int(int)>& sample) {
    for (int j = 0; j < model->settings.bufferLength; ++j) {
      model->snapshot.sampleBuffer[channel][j] = static_cast<uint8_t>(sample(j));
    }
  }

  // Both channels a sine of hz (amplitude 100 around 128) at the thinned rate of the time
  // scale, then steps of the real analysis.
  void analyseTone(double hz, int steps = 8) {
    const double perSample = 2 * std::numbers::pi * hz * model->settings.timeScale / 44100.0;
    for (int c = 0; c < 2; ++c) {
      fillSamples(c, [&](int j) { return 128 + std::lround(100 * std::sin(perSample * j)); });
    }
    for (int k = 0; k < steps; ++k) analysisStep(options, *model);
  }

  SceneInput input(float spinAngle = 0) const {
    return {gl.table(),   options,        model->settings,   model->spectrum, model->snapshot,
            model->bandX, model->palette, kFontListBase,     spinAngle,       '.',
            textMetrics,  view,           &model->sonoStrips};
  }

  // Text measuring for the elements, off (null) unless a test sets them.
  const TextMetrics* textMetrics = nullptr;
  const ViewTransform* view = nullptr;

  // The colour setValueColour gives v with the current options.
  Colour valueColourOf(int32_t v) const {
    const Rgb c = valueColour(v, options.col_check, model->palette, model->settings.bandCount);
    return {c.red, c.green, c.blue};
  }

  // The texts drawn in colour c (not their black shadows), at the pixel of a width x height
  // picture, from its top left, where GL's raster position puts them.
  struct PlacedText {
    double x, y;
    std::string text;
  };
  std::vector<PlacedText> textsIn(const std::array<float, 3>& c, int width = 2,
                                  int height = 2) const {
    std::vector<PlacedText> out;
    const GlCall* at = nullptr;
    for (const GlCall& call : gl.record()) {
      if (call.name == "glRasterPos2f") at = &call;
      if (call.name != "glCallLists" || !at || !(at->colour == Colour{c[0], c[1], c[2]})) continue;
      out.push_back({(at->args[0] + 1) * width / 2, (1 - at->args[1]) * height / 2, call.bytes});
    }
    return out;
  }

  static constexpr GLuint kFontListBase = 1000;
  RecordingGl gl;
  FrameOptions options;
  std::unique_ptr<FrameModel> model = std::make_unique<FrameModel>();
};

}  // namespace bandscope::test
