#include "palette.h"

#include <algorithm>

namespace bandscope {

namespace {

constexpr uint32_t rgb(int32_t red, int32_t green, int32_t blue) {
  return static_cast<uint32_t>(red) + 256u * static_cast<uint32_t>(green) +
         65536u * static_cast<uint32_t>(blue);
}

}  // namespace

uint32_t paletteColour(int32_t i) {
  // Black, a brightening blue, green rising into it, then red as well; near white on top.
  if (i <= 0) return rgb(0, 0, 0);
  if (i < 64) return rgb(0, 0, 32 + 2 * i);
  if (i < 128) return rgb(0, 2 * (i - 64), 160);
  if (i < 192) return rgb(2 * (i - 128), 128 + (i - 128), 160);
  if (i < 256) return rgb(128 + 2 * (i - 192), 160 + (i - 192), 128);
  return rgb(255, 240, 240);
}

void buildPalette(Palette& p) {
  for (int i = 0; i <= 256; ++i) {
    const uint32_t c = paletteColour(i);
    p.palette[i][0] = static_cast<uint8_t>(c & 0xff);
    p.palette[i][1] = static_cast<uint8_t>((c >> 8) & 0xff);
    p.palette[i][2] = static_cast<uint8_t>((c >> 16) & 0xff);
  }
  for (int i = 0; i <= 256; ++i) p.colour[i] = valueColour(i, true, p, 0);
  p.tablesReady = true;
}

void buildGreyRamp(Palette& p, uint16_t bandCount) {
  for (int32_t v = 0; v < kGreyValues; ++v)
    p.greyGreen[v] = valueColour(v, false, p, bandCount).green;
  p.greyBandCount = bandCount;
}

Rgb valueColour(int32_t v, bool colours, const Palette& p, uint16_t bandCount) {
  if (!colours) {
    const long double green = 0.5L + static_cast<long double>(v) / bandCount;
    return {0.5f, static_cast<float>(green), 0.5f};
  }
  const uint8_t* entry = p.palette[std::clamp(v, 0, 256)];
  return {entry[0] / 256.0f, entry[1] / 256.0f, entry[2] / 256.0f};
}

}  // namespace bandscope
