// bandscope: real-time audio spectrum analyser.

#include <QApplication>
#include <cstdio>

#include "app/command_line.h"
#include "app/form.h"
#include "app/sound_services.h"

int main(int argc, char** argv) {
  // Before any window: a bad command line opens none.
  const bandscope::CommandLineResult parsed =
      bandscope::parseCommandLine(std::vector<std::string>(argv, argv + argc));
  if (parsed.outcome == bandscope::CommandLineResult::Outcome::Error) {
    std::fputs(parsed.message.c_str(), stderr);
    return 2;
  }
  if (parsed.outcome == bandscope::CommandLineResult::Outcome::Exit) {
    std::fputs(parsed.message.c_str(), stdout);
    return 0;
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("bandscope"));
  QApplication::setApplicationVersion(QStringLiteral("1.0"));
  std::string error;
  const auto sound = bandscope::openSoundServices(parsed.line, error);
  if (!sound) {
    std::fprintf(stderr, "bandscope: %s\n", error.c_str());
    return 2;
  }
  if (const unsigned devices = sound->inputs->numDevs();
      static_cast<unsigned>(parsed.line.device) >= devices) {
    std::fprintf(stderr, "bandscope: there is no input device %d (devices: 0 to %u)\n",
                 parsed.line.device, devices - 1);
    return 2;
  }
  bandscope::TForm1 Form1(parsed.line, *sound);
  Form1.show();
  return QApplication::exec();
}
