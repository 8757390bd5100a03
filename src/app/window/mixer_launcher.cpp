#include "app/window/mixer_launcher.h"

#include <QProcess>
#include <QStandardPaths>

namespace bandscope {

std::optional<ProgramCall> recordingMixer() {
  auto found = [](const char* name) {
    return !QStandardPaths::findExecutable(QString::fromLatin1(name)).isEmpty();
  };
  const QString inputTab = QStringLiteral("--tab=4");
  if (found("pavucontrol")) return ProgramCall{QStringLiteral("pavucontrol"), {inputTab}};
  if (found("pavucontrol-qt")) return ProgramCall{QStringLiteral("pavucontrol-qt"), {inputTab}};
  if (found("alsamixer") && found("x-terminal-emulator"))
    return ProgramCall{QStringLiteral("x-terminal-emulator"),
                       {QStringLiteral("-e"), QStringLiteral("alsamixer"), QStringLiteral("-V"),
                        QStringLiteral("capture")}};
  return std::nullopt;
}

bool LaunchProgram(const QString& file, const QStringList& parameters) {
  return QProcess::startDetached(file, parameters);
}

}  // namespace bandscope
