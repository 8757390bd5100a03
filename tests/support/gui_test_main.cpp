// Test entry for tests that need Qt's GUI: one QApplication for the whole run, on the
// display the test command started for this process.

#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
