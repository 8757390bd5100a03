#include "support/recording_gl.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <type_traits>
#include <utility>

namespace bandscope::test {
namespace {

thread_local RecordingGl* active = nullptr;

// GL's smallest allowed stack sizes, counting the base matrix; the attribute stack has none.
constexpr int kMaxModelViewPushes = 31;
constexpr int kMaxProjectionPushes = 1;
constexpr int kMaxTexturePushes = 1;
constexpr int kMaxAttribPushes = 16;
constexpr int kMaxListNesting = 64;

bool digitAfter(std::string_view name, std::string_view prefix) {
  return name.size() > prefix.size() && name.starts_with(prefix) && name[prefix.size()] >= '1' &&
         name[prefix.size()] <= '4';
}

// GL 1.1 takes only per-vertex data between glBegin and glEnd. It would also take lists
// of such data, but text lists hold bitmaps, so glCallLists there is treated as misuse.
bool allowedInPrimitive(std::string_view name) {
  static const std::set<std::string_view> exact{
      "glEnd",       "glEdgeFlag",   "glEdgeFlagv", "glArrayElement", "glMaterialf", "glMaterialfv",
      "glMateriali", "glMaterialiv", "glIndexd",    "glIndexf",       "glIndexi",    "glIndexs",
      "glIndexub",   "glIndexdv",    "glIndexfv",   "glIndexiv",      "glIndexsv",   "glIndexubv"};
  return exact.contains(name) || digitAfter(name, "glVertex") || digitAfter(name, "glColor") ||
         digitAfter(name, "glNormal") || digitAfter(name, "glTexCoord") ||
         digitAfter(name, "glEvalCoord") || digitAfter(name, "glEvalPoint");
}

// Commands that run at once even while a display list is being compiled.
bool compilable(std::string_view name) {
  static const std::set<std::string_view> immediate{"glGenLists",
                                                    "glDeleteLists",
                                                    "glNewList",
                                                    "glEndList",
                                                    "glPixelStorei",
                                                    "glPixelStoref",
                                                    "glReadPixels",
                                                    "glFinish",
                                                    "glFlush",
                                                    "glRenderMode",
                                                    "glFeedbackBuffer",
                                                    "glSelectBuffer",
                                                    "glEnableClientState",
                                                    "glDisableClientState"};
  return !(name.starts_with("glGet") || name.starts_with("glIs") || immediate.contains(name));
}

std::string joined(const std::vector<std::string>& parts) {
  std::string out;
  for (const std::string& p : parts) out += (out.empty() ? "" : "; ") + p;
  return out;
}

}  // namespace

struct RecordingGl::Entry {
  struct Pointers {
    const void* in = nullptr;  // data GL reads
    void* out = nullptr;       // where GL writes its answer
  };
  struct Answer {
    double number = 0;
    const void* pointer = nullptr;
  };
  using Capture = void (*)(RecordingGl&, GlCall&, const void* in);
  using Run = Answer (*)(RecordingGl&, const GlCall&, void* out, int depth);
  struct Semantics {
    Capture capture = nullptr;  // copies what GL reads through a pointer, at call time
    Run run = nullptr;          // the effect on the state, when the call runs
    bool compiled = true;
    bool inPrimitive = false;
  };

  template <typename T>
  static T arg(const GlCall& call, std::size_t i) {
    return i < call.args.size() ? static_cast<T>(call.args[i]) : T{};
  }

  // GL ignores a command in error, and so does the recorder after reporting it.
  static Answer misuse(const RecordingGl& gl, const GlCall& call, std::string_view what) {
    std::ostringstream m;
    m << call << ": " << what;
    gl.fail(m.str());
    return {};
  }

  static GLint pixelStore(const RecordingGl& gl, GLenum pname) {
    const auto it = gl.pixelStore_.find(pname);
    if (it != gl.pixelStore_.end()) return it->second;
    return pname == GL_PACK_ALIGNMENT || pname == GL_UNPACK_ALIGNMENT ? 4 : 0;
  }

  // Bytes from one row's start to the next under the given row length and alignment.
  static std::size_t rowStride(std::size_t rowBytes, GLint alignment) {
    const auto a = static_cast<std::size_t>(alignment);
    return (rowBytes + a - 1) / a * a;
  }

  struct Stack {
    int& depth;
    int max;
    const char* name;
  };
  static Stack matrixStack(RecordingGl& gl) {
    switch (gl.matrixMode_) {
      case GL_PROJECTION:
        return {gl.projection_, kMaxProjectionPushes, "projection"};
      case GL_TEXTURE:
        return {gl.texture_, kMaxTexturePushes, "texture"};
      default:
        return {gl.modelView_, kMaxModelViewPushes, "model-view"};
    }
  }

  static std::size_t callListsItemSize(GLenum type) {
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

  static GLuint callListsOffset(GLenum type, const unsigned char* p) {
    switch (type) {
      case GL_BYTE:
        return static_cast<GLuint>(static_cast<signed char>(p[0]));
      case GL_UNSIGNED_BYTE:
        return p[0];
      case GL_SHORT: {
        GLshort v;
        std::memcpy(&v, p, sizeof v);
        return static_cast<GLuint>(v);
      }
      case GL_UNSIGNED_SHORT: {
        GLushort v;
        std::memcpy(&v, p, sizeof v);
        return v;
      }
      case GL_INT: {
        GLint v;
        std::memcpy(&v, p, sizeof v);
        return static_cast<GLuint>(v);
      }
      case GL_UNSIGNED_INT: {
        GLuint v;
        std::memcpy(&v, p, sizeof v);
        return v;
      }
      case GL_FLOAT: {
        GLfloat v;
        std::memcpy(&v, p, sizeof v);
        return static_cast<GLuint>(static_cast<GLint>(v));
      }
      default: {  // GL_n_BYTES: big-endian, whatever the machine
        GLuint v = 0;
        for (std::size_t i = 0; i < callListsItemSize(type); ++i) v = v * 256 + p[i];
        return v;
      }
    }
  }

  static void captureListNames(RecordingGl& gl, GlCall& call, const void* in) {
    const auto n = arg<GLsizei>(call, 0);
    const std::size_t size = callListsItemSize(arg<GLenum>(call, 1));
    if (n <= 0 || size == 0) return;
    if (in == nullptr) {
      gl.fail("glCallLists: no list names given for a count of " + std::to_string(n));
      return;
    }
    call.bytes.assign(static_cast<const char*>(in), static_cast<std::size_t>(n) * size);
  }

  static void captureBitmap(RecordingGl& gl, GlCall& call, const void* in) {
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

  static Answer callLists(RecordingGl& gl, const GlCall& call, void*, int depth) {
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

  static Answer readPixels(RecordingGl& gl, const GlCall& call, void* out, int) {
    const auto width = arg<GLsizei>(call, 2);
    const auto height = arg<GLsizei>(call, 3);
    std::size_t components = 0;
    switch (arg<GLenum>(call, 4)) {
      case GL_RGB:
      case GL_BGR:
        components = 3;
        break;
      case GL_RGBA:
      case GL_BGRA:
        components = 4;
        break;
      case GL_LUMINANCE_ALPHA:
        components = 2;
        break;
      case GL_RED:
      case GL_GREEN:
      case GL_BLUE:
      case GL_ALPHA:
      case GL_LUMINANCE:
      case GL_DEPTH_COMPONENT:
      case GL_STENCIL_INDEX:
      case GL_COLOR_INDEX:
        components = 1;
        break;
      default:
        break;
    }
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

  static Answer getIntegerv(RecordingGl& gl, const GlCall& call, void* out, int) {
    std::vector<GLint> values;
    const auto pname = arg<GLenum>(call, 0);
    switch (pname) {
      case GL_VIEWPORT:
        values.assign(gl.viewport_.begin(), gl.viewport_.end());
        break;
      case GL_MATRIX_MODE:
        values = {static_cast<GLint>(gl.matrixMode_)};
        break;
      case GL_MODELVIEW_STACK_DEPTH:
        values = {gl.modelView_ + 1};
        break;
      case GL_PROJECTION_STACK_DEPTH:
        values = {gl.projection_ + 1};
        break;
      case GL_TEXTURE_STACK_DEPTH:
        values = {gl.texture_ + 1};
        break;
      case GL_ATTRIB_STACK_DEPTH:
        values = {gl.attribDepth()};
        break;
      case GL_MAX_MODELVIEW_STACK_DEPTH:
        values = {kMaxModelViewPushes + 1};
        break;
      case GL_MAX_PROJECTION_STACK_DEPTH:
        values = {kMaxProjectionPushes + 1};
        break;
      case GL_MAX_TEXTURE_STACK_DEPTH:
        values = {kMaxTexturePushes + 1};
        break;
      case GL_MAX_ATTRIB_STACK_DEPTH:
        values = {kMaxAttribPushes};
        break;
      case GL_MAX_LIST_NESTING:
        values = {kMaxListNesting};
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
        return misuse(gl, call, "a query the recorder does not answer");
    }
    if (out == nullptr) return misuse(gl, call, "no place for the answer");
    std::memcpy(out, values.data(), values.size() * sizeof(GLint));
    return {};
  }

  static Answer pixelStorei(RecordingGl& gl, const GlCall& call, void*, int) {
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

  static Answer pushAttrib(RecordingGl& gl, const GlCall& call, void*, int) {
    if (gl.attribDepth() >= kMaxAttribPushes) return misuse(gl, call, "attribute stack overflow");
    gl.attribStack_.push_back({arg<GLbitfield>(call, 0), gl.enabled_, gl.colour_, gl.raster_,
                               gl.matrixMode_, gl.viewport_, gl.listBase_});
    return {};
  }

  static Answer popAttrib(RecordingGl& gl, const GlCall& call, void*, int) {
    if (gl.attribStack_.empty()) return misuse(gl, call, "attribute stack underflow");
    const Saved s = std::move(gl.attribStack_.back());
    gl.attribStack_.pop_back();
    if (s.mask & GL_CURRENT_BIT) {
      gl.colour_ = s.colour;
      gl.raster_ = s.raster;
    }
    if (s.mask & GL_ENABLE_BIT) gl.enabled_ = s.enabled;
    if (s.mask & GL_TRANSFORM_BIT) gl.matrixMode_ = s.matrixMode;
    if (s.mask & GL_VIEWPORT_BIT) gl.viewport_ = s.viewport;
    if (s.mask & GL_LIST_BIT) gl.listBase_ = s.listBase;
    return {};
  }

  static Semantics semanticsOf(std::string_view name) {
    static const std::map<std::string_view, std::pair<Capture, Run>> handlers{
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
            gl.open_->vertices.push_back(
                {arg<float>(call, 0), arg<float>(call, 1), arg<float>(call, 2), gl.colour_});
            return {};
          }}},
        {"glColor3f",
         {nullptr,
          [](RecordingGl& gl, const GlCall& call, void*, int) -> Answer {
            gl.colour_ = {arg<float>(call, 0), arg<float>(call, 1), arg<float>(call, 2)};
            return {};
          }}},
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
        {"glPixelStorei", {nullptr, &pixelStorei}},
        {"glReadPixels", {nullptr, &readPixels}},
        {"glReadBuffer",
         {nullptr,
          [](RecordingGl& gl, const GlCall& call, void*, int) -> Answer {
            gl.readBuffer_ = arg<GLenum>(call, 0);
            return {};
          }}},
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
    Semantics s;
    s.compiled = compilable(name);
    s.inPrimitive = allowedInPrimitive(name);
    if (const auto it = handlers.find(name); it != handlers.end()) {
      s.capture = it->second.first;
      s.run = it->second.second;
    }
    return s;
  }

  static Answer execute(RecordingGl& gl, const GlCall& call, const Semantics& s, void* out,
                        int depth) {
    if (gl.open_ && !s.inPrimitive) {
      return misuse(
          gl, call,
          call.name == "glBegin" ? "nested glBegin" : "not allowed between glBegin and glEnd");
    }
    if (call.name != "glCallLists") gl.executed_.push_back(call);
    return s.run != nullptr ? s.run(gl, call, out, depth) : Answer{};
  }

  static Answer dispatch(const Semantics& s, GlCall call, const Pointers& p) {
    RecordingGl* gl = active;
    if (gl == nullptr) {
      ADD_FAILURE() << call.name << " called with no RecordingGl active";
      return {};
    }
    if (s.capture != nullptr) s.capture(*gl, call, p.in);
    call.colour = gl->colour_;
    const bool compiling = gl->compiling_ != 0 && s.compiled;
    if (compiling) {
      call.list = gl->compiling_;
      gl->compiled_.push_back(call);
    }
    gl->record_.push_back(std::move(call));
    if (compiling && gl->compileMode_ == GL_COMPILE) return {};
    return execute(*gl, gl->record_.back(), s, p.out, 0);
  }

  template <typename T>
  static void collect(GlCall& call, Pointers& p, T value) {
    if constexpr (!std::is_pointer_v<T>) {
      call.args.push_back(static_cast<double>(value));
    } else if constexpr (std::is_const_v<std::remove_pointer_t<T>>) {
      p.in = value;
    } else {
      p.out = value;
    }
  }

  template <typename R, typename... A>
  static R relay(const char* name, const Semantics& s, A... a) {
    GlCall call;
    call.name = name;
    Pointers p;
    (collect(call, p, a), ...);
    [[maybe_unused]] const Answer answer = dispatch(s, std::move(call), p);
    if constexpr (std::is_pointer_v<R>) {
      return static_cast<R>(answer.pointer);
    } else if constexpr (!std::is_void_v<R>) {
      return static_cast<R>(answer.number);
    }
  }

  static const GlTable& table() {
    static const GlTable t = [] {
      GlTable g;
      // The closure converts to the entry's pointer type, which fixes its parameters.
#define BANDSCOPE_RECORD(ret, name, params)        \
  g.name = [](auto... a) -> ret {                  \
    static const Semantics s = semanticsOf(#name); \
    return relay<ret>(#name, s, a...);             \
  };
      BANDSCOPE_GL_ENTRY_POINTS(BANDSCOPE_RECORD)
      BANDSCOPE_GLU_ENTRY_POINTS(BANDSCOPE_RECORD)
#undef BANDSCOPE_RECORD
      return g;
    }();
    return t;
  }
};

RecordingGl::RecordingGl(std::source_location where) : where_(where), previous_(active) {
  strings_ = {{GL_VENDOR, "bandscope tests"},
              {GL_RENDERER, "RecordingGl"},
              {GL_VERSION, "1.1.0"},
              {GL_EXTENSIONS, ""}};
  active = this;
}

RecordingGl::~RecordingGl() {
  expectBalanced(where_);
  if (active != this) fail("RecordingGl destroyed while a later one is still active");
  active = previous_;
}

const GlTable& RecordingGl::table() const {
  return Entry::table();
}

std::vector<GlCall> RecordingGl::calls(std::string_view name) const {
  std::vector<GlCall> out;
  for (const GlCall& c : record_) {
    if (c.name == name) out.push_back(c);
  }
  return out;
}

std::size_t RecordingGl::count(std::string_view name) const {
  std::size_t n = 0;
  for (const GlCall& c : record_) n += c.name == name ? 1 : 0;
  return n;
}

std::vector<GlCall> RecordingGl::expanded(std::string_view name) const {
  std::vector<GlCall> out;
  for (const GlCall& c : executed_) {
    if (c.name == name) out.push_back(c);
  }
  return out;
}

const std::vector<Block>& RecordingGl::blocks(GLenum mode) const {
  static const std::vector<Block> none;
  const auto it = blocksByMode_.find(mode);
  return it != blocksByMode_.end() ? it->second : none;
}

void RecordingGl::clear() {
  record_.clear();
  executed_.clear();
  blocks_.clear();
  blocksByMode_.clear();
  if (open_) open_->vertices.clear();
}

void RecordingGl::expectBalanced(std::source_location where) const {
  std::vector<std::string> problems;
  if (open_) problems.push_back("glBegin(" + std::to_string(open_->mode) + ") without glEnd");
  if (compiling_ != 0) {
    problems.push_back("glNewList(" + std::to_string(compiling_) + ") without glEndList");
  }
  const std::pair<int, const char*> stacks[] = {{modelView_, "model-view matrix"},
                                                {projection_, "projection matrix"},
                                                {texture_, "texture matrix"},
                                                {attribDepth(), "attribute"}};
  for (const auto& [depth, name] : stacks) {
    if (depth != 0) {
      problems.push_back(std::string(name) + " stack " + std::to_string(depth) +
                         " push(es) above its base");
    }
  }
  if (!problems.empty()) {
    ADD_FAILURE_AT(where.file_name(), static_cast<int>(where.line()))
        << "GL left unbalanced: " << joined(problems);
  }
}

std::optional<GLenum> RecordingGl::openPrimitive() const {
  return open_ ? std::optional<GLenum>(open_->mode) : std::nullopt;
}

std::optional<GLuint> RecordingGl::compilingList() const {
  return compiling_ != 0 ? std::optional<GLuint>(compiling_) : std::nullopt;
}

std::vector<GlCall> RecordingGl::listCalls(GLuint list) const {
  const auto it = lists_.find(list);
  return it != lists_.end() ? it->second : std::vector<GlCall>{};
}

void RecordingGl::setString(GLenum name, std::string text) {
  strings_[name] = std::move(text);
}

void RecordingGl::fail(const std::string& message) const {
  ADD_FAILURE_AT(where_.file_name(), static_cast<int>(where_.line())) << message;
}

std::ostream& operator<<(std::ostream& out, const Colour& c) {
  return out << "(" << c.red << ", " << c.green << ", " << c.blue << ")";
}

std::ostream& operator<<(std::ostream& out, const Vertex& v) {
  return out << "(" << v.x << ", " << v.y << ", " << v.z << ") colour " << v.colour;
}

std::ostream& operator<<(std::ostream& out, const GlCall& call) {
  out << call.name << "(";
  for (std::size_t i = 0; i < call.args.size(); ++i) out << (i ? ", " : "") << call.args[i];
  out << ")";
  if (!call.bytes.empty()) out << " \"" << call.bytes << "\"";
  if (!call.bitmap.empty()) out << " [" << call.bitmap.size() << " bitmap bytes]";
  if (call.list != 0) out << " in list " << call.list;
  return out;
}

}  // namespace bandscope::test
