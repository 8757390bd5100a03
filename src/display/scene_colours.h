#pragma once
// The fixed colours of the scene's elements, in one place so that the help's legend names
// each in the colour it is drawn in. Colours that follow a value come from the palette
// (value_colour.h) instead. Constants; any thread.

#include <array>

#include "platform/gl_table.h"

namespace bandscope {

using SceneColour = std::array<float, 3>;

inline constexpr SceneColour kWhite{1.0f, 1.0f, 1.0f};
inline constexpr SceneColour kSlowAverageColour{0.99609375f, 0.5625f, 0.25f};
inline constexpr SceneColour kFastAverageColour{0.625f, 0.9375f, 0.625f};
inline constexpr SceneColour kPeakCurveColour{0.375f, 0.0625f, 0.125f};
inline constexpr SceneColour kGridColour{0.2f, 0.2f, 0.25f};  // level and frequency lines
inline constexpr SceneColour kFrequencyLabelColour{0.3f, 0.3f, 0.35f};
// Brighter than the lines they name: they stand over the bars.
inline constexpr SceneColour kLevelLabelColour{0.55f, 0.55f, 0.65f};
inline constexpr SceneColour kCaptionColour{0.85f, 0.85f, 1.0f};
inline constexpr SceneColour kScopeFrameColour{0.25f, 0.25f, 0.25f};
inline constexpr SceneColour kClippingColour{1.0f, 0.1f, 0.1f};
inline constexpr SceneColour kSideColour{1.0f, 0.25f, 0.25f};  // half the difference L - R
inline constexpr SceneColour kVectorCrossColour{0.5f, 0.5f, 0.5f};

inline void setSceneColour(const GlTable& gl, const SceneColour& c) {
  gl.glColor3f(c[0], c[1], c[2]);
}

}  // namespace bandscope
