#pragma once
// Loads libGL.so.1 and libGLU.so.1 with dlopen and resolves every entry point of the GL
// table by name. Nothing in the program links libGL at build time. The table holds the
// libraries' own entry points, or in the debug build (BANDSCOPE_GL_ERROR_CHECK) ones that
// check glGetError after each call (gl_error_check.h). UI thread.

#include <string>

#include "platform/gl_platform.h"

namespace bandscope {

class DlGlLoader : public GlLibraryLoader {
 public:
  explicit DlGlLoader(std::string glName = "libGL.so.1", std::string gluName = "libGLU.so.1");
  ~DlGlLoader() override;
  DlGlLoader(const DlGlLoader&) = delete;
  DlGlLoader& operator=(const DlGlLoader&) = delete;

  bool loaded() const override { return gl_ != nullptr && glu_ != nullptr; }
  bool load(GlTable& table) override;
  void unload(GlTable& table) override;
  Failure lastError() const override { return error_; }

 private:
  void close();
  std::string glName_;
  std::string gluName_;
  void* gl_ = nullptr;
  void* glu_ = nullptr;
  Failure error_;
};

}  // namespace bandscope
