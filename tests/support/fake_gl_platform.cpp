#include "support/fake_gl_platform.h"

#include <algorithm>
#include <sstream>
#include <stdexcept>

namespace bandscope::test {

namespace {

std::string hex(const void* p) {
  std::ostringstream s;
  s << std::hex << reinterpret_cast<uintptr_t>(p);
  return s.str();
}

}  // namespace

void CallLog::add(std::string call) {
  std::lock_guard guard(lock);
  calls.push_back(std::move(call));
}

std::vector<std::string> CallLog::take() {
  std::lock_guard guard(lock);
  return std::exchange(calls, {});
}

SurfaceKind FakeGlPlatform::surfaceKind(SurfaceHandle dc) {
  log_.add("surfaceKind");
  if (invalidSurface || !dc) {
    error_ = {"The handle is invalid.", 6};
    return SurfaceKind::Invalid;
  }
  return SurfaceKind::Window;
}

int FakeGlPlatform::choosePixelFormat(SurfaceHandle, const PixelFormatRequest& request) {
  log_.add("choosePixelFormat");
  lastRequest = request;
  if (noPixelFormat) {
    error_ = {"The pixel format is invalid.", 2000};
    return 0;
  }
  return 7;
}

int FakeGlPlatform::getPixelFormat(SurfaceHandle) {
  return pixelFormatOfSurface;
}

bool FakeGlPlatform::setPixelFormat(SurfaceHandle, int format, const PixelFormatRequest&) {
  log_.add("setPixelFormat " + std::to_string(format));
  if (setFails) {
    error_ = {"The pixel format is invalid.", 2000};
    return false;
  }
  pixelFormatOfSurface = format;
  return true;
}

void FakeGlPlatform::describePixelFormat(SurfaceHandle, int, PixelFormatRequest& out) {
  log_.add("describePixelFormat");
  out.cColorBits = static_cast<uint8_t>(colourBits);
  if (colourBits == 8) {  // a 3-3-2 palette format
    out.cRedBits = 3, out.cRedShift = 0, out.cGreenBits = 3, out.cGreenShift = 3;
    out.cBlueBits = 2, out.cBlueShift = 6;
  }
  if (needsPalette) out.dwFlags |= PFD_NEED_PALETTE;
}

PaletteHandle FakeGlPlatform::createPalette(SurfaceHandle, const std::vector<PaletteEntry>& e) {
  log_.add("createPalette " + std::to_string(e.size()));
  lastPalette = e;
  if (paletteFails) {
    error_ = {"Not enough memory resources are available to process this command.", 8};
    return nullptr;
  }
  return reinterpret_cast<PaletteHandle>(0x20);
}

ContextHandle FakeGlPlatform::createContext(SurfaceHandle, int layer) {
  log_.add("createContext " + std::to_string(layer));
  if (createFails) {
    error_ = {"", 0};
    return nullptr;
  }
  auto* rc = reinterpret_cast<ContextHandle>(nextContext_++);
  liveContexts.push_back(rc);
  return rc;
}

bool FakeGlPlatform::makeCurrent(SurfaceHandle dc, ContextHandle rc) {
  log_.add(rc ? "makeCurrent " + hex(dc) + " " + hex(rc) : std::string("makeCurrent none"));
  if (makeCurrentFails) return false;
  std::lock_guard guard(currentLock_);
  current_[std::this_thread::get_id()] = {dc, rc};
  return true;
}

bool FakeGlPlatform::deleteContext(ContextHandle rc) {
  log_.add("deleteContext " + hex(rc));
  if (deleteFails) return false;
  liveContexts.erase(std::remove(liveContexts.begin(), liveContexts.end(), rc), liveContexts.end());
  return true;
}

SurfaceHandle FakeGlPlatform::currentSurface() {
  std::lock_guard guard(currentLock_);
  return current_[std::this_thread::get_id()].first;
}

ContextHandle FakeGlPlatform::currentContext() {
  std::lock_guard guard(currentLock_);
  return current_[std::this_thread::get_id()].second;
}

void FakeGlPlatform::releaseSurface(SurfaceHandle) {
  log_.add("releaseSurface");
}
void FakeGlPlatform::swapBuffers(SurfaceHandle) {
  log_.add("swapBuffers");
}
void FakeGlPlatform::readImplementationProperties() {
  log_.add("readImplementationProperties");
}

bool FakeGlLoader::load(GlTable& table) {
  log_.add("loadLibraries");
  loaded_ = !loadFails;
  if (loaded_) table = source_;
  return loaded_;
}

void FakeGlLoader::unload(GlTable& table) {
  log_.add("unloadLibraries");
  table = GlTable{};
  loaded_ = false;
}

void FakeSurfaceHost::applyStayOnTop() {
  log_.add(stayOnTop ? "applyStayOnTop on" : "applyStayOnTop off");
  if (styleFails) throw std::runtime_error("the window style cannot be changed");
}

}  // namespace bandscope::test
