#pragma once
// One-bit glyph bitmaps of a font for the 256 codes of the Windows-1252 code page, ready for
// glBitmap. The declarations are free of Qt so that the drawing code can take glyphs without
// depending on the toolkit; only the rasteriser's implementation uses Qt.

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

namespace bandscope {

// One glyph as glBitmap takes it. Rows run bottom row first, each padded to whole bytes
// (unpack alignment 1), most significant bit = leftmost pixel. The origin is the pen position
// relative to the bitmap's lower-left corner: xOrigin = -(left bearing), yOrigin = rows below
// the baseline. An empty glyph has width and height 0 and no bits.
struct Glyph {
  int32_t width = 0;
  int32_t height = 0;
  int32_t xOrigin = 0;
  int32_t yOrigin = 0;
  int32_t xAdvance = 0;
  std::vector<uint8_t> bits;

  int32_t bytesPerRow() const { return (width + 7) / 8; }
};

// Glyph k is the character with code k.
struct GlyphSet {
  std::array<Glyph, 256> glyphs;
};

struct FontRequest {
  std::string_view faceName;
  int32_t pixelHeight = 0;  // character height without internal leading
  bool bold = false;
};

// The Unicode code point of a Windows-1252 byte; 0 for the five codes the page leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D). Control codes map to themselves. Pure.
char32_t windows1252ToUnicode(uint8_t code);

// Rasterises the font asked for, resolved by the system's font matching (a sans face when
// the name is unknown), without antialiasing. Control codes and undefined codes get empty
// glyphs with no advance. Allocates.
// Threads: the UI thread, with a QGuiApplication in existence.
GlyphSet rasteriseGlyphs(const FontRequest& request);

}  // namespace bandscope
