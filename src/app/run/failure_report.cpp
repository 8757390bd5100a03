#include "app/run/failure_report.h"

#include <QCoreApplication>
#include <cstdio>

namespace bandscope {

void printFailure(std::string_view text) {
  std::fprintf(stderr, "bandscope: %.*s\n", static_cast<int>(text.size()), text.data());
}

int failRun(const Failure& failure) {
  printFailure(failure.text);
  return kFailedRunStatus;
}

void endRunOnFailure(const Failure& failure) {
  printFailure(failure.text);
  QCoreApplication::exit(kFailedRunStatus);
}

QString statusText(const Failure& failure) {
  return QString::fromStdString(failure.text);
}

}  // namespace bandscope
