// What the display-list calls and the raster text drawn through them do to the recorder.

#include "support/recording_gl_entry.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace bandscope::test {
namespace {

// The value of type T at p, which need not be aligned, in the machine's byte order.
template <typename T>
T load(const unsigned char* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

}  // namespace

std::size_t RecordingGl::Entry::callListsItemSize(GLenum type) {
  switch (type) {
    case GL_BYTE:
    case GL_UNSIGNED_BYTE:
      return 1;
    case GL_SHORT:
    case GL_UNSIGNED_SHORT:
    case GL_2_BYTES:
      return 2;
    case GL_3_BYTES:
      return 3;
    case GL_INT:
    case GL_UNSIGNED_INT:
    case GL_FLOAT:
    case GL_4_BYTES:
      return 4;
    default:
      return 0;
  }
}

GLuint RecordingGl::Entry::callListsOffset(GLenum type, const unsigned char* p) {
  switch (type) {
    case GL_BYTE:
      return static_cast<GLuint>(static_cast<signed char>(p[0]));
    case GL_UNSIGNED_BYTE:
      return p[0];
    case GL_SHORT:
      return static_cast<GLuint>(load<GLshort>(p));
    case GL_UNSIGNED_SHORT:
      return load<GLushort>(p);
    case GL_INT:
      return static_cast<GLuint>(load<GLint>(p));
    case GL_UNSIGNED_INT:
      return load<GLuint>(p);
    case GL_FLOAT:
      return static_cast<GLuint>(static_cast<GLint>(load<GLfloat>(p)));
    default: {  // GL_n_BYTES: big-endian, whatever the machine
      GLuint v = 0;
      for (std::size_t i = 0; i < callListsItemSize(type); ++i) v = v * 256 + p[i];
      return v;
    }
  }
}

void RecordingGl::Entry::captureListNames(RecordingGl& gl, GlCall& call, const void* in) {
  const auto n = arg<GLsizei>(call, 0);
  const std::size_t size = callListsItemSize(arg<GLenum>(call, 1));
  if (n <= 0 || size == 0) return;
  if (in == nullptr) {
    gl.fail("glCallLists: no list names given for a count of " + std::to_string(n));
    return;
  }
  call.bytes.assign(static_cast<const char*>(in), static_cast<std::size_t>(n) * size);
}

void RecordingGl::Entry::captureBitmap(RecordingGl& gl, GlCall& call, const void* in) {
  const auto width = arg<GLsizei>(call, 0);
  const auto height = arg<GLsizei>(call, 1);
  if (width <= 0 || height <= 0) return;
  if (in == nullptr) {
    gl.fail("glBitmap: no bitmap given for " + std::to_string(width) + " x " +
            std::to_string(height));
    return;
  }
  if (pixelStore(gl, GL_UNPACK_SKIP_ROWS) != 0 || pixelStore(gl, GL_UNPACK_SKIP_PIXELS) != 0) {
    gl.fail("glBitmap: unpack skips are not modelled by the recorder");
    return;
  }
  const auto rowBytes = static_cast<std::size_t>(width + 7) / 8;
  const GLint rowLength = pixelStore(gl, GL_UNPACK_ROW_LENGTH);
  const std::size_t stride =
      rowStride(rowLength > 0 ? static_cast<std::size_t>(rowLength + 7) / 8 : rowBytes,
                pixelStore(gl, GL_UNPACK_ALIGNMENT));
  const auto* bytes = static_cast<const std::uint8_t*>(in);
  for (std::size_t row = 0; row < static_cast<std::size_t>(height); ++row) {
    call.bitmap.insert(call.bitmap.end(), bytes + row * stride, bytes + row * stride + rowBytes);
  }
}

auto RecordingGl::Entry::callLists(RecordingGl& gl, const GlCall& call, void*, int depth)
    -> Answer {
  const auto type = arg<GLenum>(call, 1);
  const std::size_t size = callListsItemSize(type);
  if (arg<GLsizei>(call, 0) < 0 || size == 0) {
    return misuse(gl, call, "negative count or unknown type");
  }
  if (depth >= kMaxListNesting) return misuse(gl, call, "display lists nested too deep");
  const auto* names = reinterpret_cast<const unsigned char*>(call.bytes.data());
  for (std::size_t i = 0; i + size <= call.bytes.size(); i += size) {
    const GLuint list = gl.listBase_ + callListsOffset(type, names + i);
    const auto it = gl.lists_.find(list);
    if (it == gl.lists_.end()) continue;  // GL skips names without a list
    const std::vector<GlCall> body = it->second;
    for (GlCall inner : body) {
      inner.colour = gl.colour_;
      inner.list = list;
      execute(gl, inner, semanticsOf(inner.name), nullptr, depth + 1);
    }
  }
  return {};
}

// Display lists.
auto RecordingGl::Entry::listHandlers() -> Handlers {
  return {
      {"glGenLists",
       {nullptr,
        [](RecordingGl& gl, const GlCall& call, void*, int) -> Answer {
          const auto range = arg<GLsizei>(call, 0);
          if (range < 0) misuse(gl, call, "negative range");
          if (range <= 0) return {};
          const GLuint first = gl.nextList_;
          gl.nextList_ += static_cast<GLuint>(range);
          return {static_cast<double>(first)};
        }}},
      {"glNewList",
       {nullptr,
        [](RecordingGl& gl, const GlCall& call, void*, int) -> Answer {
          const auto list = arg<GLuint>(call, 0);
          const auto mode = arg<GLenum>(call, 1);
          if (gl.compiling_ != 0) {
            misuse(gl, call, "glNewList while another list is being compiled");
          } else if (list == 0) {
            misuse(gl, call, "list 0");
          } else if (mode != GL_COMPILE && mode != GL_COMPILE_AND_EXECUTE) {
            misuse(gl, call, "unknown list mode");
          } else {
            gl.compiling_ = list;
            gl.compileMode_ = mode;
            gl.compiled_.clear();
          }
          return {};
        }}},
      {"glEndList",
       {nullptr,
        [](RecordingGl& gl, const GlCall& call, void*, int) -> Answer {
          if (gl.compiling_ == 0) return misuse(gl, call, "glEndList without glNewList");
          gl.lists_[gl.compiling_] = std::move(gl.compiled_);
          gl.compiled_.clear();
          gl.compiling_ = 0;
          return {};
        }}},
      {"glListBase",
       {nullptr,
        [](RecordingGl& gl, const GlCall& call, void*, int) -> Answer {
          gl.listBase_ = arg<GLuint>(call, 0);
          return {};
        }}},
      {"glCallLists", {&captureListNames, &callLists}},
  };
}

// Text: the raster position and the bitmaps of its glyphs.
auto RecordingGl::Entry::rasterHandlers() -> Handlers {
  return {
      {"glRasterPos2f",
       {nullptr,
        [](RecordingGl& gl, const GlCall& call, void*, int) -> Answer {
          gl.raster_ = {arg<float>(call, 0), arg<float>(call, 1), gl.colour_};
          return {};
        }}},
      {"glBitmap",
       {&captureBitmap,
        [](RecordingGl& gl, const GlCall& call, void*, int) -> Answer {
          if (arg<GLsizei>(call, 0) < 0 || arg<GLsizei>(call, 1) < 0) {
            return misuse(gl, call, "negative bitmap size");
          }
          return {};
        }}},
  };
}

}  // namespace bandscope::test
