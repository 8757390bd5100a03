#pragma once
// A frame model, options and a recording GL table for drawing one scene element or a whole
// frame in a test.

#include <functional>
#include <memory>

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

  SceneInput input(float spinAngle = 0) const {
    return {gl.table(),   options,        model->settings, model->spectrum, model->snapshot,
            model->bandX, model->palette, kFontListBase,   spinAngle};
  }

  // The colour setValueColour gives v with the current options.
  Colour valueColourOf(int32_t v) const {
    const Rgb c = valueColour(v, options.col_check, model->palette, model->settings.bandCount);
    return {c.red, c.green, c.blue};
  }

  static constexpr GLuint kFontListBase = 1000;
  RecordingGl gl;
  FrameOptions options;
  std::unique_ptr<FrameModel> model = std::make_unique<FrameModel>();
};

}  // namespace bandscope::test
