// bandscope: real-time audio spectrum analyser.

#include <QApplication>
#include <cstdio>
#include <string>
#include <utility>

#include "app/command_line.h"
#include "app/display_check.h"
#include "app/form.h"
#include "app/output_file.h"
#include "app/sound_services.h"
#include "app/start_guard.h"
#include "app/stop_signals.h"
#include "app/version.h"

namespace {

// The files a scripted run writes at its end: one that cannot be written, or that is the
// file read, fails now.
bool outputsWritable(const bandscope::CommandLine& line) {
  const std::pair<const std::string&, const char*> outputs[] = {{line.screenshot, "the screenshot"},
                                                                {line.exportCsv, "the CSV file"}};
  for (const auto& [path, what] : outputs) {
    if (path.empty()) continue;
    std::string why = bandscope::whyNotWritable(path);
    if (why.empty() && !line.input.empty() && bandscope::sameFile(path, line.input))
      why = "it is the input file";
    if (!why.empty()) {
      std::fprintf(stderr, "bandscope: cannot write %s %s: %s\n", what, path.c_str(), why.c_str());
      return false;
    }
  }
  return true;
}

}  // namespace

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
  if (!outputsWritable(parsed.line)) return 2;
  if (const std::string why = bandscope::whyNoDisplay(); !why.empty()) {
    std::fputs(bandscope::noDisplayMessage(why).c_str(), stderr);
    return 2;
  }
  // Limits too tight to start end here; where they are tight, start-up is watched.
  if (!bandscope::guardStart()) return 2;
  bandscope::watchPlatformStart();  // a display that does not answer: Qt would abort
  QApplication app(argc, argv);
  bandscope::platformStarted();
  QApplication::setApplicationName(QStringLiteral("bandscope"));
  QApplication::setApplicationVersion(QStringLiteral(BANDSCOPE_VERSION));
  std::string error;
  const auto sound = bandscope::openSoundServices(parsed.line, error);
  if (!sound) {
    std::fprintf(stderr, "bandscope: %s\n", error.c_str());
    return 2;
  }
  // The entry's number counts the server's sources: their list first (a hung server: 2 s).
  if (parsed.line.device) bandscope::awaitDeviceList(*sound, 5000);
  if (const unsigned devices = sound->inputs->numDevs();
      parsed.line.device && static_cast<unsigned>(*parsed.line.device) >= devices) {
    std::fprintf(stderr, "bandscope: there is no input device %d (devices: 0 to %u)\n",
                 *parsed.line.device, devices - 1);
    return 2;
  }
  int status = 0;
  {
    bandscope::TForm1 Form1(parsed.line, *sound);
    Form1.showRemembered();
    // From here a logout, Ctrl+C or a closed terminal ends the run as Ctrl+Q does. Exit, not
    // only close: a dialog open over the window would keep the event loop running.
    const std::string why = bandscope::catchStopSignals(&Form1, [&Form1] {
      Form1.close();
      QCoreApplication::exit(0);
    });
    if (!why.empty()) {
      // Under a tight limit that is the start failing on it: one line naming it, as elsewhere.
      bandscope::endStartIfExhausted("start-up failed");
      std::fprintf(stderr, "bandscope: a stop signal will not keep the settings: %s\n",
                   why.c_str());
    }
    status = QApplication::exec();
  }
  bandscope::endByStopSignal();  // after the window's end: capture stopped, settings written
  return status;
}
