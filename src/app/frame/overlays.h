#pragma once
// The texts over the picture, placed in its pixels from its top left corner: the frame-rate
// readout, "frozen", the help, the pointer's readout and, at the bottom, the way back to the
// start view. Whole at every window shape, since they are placed from the visible picture
// rather than from the projection; their distances grow with the font's pixel ratio.
//
// Threads: UI thread, with the rendering context current.

#include <array>
#include <span>
#include <string>
#include <string_view>

#include "display/gl_font.h"
#include "platform/gl_table.h"

namespace bandscope {

inline constexpr std::array<GLfloat, 3> kHelpColour{1, 1, 0.6f};

// A piece of the help: text in a colour, starting a line or going on after the piece before.
struct HelpText {
  std::string_view text;
  std::array<GLfloat, 3> colour = kHelpColour;
  bool sameLine = false;
};

struct Overlays {
  const std::string* frameRate = nullptr;  // drawn when not null
  bool frozen = false;
  std::span<const HelpText> help;  // drawn when not empty, on a black band
  const std::string* pointerText = nullptr;
  int pointerX = 0;  // the pointer, in the picture's pixels
  int pointerY = 0;
  std::string_view bottomHint;  // drawn centred at the bottom when not empty
};

// The pixel rows between two lines of text at pixel ratio 1.
inline constexpr int kOverlayLineStep = 14;

// The pointer's readout stands right of the pointer, or left of it where the picture
// ends first; pieces of a help line follow each other. Both are measured with the font's
// advances.
void drawOverlays(const GlTable& gl, GLuint fontListBase, const TextMetrics* metrics, int width,
                  int height, const Overlays& overlays);

}  // namespace bandscope
