#include "platform/gl_loader.h"

#include <gtest/gtest.h>

#include <vector>

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

}  // namespace
}  // namespace bandscope
