#include "platform/gl_loader.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "analysis/assertion.h"
#include "support/gl_window.h"

namespace bandscope {
namespace {

// Every entry of the table, null or not, in table order.
std::vector<bool> present(const GlTable& t) {
  return {
#define BANDSCOPE_PRESENT(ret, name, params) t.name != nullptr,
      BANDSCOPE_GL_ENTRY_POINTS(BANDSCOPE_PRESENT) BANDSCOPE_GLU_ENTRY_POINTS(BANDSCOPE_PRESENT)
#undef BANDSCOPE_PRESENT
  };
}

bool all(const std::vector<bool>& v, bool value) {
  for (bool b : v) {
    if (b != value) return false;
  }
  return true;
}

TEST(GlLoader, ResolvesEveryEntryPointFromTheSystemLibraries) {
  DlGlLoader loader;
  GlTable table;
  ASSERT_TRUE(loader.load(table)) << loader.lastError().text;
  EXPECT_TRUE(loader.loaded());
  EXPECT_TRUE(all(present(table), true));
  EXPECT_TRUE(loader.load(table)) << "loading again keeps what is loaded";
  loader.unload(table);
  EXPECT_FALSE(loader.loaded());
  EXPECT_TRUE(all(present(table), false));
}

TEST(GlLoader, AMissingLibraryLoadsNothingAndSaysWhich) {
  GlTable table;
  DlGlLoader noGl("libGL-that-does-not-exist.so.1");
  EXPECT_FALSE(noGl.load(table));
  EXPECT_FALSE(noGl.loaded());
  EXPECT_NE(noGl.lastError().text.find("libGL-that-does-not-exist.so.1"), std::string::npos);
  EXPECT_TRUE(all(present(table), false));

  DlGlLoader noGlu("libGL.so.1", "libGLU-missing.so.1");
  EXPECT_FALSE(noGlu.load(table));
  EXPECT_FALSE(noGlu.loaded()) << "the GL library that did load is closed again";
  EXPECT_NE(noGlu.lastError().text.find("GLU library libGLU-missing.so.1"), std::string::npos);
  EXPECT_TRUE(all(present(table), false));
}

TEST(GlLoader, AMissingEntryPointLoadsNothingAndNamesIt) {
  GlTable table;
  DlGlLoader wrong("libm.so.6");  // loads, but has no GL in it
  EXPECT_FALSE(wrong.load(table));
  EXPECT_FALSE(wrong.loaded());
  EXPECT_EQ(wrong.lastError().text, "libm.so.6 has no entry point glBegin");
  EXPECT_TRUE(all(present(table), false));
}

#if defined(BANDSCOPE_GL_ERROR_CHECK)
TEST(GlLoader, InTheDebugBuildAFailedCallThrowsNamingIt) {
  test::GlWindow window{64, 64};
  ASSERT_TRUE(window.ready());
  const GlTable& gl = window.gl;
  try {
    gl.glEnable(0xFFFF);
    ADD_FAILURE() << "an invalid capability went unnoticed";
  } catch (const AssertionFailure& e) {
    EXPECT_EQ(std::string(e.what()), "OpenGL error GL_INVALID_ENUM after glEnable");
  }
  gl.glBegin(GL_LINES);  // no glGetError in here: it would fail with GL_INVALID_OPERATION
  gl.glVertex3f(0, 0, 0);
  gl.glVertex3f(1, 1, 0);
  EXPECT_NO_THROW(gl.glEnd());
}
#else
// No wrapper, no cost: the table holds what the library exports.
TEST(GlLoader, EveryEntryIsTheLibrarysOwn) {
  DlGlLoader loader;
  GlTable t;
  ASSERT_TRUE(loader.load(t)) << loader.lastError().text;
  void* gl = dlopen("libGL.so.1", RTLD_NOW | RTLD_NOLOAD);
  ASSERT_TRUE(gl);
  const auto address = [](auto f) {
    void* p = nullptr;
    std::memcpy(&p, &f, sizeof p);
    return p;
  };
#define BANDSCOPE_GL_OWN(ret, name, params) EXPECT_EQ(address(t.name), dlsym(gl, #name)) << #name;
  BANDSCOPE_GL_ENTRY_POINTS(BANDSCOPE_GL_OWN)
#undef BANDSCOPE_GL_OWN
  dlclose(gl);
}
#endif

}  // namespace
}  // namespace bandscope
