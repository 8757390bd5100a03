#pragma once
// Starting the platform's recording mixer as a program of its own. UI thread.

#include <QString>
#include <QStringList>
#include <optional>

namespace bandscope {

struct ProgramCall {
  QString program;
  QStringList arguments;
};

// The first recording mixer found on PATH: pavucontrol on its input devices tab, else
// pavucontrol-qt likewise, else alsamixer's capture view in a terminal. None: nullopt.
std::optional<ProgramCall> recordingMixer();

// Starts the program detached from this one; false when it could not be started.
bool LaunchProgram(const QString& file, const QStringList& parameters);

}  // namespace bandscope
