#pragma once
// The colour ramp for value-dependent colours. Pure; any thread. The GL call that sets a
// value's colour lives with the drawing; this computes the colour it sets.

#include <cstdint>

namespace bandscope {

// i in 0 .. 256 (larger values give the top colour); red + 256 x green + 65536 x blue.
uint32_t paletteColour(int32_t i);

struct Palette {
  uint8_t palette[257][3];  // red, green, blue
};

void buildPalette(Palette& p);

struct Rgb {
  float red;
  float green;
  float blue;
};

// The colour for value v >= 0: the palette entry (entry 256 from 256 on) scaled by 1/256
// when colours is on; otherwise grey with green 0.5 + v / bandCount (not clamped here).
Rgb valueColour(int32_t v, bool colours, const Palette& p, uint16_t bandCount);

}  // namespace bandscope
