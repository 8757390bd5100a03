// What the enable, attribute-stack and query calls do to the recorder.

#include "support/recording_gl_entry.h"

#include <cstring>
#include <optional>
#include <vector>

namespace bandscope::test {

// The depths of the matrix and attribute stacks and the limits of all stacks.
auto RecordingGl::Entry::stackQuery(const RecordingGl& gl, GLenum pname) -> std::optional<GLint> {
  switch (pname) {
    case GL_MODELVIEW_STACK_DEPTH:
      return gl.modelView_ + 1;
    case GL_PROJECTION_STACK_DEPTH:
      return gl.projection_ + 1;
    case GL_TEXTURE_STACK_DEPTH:
      return gl.texture_ + 1;
    case GL_ATTRIB_STACK_DEPTH:
      return gl.attribDepth();
    case GL_MAX_MODELVIEW_STACK_DEPTH:
      return kMaxModelViewPushes + 1;
    case GL_MAX_PROJECTION_STACK_DEPTH:
      return kMaxProjectionPushes + 1;
    case GL_MAX_TEXTURE_STACK_DEPTH:
      return kMaxTexturePushes + 1;
    case GL_MAX_ATTRIB_STACK_DEPTH:
      return kMaxAttribPushes;
    case GL_MAX_LIST_NESTING:
      return kMaxListNesting;
    default:
      return std::nullopt;
  }
}

auto RecordingGl::Entry::getIntegerv(RecordingGl& gl, const GlCall& call, void* out, int)
    -> Answer {
  std::vector<GLint> values;
  const auto pname = arg<GLenum>(call, 0);
  switch (pname) {
    case GL_VIEWPORT:
      values.assign(gl.viewport_.begin(), gl.viewport_.end());
      break;
    case GL_MATRIX_MODE:
      values = {static_cast<GLint>(gl.matrixMode_)};
      break;
    case GL_LIST_BASE:
      values = {static_cast<GLint>(gl.listBase_)};
      break;
    case GL_LIST_INDEX:
      values = {static_cast<GLint>(gl.compiling_)};
      break;
    case GL_LIST_MODE:
      values = {static_cast<GLint>(gl.compiling_ != 0 ? gl.compileMode_ : 0)};
      break;
    case GL_READ_BUFFER:
      values = {static_cast<GLint>(gl.readBuffer_)};
      break;
    case GL_PACK_SWAP_BYTES:
    case GL_PACK_LSB_FIRST:
    case GL_PACK_ROW_LENGTH:
    case GL_PACK_SKIP_ROWS:
    case GL_PACK_SKIP_PIXELS:
    case GL_PACK_ALIGNMENT:
    case GL_UNPACK_SWAP_BYTES:
    case GL_UNPACK_LSB_FIRST:
    case GL_UNPACK_ROW_LENGTH:
    case GL_UNPACK_SKIP_ROWS:
    case GL_UNPACK_SKIP_PIXELS:
    case GL_UNPACK_ALIGNMENT:
      values = {pixelStore(gl, pname)};
      break;
    default:
      if (const std::optional<GLint> stack = stackQuery(gl, pname)) {
        values = {*stack};
        break;
      }
      return misuse(gl, call, "a query the recorder does not answer");
  }
  if (out == nullptr) return misuse(gl, call, "no place for the answer");
  std::memcpy(out, values.data(), values.size() * sizeof(GLint));
  return {};
}

auto RecordingGl::Entry::pushAttrib(RecordingGl& gl, const GlCall& call, void*, int) -> Answer {
  if (gl.attribDepth() >= kMaxAttribPushes) return misuse(gl, call, "attribute stack overflow");
  gl.attribStack_.push_back({arg<GLbitfield>(call, 0), gl.enabled_, gl.colour_, gl.raster_,
                             gl.matrixMode_, gl.viewport_, gl.listBase_});
  return {};
}

auto RecordingGl::Entry::popAttrib(RecordingGl& gl, const GlCall& call, void*, int) -> Answer {
  if (gl.attribStack_.empty()) return misuse(gl, call, "attribute stack underflow");
  const Saved s = std::move(gl.attribStack_.back());
  gl.attribStack_.pop_back();
  if (s.mask & GL_CURRENT_BIT) {
    gl.colour_ = s.colour;
    gl.colourUndefined_ = false;
    gl.raster_ = s.raster;
  }
  if (s.mask & GL_ENABLE_BIT) gl.enabled_ = s.enabled;
  if (s.mask & GL_TRANSFORM_BIT) gl.matrixMode_ = s.matrixMode;
  if (s.mask & GL_VIEWPORT_BIT) gl.viewport_ = s.viewport;
  if (s.mask & GL_LIST_BIT) gl.listBase_ = s.listBase;
  return {};
}

// State: capabilities, the attribute stack and queries.
auto RecordingGl::Entry::stateHandlers() -> Handlers {
  return {
      {"glEnable",
       {nullptr,
        [](RecordingGl& gl, const GlCall& call, void*, int) -> Answer {
          gl.enabled_.insert(arg<GLenum>(call, 0));
          return {};
        }}},
      {"glDisable",
       {nullptr,
        [](RecordingGl& gl, const GlCall& call, void*, int) -> Answer {
          gl.enabled_.erase(arg<GLenum>(call, 0));
          return {};
        }}},
      {"glIsEnabled",
       {nullptr,
        [](RecordingGl& gl, const GlCall& call, void*, int) -> Answer {
          return {gl.isEnabled(arg<GLenum>(call, 0)) ? 1.0 : 0.0};
        }}},
      {"glPushAttrib", {nullptr, &pushAttrib}},
      {"glPopAttrib", {nullptr, &popAttrib}},
      {"glGetError", {nullptr, nullptr}},  // GL_NO_ERROR: misuse is reported instead
      {"glGetString",
       {nullptr,
        [](RecordingGl& gl, const GlCall& call, void*, int) -> Answer {
          const auto it = gl.strings_.find(arg<GLenum>(call, 0));
          if (it == gl.strings_.end()) return misuse(gl, call, "unknown string name");
          return {0, it->second.c_str()};
        }}},
      {"glGetIntegerv", {nullptr, &getIntegerv}},
  };
}

}  // namespace bandscope::test
