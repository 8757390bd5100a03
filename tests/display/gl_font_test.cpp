#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "display/gl_font.h"
#include "display/window_text.h"
#include "support/recording_gl.h"

namespace bandscope {
namespace {

using test::GlCall;
using test::RecordingGl;

// Glyph k: sizes and origins that differ from code to code, some over one byte wide, some
// empty; the bits count up from k.
GlyphSet fakeGlyphs() {
  GlyphSet set;
  for (int k = 0; k < 256; ++k) {
    Glyph& g = set.glyphs[static_cast<size_t>(k)];
    g.width = k % 11;
    g.height = k % 4;
    g.xOrigin = -(k % 3);
    g.yOrigin = k % 5 - 1;
    g.xAdvance = k % 13 + 1;
    g.bits.resize(static_cast<size_t>(g.bytesPerRow() * g.height));
    for (size_t i = 0; i < g.bits.size(); ++i) g.bits[i] = static_cast<uint8_t>(k + i);
  }
  return set;
}

bool inkless(const Glyph& g) {
  return g.width == 0 || g.height == 0 || g.bits.empty();
}

// An inkless glyph is compiled as one clear pixel: GL drivers cannot store empty bitmaps.
std::vector<double> bitmapArgs(const Glyph& g) {
  const bool clear = inkless(g);
  return {clear ? 1.0 : double(g.width),
          clear ? 1.0 : double(g.height),
          double(g.xOrigin),
          double(g.yOrigin),
          double(g.xAdvance),
          0};
}

std::vector<uint8_t> bitmapBits(const Glyph& g) {
  return inkless(g) ? std::vector<uint8_t>{0} : g.bits;
}

std::vector<std::string> names(const std::vector<GlCall>& calls) {
  std::vector<std::string> out;
  for (const GlCall& c : calls) out.push_back(c.name);
  return out;
}

const GlyphSource kFakeSource = [](const FontRequest&) { return fakeGlyphs(); };

TEST(GlFontLists, OneCompiledBitmapPerCodeFromTheFontAskedFor) {
  RecordingGl rec;
  const GlTable& gl = rec.table();
  gl.glGenLists(7);  // so the font's lists do not start at 1
  gl.glPixelStorei(GL_UNPACK_ALIGNMENT, 8);
  rec.clear();

  std::vector<std::string> faces;
  std::vector<int32_t> heights;
  std::vector<bool> bold;
  const GlyphSource source = [&](const FontRequest& request) {
    faces.emplace_back(request.faceName);
    heights.push_back(request.pixelHeight);
    bold.push_back(request.bold);
    return fakeGlyphs();
  };
  GLuint listBase = 0;
  TextMetrics metrics;
  createFontLists(gl, listBase, metrics, "Smallfonts", source);

  EXPECT_EQ(faces, std::vector<std::string>{"Smallfonts"});
  EXPECT_EQ(heights, std::vector<int32_t>{11});
  EXPECT_EQ(bold, std::vector<bool>{true});

  ASSERT_EQ(rec.calls("glGenLists").size(), 1u);
  EXPECT_EQ(rec.calls("glGenLists")[0].args, std::vector<double>{256});
  EXPECT_EQ(listBase, 8u);

  const GlyphSet expected = fakeGlyphs();
  const std::vector<GlCall> opened = rec.calls("glNewList");
  ASSERT_EQ(opened.size(), 256u);
  for (GLuint code = 0; code < 256; ++code) {
    EXPECT_EQ(opened[code].args, (std::vector<double>{8.0 + code, GL_COMPILE})) << code;
    const std::vector<GlCall> body = rec.listCalls(listBase + code);
    ASSERT_EQ(names(body), std::vector<std::string>{"glBitmap"}) << "code " << code;
    EXPECT_EQ(body[0].args, bitmapArgs(expected.glyphs[code])) << "code " << code;
    EXPECT_EQ(body[0].bitmap, bitmapBits(expected.glyphs[code])) << "code " << code;
    EXPECT_EQ(metrics.advance[code], expected.glyphs[code].xAdvance) << "code " << code;
  }
  EXPECT_EQ(metrics.height, 11);
  EXPECT_EQ(metrics.width("1.5k"),
            ('1' % 13 + 1) + ('.' % 13 + 1) + ('5' % 13 + 1) + ('k' % 13 + 1));
  EXPECT_TRUE(rec.expanded("glBitmap").empty());  // built, not drawn

  // Byte-packed rows need alignment 1 while compiling; the caller's 8 comes back after.
  const std::vector<GlCall>& all = rec.record();
  const auto firstBitmap =
      std::find_if(all.begin(), all.end(), [](const GlCall& c) { return c.name == "glBitmap"; });
  const std::vector<GlCall> stores = rec.calls("glPixelStorei");
  ASSERT_EQ(stores.size(), 2u);
  EXPECT_EQ(stores[0].args, (std::vector<double>{GL_UNPACK_ALIGNMENT, 1}));
  EXPECT_LT(std::find_if(all.begin(), all.end(),
                         [](const GlCall& c) { return c.name == "glPixelStorei"; }),
            firstBitmap);
  EXPECT_EQ(all.back().name, "glPixelStorei");
  EXPECT_EQ(all.back().args, (std::vector<double>{GL_UNPACK_ALIGNMENT, 8}));
}

// At a device pixel ratio the glyphs are asked that many times as high; lists already there
// are compiled anew rather than new ones taken.
TEST(GlFontLists, ThePixelRatioScalesTheFontAndRecompilesTheListsThere) {
  const struct {
    double ratio;
    int32_t height, lineStep;  // a 14-pixel line step at this ratio
  } rows[] = {{1, 11, 14}, {1.25, 14, 18}, {1.5, 17, 21}, {2, 22, 28}, {3, 33, 42}, {0, 3, 4}};
  RecordingGl rec;
  const GlTable& gl = rec.table();
  GLuint listBase = 0;
  for (const auto& r : rows) {
    SCOPED_TRACE(r.ratio);
    std::vector<int32_t> asked;
    const GlyphSource source = [&](const FontRequest& request) {
      asked.push_back(request.pixelHeight);
      return fakeGlyphs();
    };
    TextMetrics metrics;
    createFontLists(gl, listBase, metrics, "Smallfonts", source, r.ratio);
    EXPECT_EQ(asked, std::vector<int32_t>{r.height});
    EXPECT_EQ(metrics.height, r.height);
    EXPECT_EQ(textPixels(&metrics, 14), r.lineStep);
    EXPECT_EQ(listBase, 1u);
  }
  EXPECT_EQ(rec.calls("glGenLists").size(), 1u);
  EXPECT_EQ(rec.calls("glNewList").size(), 256u * std::size(rows));
}

TEST(GlFontLists, NoListsLeaveTextInvisibleAndTheFontUnasked) {
  RecordingGl rec;
  GlTable gl = rec.table();
  gl.glGenLists = [](GLsizei) -> GLuint { return 0; };
  int asked = 0;
  const GlyphSource source = [&](const FontRequest&) {
    ++asked;
    return fakeGlyphs();
  };
  GLuint listBase = 0;  // a new context
  TextMetrics metrics;
  metrics.height = 11, metrics.advance['1'] = 7;  // from an earlier context
  createFontLists(gl, listBase, metrics, "Smallfonts", source);
  EXPECT_EQ(listBase, 0u);
  EXPECT_EQ(metrics.height, 0);
  EXPECT_EQ(metrics.width("100 Hz"), 0) << "nothing drawn, nothing to measure";
  EXPECT_EQ(asked, 0);
  EXPECT_TRUE(rec.record().empty());

  drawText(gl, listBase, "100 Hz", 0, 0);
  EXPECT_TRUE(rec.expanded("glBitmap").empty());
}

TEST(GlText, BracketTurnsOffLightingTexturingBlendingAndRestoresThem) {
  RecordingGl rec;
  const GlTable& gl = rec.table();
  for (const GLenum cap : {GL_LIGHTING, GL_TEXTURE_2D, GL_BLEND, GL_DEPTH_TEST}) gl.glEnable(cap);
  rec.clear();

  beginText(gl);
  for (const GLenum cap : {GL_LIGHTING, GL_TEXTURE_2D, GL_BLEND}) EXPECT_FALSE(rec.isEnabled(cap));
  EXPECT_TRUE(rec.isEnabled(GL_DEPTH_TEST));
  endText(gl);
  EXPECT_EQ(rec.attribDepth(), 0);
  for (const GLenum cap : {GL_LIGHTING, GL_TEXTURE_2D, GL_BLEND}) EXPECT_TRUE(rec.isEnabled(cap));
}

TEST(GlText, DrawRunsTheListOfEachByteFromTheRasterPositionAndNoneForEmptyText) {
  RecordingGl rec;
  const GlTable& gl = rec.table();
  GLuint listBase = 0;
  TextMetrics metrics;
  createFontLists(gl, listBase, metrics, "Smallfonts", kFakeSource);
  rec.clear();

  // High codes must stay single unsigned bytes, and a zero byte is a glyph too.
  const char bytes[] = {'1', '\x80', '\0', '\xE9', '\xFF'};
  const std::string_view text(bytes, sizeof bytes);
  drawText(gl, listBase, text, -0.075f, 0.05f);

  EXPECT_EQ(rec.rasterPosition().x, -0.075f);
  EXPECT_EQ(rec.rasterPosition().y, 0.05f);
  const GlyphSet expected = fakeGlyphs();
  const std::vector<GlCall> drawn = rec.expanded("glBitmap");
  ASSERT_EQ(drawn.size(), text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const auto code = static_cast<uint8_t>(text[i]);
    EXPECT_EQ(drawn[i].list, listBase + code) << "byte " << i;
    EXPECT_EQ(drawn[i].args, bitmapArgs(expected.glyphs[code])) << "byte " << i;
  }

  rec.clear();
  drawText(gl, listBase, "", 0.5f, -0.25f);
  EXPECT_TRUE(rec.expanded("glBitmap").empty());
  EXPECT_EQ(rec.rasterPosition().x, 0.5f);
  EXPECT_EQ(rec.rasterPosition().y, -0.25f);
}

// Lines placed in a 200 x 100 picture: a black shadow a pixel down and right, then the line in
// its colour, over the depth test, under identity matrices; a start outside is left out.
TEST(WindowText, LinesArePlacedInThePicturesPixelsWithAShadow) {
  RecordingGl rec;
  const GlTable& gl = rec.table();
  gl.glEnable(GL_DEPTH_TEST);
  const WindowTextLine lines[] = {{4, 14, "60 fps", {1, 1, 1}},
                                  {50, 100, "low", {0, 1, 0}},
                                  {200, 14, "right of it", {1, 1, 1}},
                                  {4, 0, "above it", {1, 1, 1}}};
  rec.clear();
  drawWindowText(gl, 7, 200, 100, lines);
  EXPECT_EQ(rec.viewport(), (std::array<GLint, 4>{0, 0, 200, 100}));
  const auto at = rec.calls("glRasterPos2f");
  ASSERT_EQ(at.size(), 4u) << "two lines, each with its shadow";
  const auto ndc = [](double x, double y) { return std::vector<double>{float(x), float(y)}; };
  EXPECT_EQ(at[0].args, ndc(2.0 * 5 / 200 - 1, 1 - 2.0 * 15 / 100));
  EXPECT_EQ(at[1].args, ndc(2.0 * 4 / 200 - 1, 1 - 2.0 * 14 / 100));
  EXPECT_EQ(at[3].args, ndc(2.0 * 50 / 200 - 1, -1));
  const auto texts = rec.calls("glCallLists");
  EXPECT_EQ(texts[1].bytes, "60 fps");
  EXPECT_EQ(texts[3].bytes, "low");
  const auto colours = rec.calls("glColor3f");
  EXPECT_EQ(colours[0].args, (std::vector<double>{0, 0, 0}));
  EXPECT_EQ(colours[3].args, (std::vector<double>{0, 1, 0}));
  const auto off = rec.calls("glDisable");
  EXPECT_TRUE(std::any_of(off.begin(), off.end(),
                          [](const GlCall& c) { return c.args[0] == GL_DEPTH_TEST; }));
  EXPECT_TRUE(rec.isEnabled(GL_DEPTH_TEST)) << "restored for the next frame";
  EXPECT_EQ(rec.matrixMode(), static_cast<GLenum>(GL_MODELVIEW));
  rec.expectBalanced();

  rec.clear();
  drawWindowText(gl, 0, 200, 100, lines);  // no font lists: nothing at all
  EXPECT_TRUE(rec.record().empty());

  drawWindowBand(gl, 200, 100, 10, 60);  // the help's black band, rows 10 .. 60, full width
  ASSERT_EQ(rec.blocks(GL_QUADS).size(), 1u);
  const test::Vertex corner[] = {{-1, 0.8f, 0, {0, 0, 0}},
                                 {1, 0.8f, 0, {0, 0, 0}},
                                 {1, -0.2f, 0, {0, 0, 0}},
                                 {-1, -0.2f, 0, {0, 0, 0}}};
  EXPECT_EQ(rec.blocks(GL_QUADS)[0].vertices, std::vector<test::Vertex>(corner, corner + 4));
  rec.expectBalanced();
}

// With the font's ink the lines are quads over exactly the pixels the glyphs' bits set, from
// each line's pen (the shadow one pixel right and down, in black, first, and dropped below the
// picture as GL drops a bitmap's raster position there), no bitmap at all.
TEST(WindowText, InkQuadsCoverTheGlyphsBitsFromEachLinesPen) {
  RecordingGl rec;
  const GlTable& gl = rec.table();
  GLuint listBase = 0;
  TextMetrics metrics;
  createFontLists(gl, listBase, metrics, "Smallfonts", kFakeSource);
  const char far[] = {'\xE9', '\x80', 'q'};
  const WindowTextLine lines[] = {{4, 14, "17 Hz", {1, 1, 1}},
                                  {50, 100, std::string_view(far, 3), {0, 1, 0}},
                                  {200, 14, "right of it", {1, 1, 1}}};
  rec.clear();
  drawWindowText(gl, listBase, 200, 100, lines, &metrics);
  EXPECT_TRUE(rec.expanded("glBitmap").empty());
  EXPECT_FALSE(rec.isClientEnabled(GL_VERTEX_ARRAY));
  rec.expectBalanced();

  // The pixels each glyph sets, from its bits, and the pixels the quads cover.
  using Pixel = std::pair<int, int>;  // x, and y from the bottom
  const GlyphSet glyphs = fakeGlyphs();
  const auto expected = [&glyphs](int x, int baseline, std::string_view text) {
    std::vector<Pixel> out;
    for (const char c : text) {
      const Glyph& g = glyphs.glyphs[static_cast<uint8_t>(c)];
      for (int row = 0; row < g.height; ++row)
        for (int col = 0; col < g.width; ++col)
          if ((g.bits[size_t(row * g.bytesPerRow() + col / 8)] >> (7 - col % 8)) & 1)
            out.emplace_back(x - g.xOrigin + col, baseline - g.yOrigin + row);
      x += g.xAdvance;
    }
    std::sort(out.begin(), out.end());
    return out;
  };
  const auto covered = [](const test::Block& quads) {
    std::vector<Pixel> out;
    for (size_t v = 0; v + 3 < quads.vertices.size(); v += 4) {
      const auto px = [](float ndc, int size) { return int(std::lround((ndc + 1) * size / 2)); };
      for (int x = px(quads.vertices[v].x, 200); x < px(quads.vertices[v + 2].x, 200); ++x)
        for (int y = px(quads.vertices[v].y, 100); y < px(quads.vertices[v + 2].y, 100); ++y)
          out.emplace_back(x, y);
    }
    std::sort(out.begin(), out.end());
    return out;
  };
  const std::vector<test::Block>& drawn = rec.blocks(GL_QUADS);
  ASSERT_EQ(drawn.size(), 3u) << "two lines; the shadow of the one on the bottom row is dropped";
  EXPECT_EQ(covered(drawn[0]), expected(5, 100 - 15, "17 Hz"));
  EXPECT_EQ(drawn[0].vertices[0].colour, (test::Colour{0, 0, 0}));
  EXPECT_EQ(covered(drawn[1]), expected(4, 100 - 14, "17 Hz"));
  EXPECT_EQ(covered(drawn[2]), expected(50, 0, std::string_view(far, 3)));
  EXPECT_EQ(drawn[2].vertices[0].colour, (test::Colour{0, 1, 0}));

  // Lines apart are drawn a colour at a time, lines that overlap each in turn.
  const WindowTextLine three[] = {
      {4, 14, "17 Hz", {1, 1, 1}}, {4, 50, "17 Hz", {0, 1, 0}}, {4, 86, "17 Hz", {1, 1, 1}}};
  using Lines = std::span<const WindowTextLine>;
  for (const auto& [shown, blocks] :
       {std::pair{Lines(three), 3u}, std::pair{Lines(three).first(1), 2u}}) {
    rec.clear();
    drawWindowText(gl, listBase, 200, 100, shown, &metrics);
    EXPECT_EQ(rec.blocks(GL_QUADS).size(), blocks);
  }
  const WindowTextLine overlapping[] = {{4, 14, "17 Hz", {1, 1, 1}}, {6, 16, "17 Hz", {1, 1, 1}}};
  rec.clear();
  drawWindowText(gl, listBase, 200, 100, overlapping, &metrics);
  ASSERT_EQ(rec.blocks(GL_QUADS).size(), 4u);
  EXPECT_EQ(covered(rec.blocks(GL_QUADS)[2]), expected(7, 100 - 17, "17 Hz"));
  EXPECT_EQ(rec.blocks(GL_QUADS)[2].vertices[0].colour, (test::Colour{0, 0, 0}));
}

}  // namespace
}  // namespace bandscope
