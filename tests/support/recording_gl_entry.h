#pragma once
// Private to the recorder: the table's functions and what each GL call does to the recorded
// state, split by entry-point group into recording_gl_semantics_*.cpp.
//
// Everything here runs inside a table function, on the thread whose recorder is active.

#include <cstddef>
#include <map>
#include <optional>
#include <sstream>
#include <string_view>
#include <utility>

#include "support/recording_gl.h"

namespace bandscope::test {

struct RecordingGl::Entry {
  // GL's smallest allowed stack sizes, counting the base matrix; the attribute stack has none.
  static constexpr int kMaxModelViewPushes = 31;
  static constexpr int kMaxProjectionPushes = 1;
  static constexpr int kMaxTexturePushes = 1;
  static constexpr int kMaxAttribPushes = 16;
  static constexpr int kMaxListNesting = 64;

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
  using Handlers = std::map<std::string_view, std::pair<Capture, Run>>;

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

  // The handlers of each group of entry points; a name in none of them is only recorded.
  static Handlers primitiveHandlers();  // recording_gl_semantics_primitives.cpp
  static Handlers transformHandlers();  // recording_gl_semantics_transforms.cpp
  static Handlers stateHandlers();      // recording_gl_semantics_state.cpp
  static Handlers listHandlers();       // recording_gl_semantics_lists.cpp
  static Handlers rasterHandlers();     // recording_gl_semantics_lists.cpp
  static Handlers pixelHandlers();      // recording_gl_semantics_pixels.cpp
  static Handlers arrayHandlers();      // recording_gl_semantics_arrays.cpp

  // recording_gl_semantics_arrays.cpp
  static void captureArrays(RecordingGl& gl, GlCall& call, const void*);
  static Answer drawArrays(RecordingGl& gl, const GlCall& call, void*, int);

  // recording_gl_semantics_transforms.cpp
  struct Stack {
    int& depth;
    int max;
    const char* name;
  };
  static Stack matrixStack(RecordingGl& gl);

  // recording_gl_semantics_state.cpp
  static std::optional<GLint> stackQuery(const RecordingGl& gl, GLenum pname);
  static Answer getIntegerv(RecordingGl& gl, const GlCall& call, void* out, int);
  static Answer pushAttrib(RecordingGl& gl, const GlCall& call, void*, int);
  static Answer popAttrib(RecordingGl& gl, const GlCall& call, void*, int);

  // recording_gl_semantics_lists.cpp
  static std::size_t callListsItemSize(GLenum type);
  static GLuint callListsOffset(GLenum type, const unsigned char* p);
  static void captureListNames(RecordingGl& gl, GlCall& call, const void* in);
  static void captureBitmap(RecordingGl& gl, GlCall& call, const void* in);
  static Answer callLists(RecordingGl& gl, const GlCall& call, void*, int depth);

  // recording_gl_semantics_pixels.cpp
  static GLint pixelStore(const RecordingGl& gl, GLenum pname);
  // Bytes from one row's start to the next under the given row length and alignment.
  static std::size_t rowStride(std::size_t rowBytes, GLint alignment);
  static std::size_t pixelComponents(GLenum format);
  static Answer readPixels(RecordingGl& gl, const GlCall& call, void* out, int);
  static Answer pixelStorei(RecordingGl& gl, const GlCall& call, void*, int);

  // recording_gl.cpp
  static Semantics semanticsOf(std::string_view name);
  static Answer execute(RecordingGl& gl, const GlCall& call, const Semantics& s, void* out,
                        int depth);
  static Answer dispatch(const Semantics& s, GlCall call, const Pointers& p);
  template <typename T>
  static void collect(GlCall& call, Pointers& p, T value);
  template <typename R, typename... A>
  static R relay(const char* name, const Semantics& s, A... a);
  static const GlTable& table();
};

}  // namespace bandscope::test
