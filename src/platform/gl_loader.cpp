#include "platform/gl_loader.h"

#include <dlfcn.h>

#include <cstddef>
#include <cstring>

#include "platform/gl_error_check.h"

namespace bandscope {

namespace {

struct EntryPoint {
  const char* name;
  bool fromGlu;
  size_t offset;  // of its pointer in GlTable
};

constexpr EntryPoint kEntryPoints[] = {
#define BANDSCOPE_GL_ENTRY(ret, name, params) {#name, false, offsetof(GlTable, name)},
#define BANDSCOPE_GLU_ENTRY(ret, name, params) {#name, true, offsetof(GlTable, name)},
    BANDSCOPE_GL_ENTRY_POINTS(BANDSCOPE_GL_ENTRY) BANDSCOPE_GLU_ENTRY_POINTS(BANDSCOPE_GLU_ENTRY)
#undef BANDSCOPE_GL_ENTRY
#undef BANDSCOPE_GLU_ENTRY
};

std::string dlText() {
  const char* text = dlerror();
  return text ? text : "unknown error";
}

}  // namespace

DlGlLoader::DlGlLoader(std::string glName, std::string gluName)
    : glName_(std::move(glName)), gluName_(std::move(gluName)) {}

DlGlLoader::~DlGlLoader() {
  close();
}

void DlGlLoader::close() {
  if (glu_) dlclose(glu_);
  if (gl_) dlclose(gl_);
  gl_ = glu_ = nullptr;
}

bool DlGlLoader::load(GlTable& table) {
  if (loaded()) return true;
  unload(table);
  gl_ = dlopen(glName_.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!gl_) {
    error_ = {"cannot load the OpenGL library " + glName_ + ": " + dlText()};
    close();
    return false;
  }
  glu_ = dlopen(gluName_.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!glu_) {
    error_ = {"cannot load the GLU library " + gluName_ + ": " + dlText()};
    close();
    return false;
  }
  for (const EntryPoint& e : kEntryPoints) {
    void* f = dlsym(e.fromGlu ? glu_ : gl_, e.name);
    if (!f) {
      error_ = {(e.fromGlu ? gluName_ : glName_) + " has no entry point " + e.name};
      unload(table);
      return false;
    }
    std::memcpy(reinterpret_cast<char*>(&table) + e.offset, &f, sizeof f);
  }
#if defined(BANDSCOPE_GL_ERROR_CHECK)
  table = withErrorChecks(table);
#endif
  return true;
}

void DlGlLoader::unload(GlTable& table) {
  table = GlTable{};
  close();
}

}  // namespace bandscope
