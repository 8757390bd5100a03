// The debug build's check after each GL call, over a fake table whose glGetError reports
// what a case sets.

#include "platform/gl_error_check.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>

#include "analysis/assertion.h"

namespace bandscope {
namespace {

struct FakeGl {
  GLenum error = GL_NO_ERROR;  // what the next glGetError reports, then cleared
  bool inBegin = false;
  int getErrorsInBegin = 0;  // each one an error of its own on a real driver
};
FakeGl fake;

GlTable fakeTable() {
  GlTable t;
  t.glGetError = [] {
    fake.getErrorsInBegin += fake.inBegin ? 1 : 0;
    return std::exchange(fake.error, static_cast<GLenum>(GL_NO_ERROR));
  };
  t.glBegin = [](GLenum) { fake.inBegin = true; };
  t.glEnd = [] { fake.inBegin = false; };
  t.glVertex3f = [](GLfloat, GLfloat, GLfloat) {};
  t.glClear = [](GLbitfield) {};
  t.glGenLists = [](GLsizei range) { return static_cast<GLuint>(range + 40); };
  return t;
}

TEST(GlErrorCheck, AnErrorIsReportedWithTheCallThatMadeIt) {
  const GlTable gl = withErrorChecks(fakeTable());
  const auto inBeginEnd = [&] {
    gl.glBegin(GL_LINES);
    gl.glVertex3f(0, 0, 0);
    gl.glEnd();
  };
  const struct {
    GLenum error;  // set before the calls
    std::function<void()> calls;
    std::string failure;
  } cases[] = {
      {GL_NO_ERROR, [&] { gl.glClear(GL_COLOR_BUFFER_BIT); }, ""},
      {GL_INVALID_ENUM, [&] { gl.glClear(0); }, "OpenGL error GL_INVALID_ENUM after glClear"},
      {GL_OUT_OF_MEMORY, [&] { EXPECT_EQ(gl.glGenLists(2), 42U); },
       "OpenGL error GL_OUT_OF_MEMORY after glGenLists"},
      {GL_INVALID_VALUE, inBeginEnd,
       "OpenGL error GL_INVALID_VALUE after glEnd (or glBegin or a call between them)"},
      {0x0506, [&] { gl.glClear(0); }, "OpenGL error 0x0506 after glClear"},
  };
  for (const auto& c : cases) {
    fake = {};
    fake.error = c.error;
    std::string failure;
    try {
      c.calls();
    } catch (const AssertionFailure& e) {
      failure = e.what();
    }
    EXPECT_EQ(failure, c.failure);
    EXPECT_EQ(fake.getErrorsInBegin, 0) << c.failure;
  }
  fake.error = GL_INVALID_OPERATION;
  EXPECT_EQ(gl.glGetError(), static_cast<GLenum>(GL_INVALID_OPERATION))
      << "glGetError itself reports the error rather than taking it";
}

}  // namespace
}  // namespace bandscope
