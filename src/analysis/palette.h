#pragma once
// The colour ramp for value-dependent colours. The GL call that sets a value's colour lives
// with the drawing; this computes the colour it sets, and holds it ready in tables so that
// the drawing reads it instead of computing it per vertex.
//
// Threads: any; a Palette is built and read by one thread at a time (in the program, the
// UI thread).

#include <algorithm>
#include <cstdint>

namespace bandscope {

// i in 0 .. 256 (larger values give the top colour); red + 256 x green + 65536 x blue.
uint32_t paletteColour(int32_t i);

struct Rgb {
  float red;
  float green;
  float blue;
};

// The grey ramp holds v in 0 .. kGreyValues - 1, beyond any value the scene passes (levels
// stay below about 1020, the balance bar below 1320); others are computed when asked for.
constexpr int32_t kGreyValues = 2048;

struct Palette {
  uint8_t palette[257][3];       // red, green, blue
  Rgb colour[257];               // palette / 256: valueColour with colours on
  float greyGreen[kGreyValues];  // valueColour's green with colours off, at greyBandCount
  uint16_t greyBandCount = 0;    // 0: no grey ramp built
  bool tablesReady = false;      // false: readyValueColour computes every colour
};

// Fills palette and colour and sets tablesReady; the grey ramp is left as it is.
void buildPalette(Palette& p);

// Fills greyGreen for bandCount (8 .. 512).
void buildGreyRamp(Palette& p, uint16_t bandCount);

// The colour for value v >= 0: the palette entry (entry 256 from 256 on) scaled by 1/256
// when colours is on; otherwise grey with green 0.5 + v / bandCount (not clamped here).
Rgb valueColour(int32_t v, bool colours, const Palette& p, uint16_t bandCount);

// valueColour, bit for bit, read from the tables where they hold it.
inline Rgb readyValueColour(int32_t v, bool colours, const Palette& p, uint16_t bandCount) {
  if (p.tablesReady) {
    if (colours) return p.colour[std::clamp(v, 0, 256)];
    if (p.greyBandCount == bandCount && static_cast<uint32_t>(v) < kGreyValues) {
      return {0.5f, p.greyGreen[v], 0.5f};
    }
  }
  return valueColour(v, colours, p, bandCount);
}

}  // namespace bandscope
