#include "app/saved_settings.h"

#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QVariant>
#include <algorithm>
#include <cstdio>

#include "analysis/band_settings.h"
#include "app/control_panel.h"

namespace bandscope {

namespace {

constexpr int kMaxExtent = 32767;  // of a window's place and size, in pixels
constexpr int kMinSonoSteps = 2;
constexpr int kMaxSonoSteps = 512;
constexpr int kMaxTimeScale = 128;

const QString kSource = QStringLiteral("source");
const QString kBands = QStringLiteral("bands");
const QString kTimeScale = QStringLiteral("timeScale");
const QString kSonoSteps = QStringLiteral("sonogramLength");
const QString kChecks = QStringLiteral("checks");
const QString kPosition = QStringLiteral("window/position");
const QString kSize = QStringLiteral("window/size");

// The whole number at key, when there is one, within low .. high; else why not.
QString takeNumber(const QSettings& s, const QString& key, int low, int high, int& to) {
  if (!s.contains(key)) return {};
  bool ok = false;
  const int n = s.value(key).toInt(&ok);
  if (!ok) return QStringLiteral("%1 is not a whole number").arg(key);
  if (n < low || n > high)
    return QStringLiteral("%1 %2 is out of range (%3 to %4)").arg(key).arg(n).arg(low).arg(high);
  to = n;
  return {};
}

// Written as true or false; read back as text unless the same process wrote it.
std::optional<bool> truthOf(const QVariant& value) {
  if (value.typeId() == QMetaType::Bool) return value.toBool();
  if (value.typeId() != QMetaType::QString) return std::nullopt;
  const QString text = value.toString();
  if (text == QLatin1String("true")) return true;
  if (text == QLatin1String("false")) return false;
  return std::nullopt;
}

bool withinExtent(int n, int low) {
  return n >= low && n <= kMaxExtent;
}

QString takeChecks(QSettings& s, SavedSettings& values) {
  s.beginGroup(kChecks);
  QString why;
  for (const QString& name : s.childKeys()) {
    const std::optional<bool> checked = truthOf(s.value(name));
    if (!checked) {
      why = QStringLiteral("%1/%2 is not true or false").arg(kChecks, name);
      break;
    }
    values.checks.emplace_back(name, *checked);
  }
  s.endGroup();
  return why;
}

QString takeWindow(const QSettings& s, SavedSettings& values) {
  if (s.contains(kPosition)) {
    const QVariant v = s.value(kPosition);
    const QPoint p = v.toPoint();
    if (v.typeId() != QMetaType::QPoint || !withinExtent(p.x(), -kMaxExtent) ||
        !withinExtent(p.y(), -kMaxExtent)) {
      return kPosition + QStringLiteral(" is not a place on the screen");
    }
    values.position = p;
  }
  if (s.contains(kSize)) {
    const QVariant v = s.value(kSize);
    const QSize size = v.toSize();
    if (v.typeId() != QMetaType::QSize || !withinExtent(size.width(), 1) ||
        !withinExtent(size.height(), 1)) {
      return kSize + QStringLiteral(" is not a window size");
    }
    values.size = size;
  }
  return {};
}

// UTF-8 without control characters but tab and line ends: QSettings' own reader takes
// most garbage for keys and values.
bool isText(const QByteArray& bytes) {
  QStringDecoder decode(QStringDecoder::Utf8);
  const QString text = decode(bytes);
  return !decode.hasError() && std::none_of(text.begin(), text.end(), [](QChar c) {
    return c.category() == QChar::Other_Control && c != '\t' && c != '\n' && c != '\r';
  });
}

// Reads the file into values; empty, or why it is ignored.
QString readInto(const QString& path, SavedSettings& values) {
  const QFileInfo info(path);
  if (!info.exists()) return {};  // nothing remembered yet
  if (!info.isFile()) return QStringLiteral("it is not a file");
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    return QStringLiteral("cannot read it (%1)").arg(file.errorString());
  if (!isText(file.readAll())) return QStringLiteral("it is not text");
  file.close();
  QSettings s(path, QSettings::IniFormat);
  if (s.status() == QSettings::AccessError) return QStringLiteral("cannot read it");
  if (s.status() == QSettings::FormatError) return QStringLiteral("it is not an INI file");
  if (s.contains(kSource)) {
    const QVariant source = s.value(kSource);
    if (source.typeId() != QMetaType::QString) return kSource + QStringLiteral(" is not a name");
    values.source = source.toString().toStdString();
  }
  QString why = takeNumber(s, kBands, kMinBands, kMaxBands, values.bandCount);
  if (why.isEmpty()) why = takeNumber(s, kTimeScale, 1, kMaxTimeScale, values.timeScale);
  if (why.isEmpty() && (values.timeScale & (values.timeScale - 1)) != 0)
    why = QStringLiteral("%1 %2 is not a power of two").arg(kTimeScale).arg(values.timeScale);
  if (why.isEmpty())
    why = takeNumber(s, kSonoSteps, kMinSonoSteps, kMaxSonoSteps, values.sonoSteps);
  if (why.isEmpty()) why = takeChecks(s, values);
  if (why.isEmpty()) why = takeWindow(s, values);
  return why;
}

}  // namespace

QString settingsPath() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
         QStringLiteral("/bandscope/bandscope.conf");
}

LoadedSettings loadSettings(const QString& path) {
  LoadedSettings loaded;
  const QString why = readInto(path, loaded.values);
  if (!why.isEmpty()) {
    loaded.values = SavedSettings{};  // nothing of a doubtful file is used
    loaded.warning = QStringLiteral("bandscope: ignoring the settings in %1: %2").arg(path, why);
  }
  return loaded;
}

QString saveSettings(const QString& path, const SavedSettings& values) {
  if (QFileInfo(path).isDir()) return QStringLiteral("a folder is in its place");
  QSettings s(path, QSettings::IniFormat);
  s.clear();  // also what a file that could not be read held
  if (!values.source.empty()) s.setValue(kSource, QString::fromStdString(values.source));
  s.setValue(kBands, values.bandCount);
  s.setValue(kTimeScale, values.timeScale);
  s.setValue(kSonoSteps, values.sonoSteps);
  for (const auto& [name, checked] : values.checks) s.setValue(kChecks + '/' + name, checked);
  if (values.position) s.setValue(kPosition, *values.position);
  if (values.size) s.setValue(kSize, *values.size);
  s.sync();
  return s.status() == QSettings::AccessError ? QStringLiteral("cannot write it") : QString();
}

SavedSettings keepUnchanged(SavedSettings now, const SavedSettings& started,
                            const SavedSettings& remembered) {
  auto keep = [](auto& value, const auto& start, const auto& old) {
    if (value == start) value = old;
  };
  if (!remembered.source.empty()) keep(now.source, started.source, remembered.source);
  keep(now.bandCount, started.bandCount, remembered.bandCount);
  keep(now.timeScale, started.timeScale, remembered.timeScale);
  keep(now.sonoSteps, started.sonoSteps, remembered.sonoSteps);
  if (remembered.position) keep(now.position, started.position, remembered.position);
  if (remembered.size) keep(now.size, started.size, remembered.size);
  for (auto& [name, checked] : now.checks) {
    auto named = [&name](const auto& entry) { return entry.first == name; };
    const auto start = std::find_if(started.checks.begin(), started.checks.end(), named);
    const auto old = std::find_if(remembered.checks.begin(), remembered.checks.end(), named);
    if (start != started.checks.end() && old != remembered.checks.end())
      keep(checked, start->second, old->second);
  }
  return now;
}

void applyChecks(const SavedSettings& values, ControlPanel& controls) {
  for (const auto& [name, checked] : values.checks) {
    if (auto* box = controls.Panel1->findChild<QCheckBox*>(name, Qt::FindDirectChildrenOnly))
      box->setChecked(checked);
  }
}

std::vector<std::pair<QString, bool>> checksOf(const ControlPanel& controls) {
  std::vector<std::pair<QString, bool>> checks;
  for (const QCheckBox* box : controls.Panel1->findChildren<QCheckBox*>(Qt::FindDirectChildrenOnly))
    checks.emplace_back(box->objectName(), box->isChecked());
  return checks;
}

SavedSettings SettingsFile::read() {
  if (path_.isEmpty()) return {};
  LoadedSettings loaded = loadSettings(path_);
  if (!loaded.warning.isEmpty()) warn(loaded.warning);
  return std::move(loaded.values);
}

void SettingsFile::write(const SavedSettings& values) {
  if (path_.isEmpty()) return;
  if (const QString why = saveSettings(path_, values); !why.isEmpty())
    warn(QStringLiteral("bandscope: cannot save the settings in %1: %2").arg(path_, why));
}

void SettingsFile::warn(const QString& line) {
  if (std::exchange(warned_, true)) return;
  std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
}

}  // namespace bandscope
