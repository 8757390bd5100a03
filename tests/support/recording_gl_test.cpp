#include "support/recording_gl.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <vector>

namespace bandscope::test {
namespace {

TEST(RecordingGl, BlocksKeepEachVertexWithTheColourCurrentThen) {
  RecordingGl gl;
  const GlTable& g = gl.table();
  g.glColor3f(0.5f, 0.25f, 0);
  g.glBegin(GL_LINES);
  g.glVertex3f(1, 2, 3);
  g.glVertex3f(4, 5, 6);
  g.glEnd();
  g.glBegin(GL_QUADS);
  g.glVertex3f(0, 0, 0);
  g.glColor3f(1, 0, 0);
  g.glVertex3f(1, 0, 0);
  g.glEnd();

  ASSERT_EQ(gl.blocks().size(), 2u);
  EXPECT_EQ(gl.blocks()[0].mode, GLenum{GL_LINES});
  ASSERT_EQ(gl.blocks(GL_QUADS).size(), 1u);
  const Block& quads = gl.blocks(GL_QUADS)[0];
  EXPECT_EQ(quads.vertices[0], (Vertex{0, 0, 0, {0.5f, 0.25f, 0}}));
  EXPECT_EQ(quads.vertices[1], (Vertex{1, 0, 0, {1, 0, 0}}));
  EXPECT_EQ(gl.record()[quads.callIndex].name, "glBegin");
  EXPECT_EQ(gl.blocks(GL_LINES)[0].vertices[1], (Vertex{4, 5, 6, {0.5f, 0.25f, 0}}));
  EXPECT_EQ(gl.count("glVertex3f"), 4u);

  gl.clear();
  EXPECT_TRUE(gl.blocks().empty());
  EXPECT_EQ(gl.colour(), (Colour{1, 0, 0}));
}

TEST(RecordingGl, DrawArraysReadsTheEnabledArraysAtTheCallIntoABlock) {
  RecordingGl gl;
  const GlTable& g = gl.table();
  GLfloat position[3][3] = {{0, 0, 0}, {1, 2, 3}, {4, 5, 6}};
  const GLfloat colour[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  g.glColor3f(0.5f, 0.5f, 0.5f);
  g.glEnableClientState(GL_VERTEX_ARRAY);
  g.glVertexPointer(3, GL_FLOAT, 0, position);
  g.glDrawArrays(GL_LINES, 1, 2);
  g.glEnableClientState(GL_COLOR_ARRAY);
  g.glColorPointer(3, GL_FLOAT, 0, colour);
  g.glNewList(7, GL_COMPILE);
  g.glDrawArrays(GL_POINTS, 0, 2);
  g.glEndList();
  position[0][0] = 9;  // after compiling: the list keeps what it read
  g.glDisableClientState(GL_COLOR_ARRAY);
  g.glDisableClientState(GL_VERTEX_ARRAY);
  g.glColor3f(0.5f, 0.5f, 0.5f);
  g.glCallLists(1, GL_UNSIGNED_BYTE, "\7");

  ASSERT_EQ(gl.blocks().size(), 2u);
  EXPECT_EQ(gl.blocks(GL_LINES)[0].vertices,
            (std::vector<Vertex>{{1, 2, 3, {0.5f, 0.5f, 0.5f}}, {4, 5, 6, {0.5f, 0.5f, 0.5f}}}));
  EXPECT_EQ(gl.blocks(GL_POINTS)[0].vertices,
            (std::vector<Vertex>{{0, 0, 0, {1, 0, 0}}, {1, 2, 3, {0, 1, 0}}}));
}

TEST(RecordingGl, StacksFollowTheMatrixModeAndPopAttribRestores) {
  RecordingGl gl;
  const GlTable& g = gl.table();
  g.glPushMatrix();
  g.glPushMatrix();
  g.glMatrixMode(GL_PROJECTION);
  g.glPushMatrix();
  EXPECT_EQ(gl.modelViewDepth(), 2);
  EXPECT_EQ(gl.projectionDepth(), 1);
  GLint depth = 0;
  g.glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
  EXPECT_EQ(depth, 3);
  g.glPopMatrix();
  g.glMatrixMode(GL_MODELVIEW);
  g.glPopMatrix();
  g.glPopMatrix();

  g.glEnable(GL_BLEND);
  g.glPushAttrib(GL_ALL_ATTRIB_BITS);
  g.glDisable(GL_BLEND);
  g.glColor3f(0, 1, 0);
  EXPECT_EQ(g.glIsEnabled(GL_BLEND), GL_FALSE);
  g.glPopAttrib();
  EXPECT_EQ(g.glIsEnabled(GL_BLEND), GL_TRUE);
  EXPECT_EQ(gl.colour(), Colour{});
  gl.expectBalanced();
}

TEST(RecordingGl, ListsAreCompiledWithoutRunningAndExpandWhenCalled) {
  RecordingGl gl;
  const GlTable& g = gl.table();
  const GLuint base = g.glGenLists(256);
  EXPECT_EQ(base, 1u);
  EXPECT_EQ(g.glGenLists(1), 257u);

  // Two rows of a 10-pixel glyph, each padded to the default alignment of 4.
  const std::uint8_t rows[] = {0x81, 0x40, 0xee, 0xee, 0xff, 0xc0, 0xee, 0xee};
  g.glNewList(base + 'A', GL_COMPILE);
  g.glColor3f(0, 0, 1);
  g.glBitmap(10, 2, 0, 0, 11, 0, rows);
  g.glEndList();
  EXPECT_EQ(gl.colour(), Colour{});
  EXPECT_TRUE(gl.expanded("glBitmap").empty());

  g.glRasterPos2f(0.5f, -1);
  g.glListBase(base);
  g.glCallLists(3, GL_UNSIGNED_BYTE, "AxA");
  EXPECT_EQ(gl.calls("glCallLists").at(0).bytes, "AxA");
  const std::vector<GlCall> bitmaps = gl.expanded("glBitmap");
  ASSERT_EQ(bitmaps.size(), 2u);
  EXPECT_EQ(bitmaps[1].list, base + 'A');
  EXPECT_EQ(bitmaps[1].bitmap, (std::vector<std::uint8_t>{0x81, 0x40, 0xff, 0xc0}));
  EXPECT_EQ(gl.colour(), (Colour{0, 0, 1}));
  EXPECT_EQ(gl.rasterPosition().x, 0.5f);
}

struct Misuse {
  const char* message;
  void (*draw)(const GlTable&);
};

TEST(RecordingGl, ReportsMisuse) {
  const Misuse cases[] = {
      {"vertex outside", [](const GlTable& g) { g.glVertex3f(0, 0, 0); }},
      {"nested glBegin",
       [](const GlTable& g) {
         g.glBegin(GL_LINES);
         g.glBegin(GL_LINES);
         g.glEnd();
       }},
      {"glEnd without glBegin", [](const GlTable& g) { g.glEnd(); }},
      {"glPushMatrix(): not allowed between",
       [](const GlTable& g) {
         g.glBegin(GL_QUADS);
         g.glPushMatrix();
         g.glEnd();
       }},
      {"glCallLists(0, 5121): not allowed between",
       [](const GlTable& g) {
         g.glBegin(GL_QUADS);
         g.glCallLists(0, GL_UNSIGNED_BYTE, "");
         g.glEnd();
       }},
      {"model-view stack underflow", [](const GlTable& g) { g.glPopMatrix(); }},
      {"projection stack overflow",
       [](const GlTable& g) {
         g.glMatrixMode(GL_PROJECTION);
         g.glPushMatrix();
         g.glPushMatrix();
         g.glPopMatrix();
       }},
      {"attribute stack overflow",
       [](const GlTable& g) {
         for (int i = 0; i < 17; ++i) g.glPushAttrib(GL_CURRENT_BIT);
         for (int i = 0; i < 16; ++i) g.glPopAttrib();
       }},
      {"glEndList without glNewList", [](const GlTable& g) { g.glEndList(); }},
      {"without glEnd", [](const GlTable& g) { g.glBegin(GL_POINTS); }},
      {"model-view matrix stack 1", [](const GlTable& g) { g.glPushMatrix(); }},
      {"without glEndList", [](const GlTable& g) { g.glNewList(1, GL_COMPILE); }},
      {"without the vertex array enabled",
       [](const GlTable& g) { g.glDrawArrays(GL_POINTS, 0, 1); }},
      {"glDrawArrays(0, 0, 1): not allowed between",
       [](const GlTable& g) {
         g.glBegin(GL_QUADS);
         g.glDrawArrays(GL_POINTS, 0, 1);
         g.glEnd();
       }},
      {"client array 32884 left enabled",
       [](const GlTable& g) { g.glEnableClientState(GL_VERTEX_ARRAY); }},
      {"does not read",
       [](const GlTable& g) {
         static const GLdouble p[3] = {};
         g.glVertexPointer(3, GL_DOUBLE, 0, p);
       }},
      {"no colour pointer",
       [](const GlTable& g) {
         static const GLfloat p[3] = {};
         g.glEnableClientState(GL_VERTEX_ARRAY);
         g.glEnableClientState(GL_COLOR_ARRAY);
         g.glVertexPointer(3, GL_FLOAT, 0, p);
         g.glDrawArrays(GL_POINTS, 0, 1);
         g.glDisableClientState(GL_COLOR_ARRAY);
         g.glDisableClientState(GL_VERTEX_ARRAY);
       }},
      {"current colour undefined after a colour array",
       [](const GlTable& g) {
         static const GLfloat p[3] = {};
         g.glEnableClientState(GL_VERTEX_ARRAY);
         g.glEnableClientState(GL_COLOR_ARRAY);
         g.glVertexPointer(3, GL_FLOAT, 0, p);
         g.glColorPointer(3, GL_FLOAT, 0, p);
         g.glDrawArrays(GL_POINTS, 0, 1);
         g.glDisableClientState(GL_COLOR_ARRAY);
         g.glDrawArrays(GL_POINTS, 0, 1);
         g.glDisableClientState(GL_VERTEX_ARRAY);
       }},
  };
  for (const Misuse& c : cases) {
    SCOPED_TRACE(c.message);
    EXPECT_NONFATAL_FAILURE(
        {
          RecordingGl gl;
          c.draw(gl.table());
        },
        c.message);
  }
}

TEST(RecordingGl, ReportsToTheInnermostRecorderAndNoneAfter) {
  const GlTable* table = nullptr;
  {
    RecordingGl outer;
    {
      RecordingGl inner;
      inner.table().glPushMatrix();
      EXPECT_EQ(inner.modelViewDepth(), 1);
      inner.table().glPopMatrix();
    }
    outer.table().glEnable(GL_DEPTH_TEST);
    EXPECT_TRUE(outer.isEnabled(GL_DEPTH_TEST));
    EXPECT_EQ(outer.count("glPushMatrix"), 0u);
    table = &outer.table();
  }
  EXPECT_NONFATAL_FAILURE(table->glEnd(), "no RecordingGl active");
}

}  // namespace
}  // namespace bandscope::test
