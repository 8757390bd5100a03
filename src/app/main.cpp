// bandscope: real-time audio spectrum analyser.

#include <QApplication>
#include <cstdio>

#include "app/command_line.h"
#include "app/form.h"

int main(int argc, char** argv) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  // Before any window: a bad command line opens none.
  const bandscope::CommandLineResult parsed = bandscope::parseCommandLine(arguments);
  if (parsed.outcome == bandscope::CommandLineResult::Outcome::Error) {
    std::fputs(parsed.message.toLocal8Bit().constData(), stderr);
    return 2;
  }
  if (parsed.outcome == bandscope::CommandLineResult::Outcome::Exit) {
    std::fputs(parsed.message.toLocal8Bit().constData(), stdout);
    return 0;
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("bandscope"));
  QApplication::setApplicationVersion(QStringLiteral("1.0"));
  bandscope::TForm1 Form1(parsed.line);
  Form1.show();
  return QApplication::exec();
}
