// What the pixel-store and read-back calls do to the recorder.

#include "support/recording_gl_entry.h"

#include <cstring>

namespace bandscope::test {

GLint RecordingGl::Entry::pixelStore(const RecordingGl& gl, GLenum pname) {
  const auto it = gl.pixelStore_.find(pname);
  if (it != gl.pixelStore_.end()) return it->second;
  return pname == GL_PACK_ALIGNMENT || pname == GL_UNPACK_ALIGNMENT ? 4 : 0;
}

std::size_t RecordingGl::Entry::rowStride(std::size_t rowBytes, GLint alignment) {
  const auto a = static_cast<std::size_t>(alignment);
  return (rowBytes + a - 1) / a * a;
}

// Values per pixel of a read-back format; 0 for one the recorder does not take.
std::size_t RecordingGl::Entry::pixelComponents(GLenum format) {
  switch (format) {
    case GL_RGB:
    case GL_BGR:
      return 3;
    case GL_RGBA:
    case GL_BGRA:
      return 4;
    case GL_LUMINANCE_ALPHA:
      return 2;
    case GL_RED:
    case GL_GREEN:
    case GL_BLUE:
    case GL_ALPHA:
    case GL_LUMINANCE:
    case GL_DEPTH_COMPONENT:
    case GL_STENCIL_INDEX:
    case GL_COLOR_INDEX:
      return 1;
    default:
      return 0;
  }
}

auto RecordingGl::Entry::readPixels(RecordingGl& gl, const GlCall& call, void* out, int) -> Answer {
  const auto width = arg<GLsizei>(call, 2);
  const auto height = arg<GLsizei>(call, 3);
  const std::size_t components = pixelComponents(arg<GLenum>(call, 4));
  const GLenum type = arg<GLenum>(call, 5);
  const std::size_t bytes = type == GL_FLOAT || type == GL_INT || type == GL_UNSIGNED_INT ? 4
                            : type == GL_SHORT || type == GL_UNSIGNED_SHORT               ? 2
                            : type == GL_BYTE || type == GL_UNSIGNED_BYTE                 ? 1
                                                                                          : 0;
  if (components == 0 || bytes == 0 || width < 0 || height < 0) {
    return misuse(gl, call, "unsupported format or type, or negative size");
  }
  if (pixelStore(gl, GL_PACK_SKIP_ROWS) != 0 || pixelStore(gl, GL_PACK_SKIP_PIXELS) != 0) {
    return misuse(gl, call, "pack skips are not modelled by the recorder");
  }
  if (width == 0 || height == 0) return {};
  if (out == nullptr) return misuse(gl, call, "no place for the pixels");
  const std::size_t pixel = components * bytes;
  const GLint rowLength = pixelStore(gl, GL_PACK_ROW_LENGTH);
  const std::size_t stride =
      rowStride(static_cast<std::size_t>(rowLength > 0 ? rowLength : width) * pixel,
                pixelStore(gl, GL_PACK_ALIGNMENT));
  auto* rows = static_cast<unsigned char*>(out);
  for (std::size_t row = 0; row < static_cast<std::size_t>(height); ++row) {
    std::memset(rows + row * stride, 0, static_cast<std::size_t>(width) * pixel);
  }
  return {};
}

auto RecordingGl::Entry::pixelStorei(RecordingGl& gl, const GlCall& call, void*, int) -> Answer {
  const auto pname = arg<GLenum>(call, 0);
  const auto value = arg<GLint>(call, 1);
  switch (pname) {
    case GL_PACK_ALIGNMENT:
    case GL_UNPACK_ALIGNMENT:
      if (value != 1 && value != 2 && value != 4 && value != 8) {
        return misuse(gl, call, "alignment must be 1, 2, 4 or 8");
      }
      break;
    case GL_PACK_SWAP_BYTES:
    case GL_PACK_LSB_FIRST:
    case GL_UNPACK_SWAP_BYTES:
    case GL_UNPACK_LSB_FIRST:
      break;
    case GL_PACK_ROW_LENGTH:
    case GL_PACK_SKIP_ROWS:
    case GL_PACK_SKIP_PIXELS:
    case GL_UNPACK_ROW_LENGTH:
    case GL_UNPACK_SKIP_ROWS:
    case GL_UNPACK_SKIP_PIXELS:
      if (value < 0) return misuse(gl, call, "negative value");
      break;
    default:
      return misuse(gl, call, "unknown pixel-store parameter");
  }
  gl.pixelStore_[pname] = value;
  return {};
}

// Pixels and read-back.
auto RecordingGl::Entry::pixelHandlers() -> Handlers {
  return {
      {"glPixelStorei", {nullptr, &pixelStorei}},
      {"glReadPixels", {nullptr, &readPixels}},
      {"glReadBuffer",
       {nullptr,
        [](RecordingGl& gl, const GlCall& call, void*, int) -> Answer {
          gl.readBuffer_ = arg<GLenum>(call, 0);
          return {};
        }}},
  };
}

}  // namespace bandscope::test
