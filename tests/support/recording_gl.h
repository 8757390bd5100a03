#pragma once
// A GL table for tests that records every call instead of drawing, keeps the bit of GL
// state that drawing code depends on, and reports misuse as a non-fatal gtest failure.
//
//   RecordingGl gl;
//   drawSomething(gl.table());
//   EXPECT_EQ(gl.blocks(GL_QUADS)[2].vertices[0].colour, (Colour{1, 0.25f, 0.25f}));
//
// Constructing a recorder makes it the one the table's functions report to on this
// thread; destroying it brings back the one before. It then also checks that no primitive
// or display list was left open and that every push had its pop.
//
// References returned by the queries stay valid until the next GL call or clear().

#include <GL/gl.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <source_location>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/palette.h"
#include "platform/gl_table.h"

namespace bandscope::test {

struct Colour {
  float red = 1;  // GL's initial current colour is white
  float green = 1;
  float blue = 1;
  bool operator==(const Colour&) const = default;
};

// So a vertex colour can be compared with the colour drawing code computed.
inline bool operator==(const Colour& c, const Rgb& rgb) {
  return c.red == rgb.red && c.green == rgb.green && c.blue == rgb.blue;
}

struct Vertex {
  float x = 0;
  float y = 0;
  float z = 0;
  Colour colour;  // the current colour when the vertex was given, or its array's
  bool operator==(const Vertex&) const = default;
};

struct GlCall {
  std::string name;
  std::vector<double> args;          // the numeric arguments in order; pointers are left out
  std::string bytes;                 // glCallLists: the n list offsets as given (the text)
  std::vector<std::uint8_t> bitmap;  // glBitmap: height rows of (width + 7) / 8 bytes,
                                     // bottom row first, unpack padding removed
  Colour colour;                     // the current colour when the call was made
  GLuint list = 0;  // the display list it was compiled into (in expanded(): run from); 0: none
  std::vector<Vertex> arrayVertices;  // glDrawArrays: the vertices it read
};

// One glBegin ... glEnd, or one glDrawArrays.
struct Block {
  GLenum mode = 0;
  std::vector<Vertex> vertices;
  std::size_t callIndex =
      0;  // in record(): the glBegin or glDrawArrays, or the glCallLists that ran it
};

struct RasterPos {
  float x = 0;
  float y = 0;
  Colour colour;  // GL takes the text colour from the current colour at glRasterPos
};

class RecordingGl {
 public:
  // Failures are reported at the place the recorder was made.
  explicit RecordingGl(std::source_location where = std::source_location::current());
  ~RecordingGl();
  RecordingGl(const RecordingGl&) = delete;
  RecordingGl& operator=(const RecordingGl&) = delete;

  // Every entry reports to the active recorder of the calling thread.
  const GlTable& table() const;

  // The calls as made, including those only compiled into a display list.
  const std::vector<GlCall>& record() const { return record_; }
  std::vector<GlCall> calls(std::string_view name) const;
  std::size_t count(std::string_view name) const;
  // What GL ran: each glCallLists replaced by the calls of the lists it named (lists this
  // recorder never saw compiled run nothing), calls only compiled left out.
  const std::vector<GlCall>& expanded() const { return executed_; }
  std::vector<GlCall> expanded(std::string_view name) const;

  // Finished glBegin ... glEnd blocks in order, including those run from display lists.
  const std::vector<Block>& blocks() const { return blocks_; }
  const std::vector<Block>& blocks(GLenum mode) const;

  // Forgets calls and blocks; GL state and display lists stay.
  void clear();

  // A failure unless no primitive or list is open and every stack is back at its base.
  void expectBalanced(std::source_location where = std::source_location::current()) const;

  Colour colour() const { return colour_; }
  GLenum matrixMode() const { return matrixMode_; }
  int modelViewDepth() const { return modelView_; }  // pushes above the base matrix
  int projectionDepth() const { return projection_; }
  int textureDepth() const { return texture_; }
  int attribDepth() const { return static_cast<int>(attribStack_.size()); }
  bool isEnabled(GLenum cap) const { return enabled_.contains(cap); }
  RasterPos rasterPosition() const { return raster_; }
  GLuint listBase() const { return listBase_; }
  std::array<GLint, 4> viewport() const { return viewport_; }
  std::optional<GLenum> openPrimitive() const;
  std::optional<GLuint> compilingList() const;
  // The calls compiled into a list; empty if there is none of that name.
  std::vector<GlCall> listCalls(GLuint list) const;

  bool isClientEnabled(GLenum array) const { return clientEnabled_.contains(array); }

  // A client array as its glVertexPointer or glColorPointer set it.
  struct ClientArray {
    GLint size = 0;
    GLenum type = 0;
    GLsizei stride = 0;
    const void* pointer = nullptr;
  };

  // Changes what glGetString answers (GL_VENDOR, GL_RENDERER, GL_VERSION, GL_EXTENSIONS).
  void setString(GLenum name, std::string text);

 private:
  struct Entry;  // the table's functions and what each call does

  struct Saved {  // one glPushAttrib
    GLbitfield mask;
    std::set<GLenum> enabled;
    Colour colour;
    RasterPos raster;
    GLenum matrixMode;
    std::array<GLint, 4> viewport;
    GLuint listBase;
  };

  void fail(const std::string& message) const;

  std::source_location where_;
  RecordingGl* previous_;

  std::vector<GlCall> record_;
  std::vector<GlCall> executed_;
  std::vector<Block> blocks_;
  std::map<GLenum, std::vector<Block>> blocksByMode_;

  Colour colour_;
  GLenum matrixMode_ = GL_MODELVIEW;
  int modelView_ = 0;
  int projection_ = 0;
  int texture_ = 0;
  std::vector<Saved> attribStack_;
  std::set<GLenum> enabled_{GL_DITHER};  // on in a fresh context
  RasterPos raster_;
  GLuint listBase_ = 0;
  std::array<GLint, 4> viewport_{};
  std::optional<Block> open_;
  std::map<GLenum, GLint> pixelStore_;
  GLenum readBuffer_ = GL_BACK;
  std::map<GLenum, std::string> strings_;
  std::set<GLenum> clientEnabled_;
  ClientArray vertexArray_;
  ClientArray colourArray_;
  bool colourUndefined_ = false;  // after a colour array, until the next glColor

  GLuint nextList_ = 1;
  std::map<GLuint, std::vector<GlCall>> lists_;
  GLuint compiling_ = 0;
  GLenum compileMode_ = 0;
  std::vector<GlCall> compiled_;  // replaces the list's contents at glEndList
};

std::ostream& operator<<(std::ostream& out, const Colour& c);
std::ostream& operator<<(std::ostream& out, const Vertex& v);
std::ostream& operator<<(std::ostream& out, const GlCall& call);

}  // namespace bandscope::test
