#include "app/run/display_check.h"

#include <QString>
#include <QtGlobal>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/run/failure_report.h"

namespace bandscope {

namespace {

// The platform names Qt tries in turn, lower case, without their ":arguments". Without
// QT_QPA_PLATFORM a Wayland session is tried before the default xcb.
std::vector<std::string> platformsTried(const Environment& environment) {
  std::string names = environment("QT_QPA_PLATFORM");
  if (names.empty()) names = environment("XDG_SESSION_TYPE") == "wayland" ? "wayland;xcb" : "xcb";
  std::vector<std::string> platforms;
  for (size_t start = 0; start <= names.size();) {
    const size_t end = std::min(names.find(';', start), names.size());
    std::string name = names.substr(start, std::min(names.find(':', start), end) - start);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
    if (!name.empty()) platforms.push_back(std::move(name));
    start = end + 1;
  }
  return platforms;
}

QtMessageHandler previousHandler = nullptr;
QString platformComplaint;  // the first thing a platform plugin said

void platformStartHandler(QtMsgType type, const QMessageLogContext& context,
                          const QString& message) {
  if (type == QtFatalMsg) {
    const QString why = platformComplaint.isEmpty()
                            ? QStringLiteral("no Qt platform plugin could start")
                            : platformComplaint;
    printFailure(noDisplay(why.toLocal8Bit().toStdString()).text);
    std::fflush(nullptr);
    std::_Exit(kFailedRunStatus);  // where Qt would abort
  }
  if (platformComplaint.isEmpty() && context.category &&
      std::string_view(context.category).starts_with("qt.qpa")) {
    platformComplaint = message;
  }
  previousHandler(type, context, message);
}

}  // namespace

Result<void> checkDisplay(const Environment& environment) {
  bool xcb = false, wayland = false;
  for (const std::string& platform : platformsTried(environment)) {
    if (platform == "xcb") {
      if (!environment("DISPLAY").empty()) return {};
      xcb = true;
    } else if (platform.starts_with("wayland")) {
      // Without WAYLAND_DISPLAY the client library looks for wayland-0 in XDG_RUNTIME_DIR.
      for (const char* name : {"WAYLAND_DISPLAY", "WAYLAND_SOCKET", "XDG_RUNTIME_DIR"})
        if (!environment(name).empty()) return {};
      wayland = true;
    } else {
      return {};  // needs no display, or Qt itself says why it does not start
    }
  }
  if (xcb && wayland) return Failure{"neither DISPLAY nor WAYLAND_DISPLAY is set"};
  if (wayland) return Failure{"WAYLAND_DISPLAY is not set"};
  if (xcb) return Failure{"DISPLAY is not set"};
  return {};
}

Result<void> checkDisplay() {
  return checkDisplay([](const char* name) {
    const char* value = std::getenv(name);
    return std::string(value ? value : "");
  });
}

Failure noDisplay(std::string_view why) {
  return {"no display to open a window on: " + std::string(why)};
}

void watchPlatformStart() {
  platformComplaint.clear();
  previousHandler = qInstallMessageHandler(platformStartHandler);
}

void platformStarted() {
  qInstallMessageHandler(previousHandler);
}

}  // namespace bandscope
