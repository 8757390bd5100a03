// What the client vertex arrays and glDrawArrays do to the recorder. GL reads the arrays
// during glDrawArrays, so the recorder copies the vertices then, into the call and a block.

#include "support/recording_gl_entry.h"

#include <cstring>

namespace bandscope::test {
namespace {

bool knownArray(GLenum array) {
  return array == GL_VERTEX_ARRAY || array == GL_COLOR_ARRAY || array == GL_NORMAL_ARRAY ||
         array == GL_TEXTURE_COORD_ARRAY || array == GL_INDEX_ARRAY || array == GL_EDGE_FLAG_ARRAY;
}

// Component j of vertex k of a float array, as glDrawArrays reads it.
float component(const RecordingGl::ClientArray& a, GLint k, int j) {
  const GLsizei stride = a.stride != 0 ? a.stride : a.size * GLsizei{sizeof(GLfloat)};
  float v = 0;
  std::memcpy(&v, static_cast<const unsigned char*>(a.pointer) + k * stride + j * sizeof v,
              sizeof v);
  return v;
}

}  // namespace

// The vertices glDrawArrays reads, where every enabled array it reads is usable.
void RecordingGl::Entry::captureArrays(RecordingGl& gl, GlCall& call, const void*) {
  const ClientArray& v = gl.vertexArray_;
  const ClientArray& c = gl.colourArray_;
  const bool colours = gl.clientEnabled_.contains(GL_COLOR_ARRAY);
  if (!gl.clientEnabled_.contains(GL_VERTEX_ARRAY) || v.pointer == nullptr) return;
  if (colours && c.pointer == nullptr) return;
  const auto first = arg<GLint>(call, 1);
  const auto count = arg<GLsizei>(call, 2);
  if (first < 0 || count < 0) return;
  for (GLint k = first; k < first + count; ++k) {
    Vertex out{component(v, k, 0), component(v, k, 1), v.size > 2 ? component(v, k, 2) : 0,
               gl.colour_};
    if (colours) out.colour = {component(c, k, 0), component(c, k, 1), component(c, k, 2)};
    call.arrayVertices.push_back(out);
  }
}

auto RecordingGl::Entry::drawArrays(RecordingGl& gl, const GlCall& call, void*, int depth)
    -> Answer {
  const auto mode = arg<GLenum>(call, 0);
  if (mode > GL_POLYGON) return misuse(gl, call, "unknown primitive");
  if (depth > 0) {
    // From a display list: the vertices as read when it was compiled.
    gl.blocksByMode_[mode].push_back({mode, call.arrayVertices, gl.record_.size() - 1});
    gl.blocks_.push_back(gl.blocksByMode_[mode].back());
    return {};
  }
  if (arg<GLint>(call, 1) < 0 || arg<GLsizei>(call, 2) < 0) {
    return misuse(gl, call, "negative first or count");
  }
  if (!gl.clientEnabled_.contains(GL_VERTEX_ARRAY)) {
    return misuse(gl, call, "glDrawArrays without the vertex array enabled");
  }
  if (gl.vertexArray_.pointer == nullptr) return misuse(gl, call, "no vertex pointer");
  const bool colours = gl.clientEnabled_.contains(GL_COLOR_ARRAY);
  if (colours && gl.colourArray_.pointer == nullptr) return misuse(gl, call, "no colour pointer");
  if (!colours && gl.colourUndefined_) {
    return misuse(gl, call, "current colour undefined after a colour array");
  }
  Block b{mode, call.arrayVertices, gl.record_.size() - 1};
  gl.blocksByMode_[mode].push_back(b);
  gl.blocks_.push_back(std::move(b));
  // GL leaves the current colour undefined after reading a colour array.
  if (colours) gl.colourUndefined_ = true;
  return {};
}

auto RecordingGl::Entry::arrayHandlers() -> Handlers {
  return {
      {"glEnableClientState",
       {nullptr,
        [](RecordingGl& gl, const GlCall& call, void*, int) -> Answer {
          if (!knownArray(arg<GLenum>(call, 0))) return misuse(gl, call, "unknown array");
          gl.clientEnabled_.insert(arg<GLenum>(call, 0));
          return {};
        }}},
      {"glDisableClientState",
       {nullptr,
        [](RecordingGl& gl, const GlCall& call, void*, int) -> Answer {
          if (!knownArray(arg<GLenum>(call, 0))) return misuse(gl, call, "unknown array");
          gl.clientEnabled_.erase(arg<GLenum>(call, 0));
          return {};
        }}},
      {"glVertexPointer",
       {[](RecordingGl& gl, GlCall& call, const void* in) {
          gl.vertexArray_ = {arg<GLint>(call, 0), arg<GLenum>(call, 1), arg<GLsizei>(call, 2), in};
        },
        [](RecordingGl& gl, const GlCall& call, void*, int) -> Answer {
          const ClientArray a = gl.vertexArray_;
          if (a.size < 2 || a.size > 4 || a.type != GL_FLOAT || a.stride < 0) {
            gl.vertexArray_ = {};
            return misuse(gl, call, "a vertex array the recorder does not read (float, 2 .. 4)");
          }
          return {};
        }}},
      {"glColorPointer",
       {[](RecordingGl& gl, GlCall& call, const void* in) {
          gl.colourArray_ = {arg<GLint>(call, 0), arg<GLenum>(call, 1), arg<GLsizei>(call, 2), in};
        },
        [](RecordingGl& gl, const GlCall& call, void*, int) -> Answer {
          const ClientArray a = gl.colourArray_;
          if (a.size != 3 || a.type != GL_FLOAT || a.stride < 0) {
            gl.colourArray_ = {};
            return misuse(gl, call, "a colour array the recorder does not read (float, 3)");
          }
          return {};
        }}},
      {"glDrawArrays", {&captureArrays, &drawArrays}},
  };
}

}  // namespace bandscope::test
