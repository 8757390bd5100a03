#include "app/run/command_line.h"

#include <gtest/gtest.h>

#include "app/version.h"

namespace bandscope {
namespace {

CommandLineResult parse(std::vector<std::string> args) {
  args.insert(args.begin(), "bandscope");
  return parseCommandLine(args);
}

uint16_t bandsFrom(std::vector<std::string> args) {
  const CommandLineResult r = parse(std::move(args));
  EXPECT_EQ(r.outcome, CommandLineResult::Outcome::Run) << r.message;
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
  EXPECT_EQ(bandsFrom({"--frames", "3", "-1"}), 512);
  EXPECT_EQ(bandsFrom({"--mono", "-1"}), 512) << "a switch takes no value";
  EXPECT_EQ(bandsFrom({"--frames", "3", "--", "+16"}), 16);
  EXPECT_EQ(parse({"-1"}).line.bandParameter, 65535);
}

TEST(CommandLine, FramesAndScreenshot) {
  const CommandLineResult r = parse({"--frames", "30", "--screenshot", "out.png", "256"});
  ASSERT_EQ(r.outcome, CommandLineResult::Outcome::Run);
  EXPECT_EQ(r.line.frames, 30);
  EXPECT_EQ(r.line.screenshot, "out.png");
  EXPECT_EQ(bandCountFor(r.line), 256);
}

TEST(CommandLine, CaptureAndStartOptions) {
  const CommandLineResult r =
      parse({"--input",      "a.wav",         "--offline", "--frames",  "5",
             "--export-csv", "out.csv",       "--mono",    "--no-phon", "--time-scale",
             "128",          "--device",      "3",         "--max-fps", "0",
             "--stats",      "--no-settings", "--bits",    "16",        "--range=120"});
  ASSERT_EQ(r.outcome, CommandLineResult::Outcome::Run) << r.message;
  EXPECT_EQ(r.line.input, "a.wav");
  EXPECT_TRUE(r.line.offline);
  EXPECT_EQ(r.line.exportCsv, "out.csv");
  EXPECT_TRUE(r.line.mono);
  EXPECT_TRUE(r.line.noPhon);
  EXPECT_EQ(r.line.timeScale, 128);
  EXPECT_EQ(r.line.device, 3);
  EXPECT_EQ(r.line.maxFps, 0);
  EXPECT_TRUE(r.line.stats);
  EXPECT_TRUE(r.line.noSettings);
  EXPECT_EQ(r.line.sampleBits, 16);
  EXPECT_EQ(r.line.rangeDb, 120);
  EXPECT_EQ(parse({"--bits", "8", "--range", "60"}).line.rangeDb, 60);
  const CommandLine defaults = parse({}).line;
  EXPECT_FALSE(defaults.maxFps) << "the display's rate";
  EXPECT_FALSE(defaults.timeScale || defaults.device || defaults.sampleBits || defaults.rangeDb)
      << "the remembered ones";
  EXPECT_FALSE(defaults.mono || defaults.noPhon || defaults.offline || defaults.noSettings);
}

TEST(CommandLine, PathsAndInlineValuesAreKeptByteForByte) {
  const CommandLineResult r = parse({"--input=caf\xe9.wav", "--frames=5", "--export-csv",
                                     "\xff.csv", "--screenshot", "r\xc3\xa9sum\xe9.PNG"});
  ASSERT_EQ(r.outcome, CommandLineResult::Outcome::Run) << r.message;
  EXPECT_EQ(r.line.input, "caf\xe9.wav");
  EXPECT_EQ(r.line.frames, 5);
  EXPECT_EQ(r.line.exportCsv, "\xff.csv");
  EXPECT_EQ(r.line.screenshot, "r\xc3\xa9sum\xe9.PNG");
  EXPECT_EQ(parse({"--input", "--mono"}).line.input, "--mono")
      << "the next argument, whatever it is";
}

TEST(CommandLine, BadArgumentsAreNamedWithTheUsage) {
  const struct {
    std::vector<std::string> args;
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
               {{"--device", "-1"}, "bandscope: --device needs a device number"},
               {{"--max-fps", "-1"}, "bandscope: --max-fps needs a whole number"},
               {{"--frames", "-1"}, "bandscope: --frames needs a positive whole number\n"},
               {{"--frames=-1"}, "bandscope: --frames needs a positive whole number\n"},
               {{"--input", ""}, "bandscope: --input needs a file name\n"},
               {{"--frames", "3", "--export-csv", ""}, ": --export-csv needs a file name\n"},
               {{"--frames", "3", "--frames", "4"}, "bandscope: --frames given more than once\n"},
               {{"--input=a.wav", "--input", "a.wav"}, "bandscope: --input given more than once"},
               {{"--mono", "8", "--mono"}, "bandscope: --mono given more than once"},
               {{"-hh"}, "bandscope: --help given more than once"},
               {{"--max-fps", "sixty"}, "--max-fps"},
               {{"--max-fps", "1001"}, "--max-fps"},
               {{"--bits", "12"}, "bandscope: --bits needs 8 or 16\n"},
               {{"--bits", "24"}, "bandscope: --bits needs 8 or 16\n"},
               {{"--range", "0"}, "bandscope: --range needs one of 60, 90, 120 (dB)\n"},
               {{"--range", "x"}, "bandscope: --range needs one of 60, 90, 120 (dB)\n"},
               {{"--range=-90"}, "bandscope: --range needs one of 60, 90, 120"},
               {{"--bits", "16", "--bits=8"}, "--bits given more than once"},
               {{"--offline"}, "needs --input"},
               {{"--export-csv", "a.csv"}, "needs --frames"},
               {{"--bogus", "-xh"}, "bandscope: Unknown options: bogus, x.\n\nUsage: bandscope"},
               {{"-\xc3\xa9"}, "Unknown option '\xc3\xa9'."},
               {{"--stats", "--stats"}, "--stats given more than once"},
               {{"--mono=1"}, "Unexpected value after '--mono'."},
               {{"--no-settings=0"}, "Unexpected value after '--no-settings'."},
               {{"-h=1"}, "Unexpected value after '-h'."},
               {{"--bogus", "--frames"}, "bandscope: Missing value after '--frames'.\n"},
               {{"--", "--mono"}, "'--mono' is not a decimal"}};
  for (const auto& c : cases) {
    const CommandLineResult r = parse(c.args);
    EXPECT_EQ(r.outcome, CommandLineResult::Outcome::Error) << c.named;
    EXPECT_NE(r.message.find(c.named), std::string::npos) << r.message;
    EXPECT_NE(r.message.find("Usage: bandscope"), std::string::npos) << c.named;
  }
}

TEST(CommandLine, HelpAndVersionComeBeforeTheOtherChecks) {
  const std::string help = parse({"--help", "--frames", "0"}).message;
  EXPECT_EQ(parse({"-h"}).outcome, CommandLineResult::Outcome::Exit);
  EXPECT_EQ(parse({"--help-all"}).outcome, CommandLineResult::Outcome::Exit);
  EXPECT_EQ(parse({"--help-all"}).message, help);
  EXPECT_EQ(parse({"-vh"}).message, help);
  EXPECT_TRUE(help.starts_with("Usage: bandscope [options] BANDS\n"));
  EXPECT_NE(help.find("\n  -h, --help           Displays help on commandline options.\n"),
            std::string::npos);
  EXPECT_NE(help.find("\n  --screenshot <PATH>  After the last of --frames, save the display to "
                      "PATH\n                       (.png or .bmp).\n"),
            std::string::npos)
      << help;
  EXPECT_TRUE(
      help.ends_with("\n\nArguments:\n  BANDS                Number of frequency bands, "
                     "8 to 512 (192).\n"));
  EXPECT_EQ(parse({"--version", "abc"}).message, "bandscope " BANDSCOPE_VERSION "\n");
}

}  // namespace
}  // namespace bandscope
