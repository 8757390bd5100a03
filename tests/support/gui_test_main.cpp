// Test entry for tests that need Qt's GUI: one QApplication for the whole run, on the
// display the test command started for this process. Each test, and each program it starts,
// has an empty config folder of its own: no settings of the user's nor of an earlier test.

#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>
#include <optional>

namespace {

class OwnConfigFolder : public testing::EmptyTestEventListener {
  void OnTestStart(const testing::TestInfo&) override {
    folder_.emplace();
    qputenv("XDG_CONFIG_HOME", folder_->path().toLocal8Bit());
  }
  void OnTestEnd(const testing::TestInfo&) override { folder_.reset(); }

  std::optional<QTemporaryDir> folder_;
};

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  testing::UnitTest::GetInstance()->listeners().Append(new OwnConfigFolder);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
