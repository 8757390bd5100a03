#include "platform/gl_error_check.h"

#include <cstdio>
#include <string>
#include <type_traits>

#include "analysis/assertion.h"

namespace bandscope {

namespace {

GlTable checked;       // the entry points the wrappers call
bool inBegin = false;  // between glBegin and glEnd

void checkAfter(const char* name, const char* since = "") {
  if (inBegin) return;
  const GLenum error = checked.glGetError();
  if (error != GL_NO_ERROR)
    throw AssertionFailure("OpenGL error " + glErrorName(error) + " after " + name + since);
}

template <typename Fn, Fn GlTable::*Entry, const char* Name>
struct Checked;

template <typename R, typename... Args, R (*GlTable::*Entry)(Args...), const char* Name>
struct Checked<R (*)(Args...), Entry, Name> {
  static R call(Args... args) {
    if constexpr (std::is_void_v<R>) {
      (checked.*Entry)(args...);
      checkAfter(Name);
    } else {
      R result = (checked.*Entry)(args...);
      checkAfter(Name);
      return result;
    }
  }
};

#define BANDSCOPE_GL_NAME(ret, name, params) constexpr char name##Name[] = #name;
BANDSCOPE_GL_ENTRY_POINTS(BANDSCOPE_GL_NAME)
BANDSCOPE_GLU_ENTRY_POINTS(BANDSCOPE_GL_NAME)
#undef BANDSCOPE_GL_NAME

// An error from glBegin itself or a call inside shows at glEnd.
void checkedBegin(GLenum mode) {
  checked.glBegin(mode);
  inBegin = true;
}

void checkedEnd() {
  checked.glEnd();
  inBegin = false;
  checkAfter(glEndName, " (or glBegin or a call between them)");
}

}  // namespace

GlTable withErrorChecks(const GlTable& table) {
  checked = table;
  inBegin = false;
  GlTable wrapped;
#define BANDSCOPE_GL_WRAP(ret, name, params) \
  wrapped.name = &Checked<decltype(GlTable::name), &GlTable::name, name##Name>::call;
  BANDSCOPE_GL_ENTRY_POINTS(BANDSCOPE_GL_WRAP)
  BANDSCOPE_GLU_ENTRY_POINTS(BANDSCOPE_GL_WRAP)
#undef BANDSCOPE_GL_WRAP
  // glGetError as it is: a wrapper would take the error it reports.
  wrapped.glGetError = table.glGetError;
  wrapped.glBegin = &checkedBegin;
  wrapped.glEnd = &checkedEnd;
  return wrapped;
}

std::string glErrorName(GLenum error) {
  switch (error) {
    case GL_NO_ERROR:
      return "GL_NO_ERROR";
    case GL_INVALID_ENUM:
      return "GL_INVALID_ENUM";
    case GL_INVALID_VALUE:
      return "GL_INVALID_VALUE";
    case GL_INVALID_OPERATION:
      return "GL_INVALID_OPERATION";
    case GL_STACK_OVERFLOW:
      return "GL_STACK_OVERFLOW";
    case GL_STACK_UNDERFLOW:
      return "GL_STACK_UNDERFLOW";
    case GL_OUT_OF_MEMORY:
      return "GL_OUT_OF_MEMORY";
    default: {
      char hex[16];
      std::snprintf(hex, sizeof hex, "0x%04X", error);
      return hex;
    }
  }
}

}  // namespace bandscope
