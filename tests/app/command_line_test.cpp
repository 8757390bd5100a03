#include "app/command_line.h"

#include <gtest/gtest.h>

namespace bandscope {
namespace {

CommandLineResult parse(QStringList args) {
  args.prepend(QStringLiteral("bandscope"));
  return parseCommandLine(args);
}

uint16_t bandsFrom(QStringList args) {
  const CommandLineResult r = parse(std::move(args));
  EXPECT_EQ(r.outcome, CommandLineResult::Outcome::Run) << r.message.toStdString();
  return bandCountFor(r.line);
}

TEST(CommandLine, BandCountFollowsTheParameterWithinTheBarsRange) {
  EXPECT_EQ(bandsFrom({}), 192);
  EXPECT_EQ(bandsFrom({"8"}), 8);
  EXPECT_EQ(bandsFrom({"3"}), 8) << "raised to the smallest count";
  EXPECT_EQ(bandsFrom({"512"}), 512);
  EXPECT_EQ(bandsFrom({"1000"}), 512);
  EXPECT_EQ(bandsFrom({"-1"}), 512) << "-1 is 65535 in 16 bits";
  EXPECT_EQ(bandsFrom({"65544"}), 8) << "65544 is 8 in 16 bits";
  EXPECT_EQ(bandsFrom({"-1", "--frames", "3"}), 512);
  EXPECT_EQ(parse({"-1"}).line.bandParameter, 65535);
}

TEST(CommandLine, FramesAndScreenshot) {
  const CommandLineResult r = parse({"--frames", "30", "--screenshot", "out.png", "256"});
  ASSERT_EQ(r.outcome, CommandLineResult::Outcome::Run);
  EXPECT_EQ(r.line.frames, 30);
  EXPECT_EQ(r.line.screenshot, QStringLiteral("out.png"));
  EXPECT_EQ(bandCountFor(r.line), 256);
}

TEST(CommandLine, CaptureAndStartOptions) {
  const CommandLineResult r =
      parse({"--input", "a.wav", "--offline", "--frames", "5", "--export-csv", "out.csv", "--mono",
             "--no-phon", "--time-scale", "128", "--device", "3"});
  ASSERT_EQ(r.outcome, CommandLineResult::Outcome::Run) << r.message.toStdString();
  EXPECT_EQ(r.line.input, QStringLiteral("a.wav"));
  EXPECT_TRUE(r.line.offline);
  EXPECT_EQ(r.line.exportCsv, QStringLiteral("out.csv"));
  EXPECT_TRUE(r.line.mono);
  EXPECT_TRUE(r.line.noPhon);
  EXPECT_EQ(r.line.timeScale, 128);
  EXPECT_EQ(r.line.device, 3);
  const CommandLine defaults = parse({}).line;
  EXPECT_EQ(defaults.timeScale, 2);
  EXPECT_EQ(defaults.device, 0);
  EXPECT_FALSE(defaults.mono || defaults.noPhon || defaults.offline);
}

TEST(CommandLine, BadArgumentsAreNamedWithTheUsage) {
  const struct {
    QStringList args;
    const char* named;
  } cases[] = {{{"abc"}, "'abc' is not a decimal integer"},
               {{"12x"}, "'12x'"},
               {{"99999999999"}, "'99999999999'"},
               {{"--bogus"}, "bogus"},
               {{"--frames", "0"}, "--frames"},
               {{"--frames", "3", "--screenshot", "a.jpg"}, ".png or .bmp"},
               {{"--screenshot", "a.png"}, "needs --frames"},
               {{"8", "9"}, "'9'"},
               {{"--time-scale", "3"}, "--time-scale"},
               {{"--time-scale", "256"}, "--time-scale"},
               {{"--device", "-1"}, "--device"},
               {{"--offline"}, "needs --input"},
               {{"--export-csv", "a.csv"}, "needs --frames"}};
  for (const auto& c : cases) {
    const CommandLineResult r = parse(c.args);
    EXPECT_EQ(r.outcome, CommandLineResult::Outcome::Error) << c.named;
    EXPECT_TRUE(r.message.contains(QString::fromUtf8(c.named))) << r.message.toStdString();
    EXPECT_TRUE(r.message.contains(QStringLiteral("Usage: bandscope"))) << c.named;
  }
  EXPECT_EQ(parse({"--help"}).outcome, CommandLineResult::Outcome::Exit);
  EXPECT_EQ(parse({"--version"}).message, QStringLiteral("bandscope 1.0\n"));
}

}  // namespace
}  // namespace bandscope
