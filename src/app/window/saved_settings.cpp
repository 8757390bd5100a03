#include "app/window/saved_settings.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCheckBox>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/run/output_file.h"
#include "app/window/control_panel.h"
#include "app/window/settings_text.h"

namespace bandscope {

namespace {

constexpr size_t kMaxFileBytes = 1 << 20;  // ours are a few hundred bytes
constexpr std::chrono::seconds kStaleTemporary{60};

Failure cannotRead(int error) {
  return {std::string("cannot read it (") + std::strerror(error) + ')', error};
}

// The file's bytes, empty for a missing file; fails saying why it is ignored. Only a regular
// file is opened: a named pipe or a device in its place is never waited on.
Result<std::string> readText(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0)
    return errno == ENOENT ? Result<std::string>(std::string()) : cannotRead(errno);
  if (Result<void> file = checkRegularFile(st.st_mode); !file) return file.failure();
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return cannotRead(errno);
  std::string text;
  Result<void> done = ::fstat(fd, &st) != 0 ? cannotRead(errno) : checkRegularFile(st.st_mode);
  if (done) {  // not swapped for another kind meanwhile
    text.resize(kMaxFileBytes + 1);
    size_t got = 0;
    while (got < text.size()) {
      const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        if (n < 0) done = cannotRead(errno);
        break;
      }
      got += static_cast<size_t>(n);
    }
    text.resize(got);
    if (done && got > kMaxFileBytes) done = Failure{"it is larger than 1 MiB"};
  }
  ::close(fd);
  if (!done) return done.failure();
  return text;
}

// Reads the file into values; fails saying why it is ignored.
Result<void> readInto(const std::string& path, SavedSettings& values) {
  const Result<std::string> text = readText(path);
  if (!text) return text.failure();
  return parseSettings(*text, values);
}

// The folders above the file, made where missing (private, as the XDG spec asks).
void makeFolders(const std::string& path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1))
    ::mkdir(path.substr(0, slash).c_str(), 0700);
}

}  // namespace

std::string settingsPath() {
  // A relative XDG_CONFIG_HOME is to be ignored; the bytes are kept as they are.
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/')
    return std::string(config) + "/bandscope/bandscope.conf";
  const char* home = std::getenv("HOME");
  if (!home || home[0] == '\0') {
    const passwd* user = ::getpwuid(::getuid());
    home = user ? user->pw_dir : nullptr;
  }
  return home ? std::string(home) + "/.config/bandscope/bandscope.conf" : std::string();
}

LoadedSettings loadSettings(const std::string& path) {
  LoadedSettings loaded;
  if (const Result<void> read = readInto(path, loaded.values); !read) {
    loaded.values = SavedSettings{};  // nothing of a doubtful file is used
    loaded.warning = "bandscope: ignoring the settings in " + path + ": " + read.failure().text;
  }
  return loaded;
}

Result<void> saveSettings(const std::string& path, const SavedSettings& values) {
  makeFolders(path);
  removeStaleTemporaries(path, kStaleTemporary);
  return writeFileSafely(path, formatSettings(values));
}

SavedSettings mergeChanges(const SavedSettings& now, const SavedSettings& started,
                           SavedSettings onDisk) {
  auto take = [](auto& to, const auto& value, const auto& start) {
    if (value != start) to = value;
  };
  if (onDisk.source.empty()) onDisk.source = now.source;
  take(onDisk.source, now.source, started.source);
  take(onDisk.bandCount, now.bandCount, started.bandCount);
  take(onDisk.timeScale, now.timeScale, started.timeScale);
  take(onDisk.sonoSteps, now.sonoSteps, started.sonoSteps);
  take(onDisk.sampleBits, now.sampleBits, started.sampleBits);
  take(onDisk.rangeDb, now.rangeDb, started.rangeDb);
  if (!onDisk.position) onDisk.position = now.position;
  take(onDisk.position, now.position, started.position);
  if (!onDisk.size) onDisk.size = now.size;
  take(onDisk.size, now.size, started.size);
  take(onDisk.windowState, now.windowState, started.windowState);
  for (const auto& [name, checked] : now.checks) {
    auto named = [&name](const auto& entry) { return entry.first == name; };
    const auto start = std::find_if(started.checks.begin(), started.checks.end(), named);
    const auto old = std::find_if(onDisk.checks.begin(), onDisk.checks.end(), named);
    if (old == onDisk.checks.end()) {
      onDisk.checks.emplace_back(name, checked);
    } else if (start == started.checks.end() || start->second != checked) {
      old->second = checked;
    }
  }
  return onDisk;
}

void applyChecks(const SavedSettings& values, ControlPanel& controls) {
  for (const auto& [name, checked] : values.checks) {
    auto* box = controls.Panel1->findChild<QCheckBox*>(name, Qt::FindDirectChildrenOnly);
    if (box && box != controls.bits16CheckBox) box->setChecked(checked);
  }
}

std::vector<std::pair<QString, bool>> checksOf(const ControlPanel& controls) {
  std::vector<std::pair<QString, bool>> checks;
  for (const QCheckBox* box : controls.Panel1->findChildren<QCheckBox*>(Qt::FindDirectChildrenOnly))
    if (box != controls.bits16CheckBox) checks.emplace_back(box->objectName(), box->isChecked());
  return checks;
}

SavedSettings SettingsFile::read() {
  if (path_.empty()) return {};
  LoadedSettings loaded = loadSettings(path_);
  if (!loaded.warning.empty()) warn(loaded.warning);
  return std::move(loaded.values);
}

void SettingsFile::write(const SavedSettings& now, const SavedSettings& started) {
  if (path_.empty()) return;
  // Quietly: a file doubtful now is replaced, and one that cannot be replaced says so below.
  const SavedSettings merged = mergeChanges(now, started, loadSettings(path_).values);
  if (const Result<void> saved = saveSettings(path_, merged); !saved)
    warn("bandscope: cannot save the settings in " + path_ + ": " + saved.failure().text);
}

void SettingsFile::warn(const std::string& line) {
  if (std::exchange(warned_, true)) return;
  std::fprintf(stderr, "%s\n", line.c_str());
}

}  // namespace bandscope
