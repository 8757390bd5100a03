// What glBegin, glEnd and the per-vertex calls do to the recorder.

#include "support/recording_gl_entry.h"

namespace bandscope::test {

// Primitives and vertices.
auto RecordingGl::Entry::primitiveHandlers() -> Handlers {
  return {
      {"glBegin",
       {nullptr,
        [](RecordingGl& gl, const GlCall& call, void*, int) -> Answer {
          const auto mode = arg<GLenum>(call, 0);
          if (mode > GL_POLYGON) return misuse(gl, call, "unknown primitive");
          gl.open_ = Block{mode, {}, gl.record_.size() - 1};
          return {};
        }}},
      {"glEnd",
       {nullptr,
        [](RecordingGl& gl, const GlCall& call, void*, int) -> Answer {
          if (!gl.open_) return misuse(gl, call, "glEnd without glBegin");
          gl.blocksByMode_[gl.open_->mode].push_back(*gl.open_);
          gl.blocks_.push_back(std::move(*gl.open_));
          gl.open_.reset();
          return {};
        }}},
      {"glVertex3f",
       {nullptr,
        [](RecordingGl& gl, const GlCall& call, void*, int) -> Answer {
          if (!gl.open_) return misuse(gl, call, "vertex outside glBegin/glEnd");
          if (gl.colourUndefined_) {
            return misuse(gl, call, "current colour undefined after a colour array");
          }
          gl.open_->vertices.push_back(
              {arg<float>(call, 0), arg<float>(call, 1), arg<float>(call, 2), gl.colour_});
          return {};
        }}},
      {"glColor3f",
       {nullptr,
        [](RecordingGl& gl, const GlCall& call, void*, int) -> Answer {
          gl.colour_ = {arg<float>(call, 0), arg<float>(call, 1), arg<float>(call, 2)};
          gl.colourUndefined_ = false;
          return {};
        }}},
  };
}

}  // namespace bandscope::test
