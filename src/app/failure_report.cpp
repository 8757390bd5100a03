#include "app/failure_report.h"

#include <QCoreApplication>
#include <QMessageBox>
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

void showFailureBox(QWidget* parent, const Failure& failure) {
  QMessageBox box(QMessageBox::Critical, QStringLiteral("bandscope"), statusText(failure),
                  QMessageBox::Ok, parent);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

}  // namespace bandscope
