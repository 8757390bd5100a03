// What the matrix-stack and viewport calls do to the recorder.

#include "support/recording_gl_entry.h"

#include <string>

namespace bandscope::test {

auto RecordingGl::Entry::matrixStack(RecordingGl& gl) -> Stack {
  switch (gl.matrixMode_) {
    case GL_PROJECTION:
      return {gl.projection_, kMaxProjectionPushes, "projection"};
    case GL_TEXTURE:
      return {gl.texture_, kMaxTexturePushes, "texture"};
    default:
      return {gl.modelView_, kMaxModelViewPushes, "model-view"};
  }
}

// Matrices and transforms.
auto RecordingGl::Entry::transformHandlers() -> Handlers {
  return {
      {"glPushMatrix",
       {nullptr,
        [](RecordingGl& gl, const GlCall& call, void*, int) -> Answer {
          const Stack s = matrixStack(gl);
          if (s.depth >= s.max) return misuse(gl, call, std::string(s.name) + " stack overflow");
          ++s.depth;
          return {};
        }}},
      {"glPopMatrix",
       {nullptr,
        [](RecordingGl& gl, const GlCall& call, void*, int) -> Answer {
          const Stack s = matrixStack(gl);
          if (s.depth == 0) return misuse(gl, call, std::string(s.name) + " stack underflow");
          --s.depth;
          return {};
        }}},
      {"glMatrixMode",
       {nullptr,
        [](RecordingGl& gl, const GlCall& call, void*, int) -> Answer {
          const auto mode = arg<GLenum>(call, 0);
          if (mode != GL_MODELVIEW && mode != GL_PROJECTION && mode != GL_TEXTURE) {
            return misuse(gl, call, "unknown matrix mode");
          }
          gl.matrixMode_ = mode;
          return {};
        }}},
      {"glViewport",
       {nullptr,
        [](RecordingGl& gl, const GlCall& call, void*, int) -> Answer {
          if (arg<GLsizei>(call, 2) < 0 || arg<GLsizei>(call, 3) < 0) {
            return misuse(gl, call, "negative viewport size");
          }
          gl.viewport_ = {arg<GLint>(call, 0), arg<GLint>(call, 1), arg<GLint>(call, 2),
                          arg<GLint>(call, 3)};
          return {};
        }}},
  };
}

}  // namespace bandscope::test
