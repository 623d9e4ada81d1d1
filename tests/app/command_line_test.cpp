#include "app/command_line.h"

#include <gtest/gtest.h>

#include "app/run_options.h"

namespace {

using brassmoor::CommandLine;
using brassmoor::parseCommandLine;
using Mode = brassmoor::ScreensaverMode;

struct Case {
  const char* line;
  Mode mode;
  int64_t window;
};

TEST(CommandLine, HostSwitchesGiveTheirModesAndWindows) {
  const Case cases[] = {
      {"", Mode::Config, 0},
      {"brassmoor", Mode::Config, 0},
      {"brassmoor ", Mode::Config, 0},
      {"brassmoor /c", Mode::Config, 0},
      {"brassmoor -C", Mode::Config, 0},
      {"brassmoor /c:1234", Mode::Config, 1234},
      {"brassmoor /s", Mode::Full, 0},
      {"brassmoor /S", Mode::Full, 0},
      {"brassmoor /x", Mode::Full, 0},
      {"brassmoor / ", Mode::Full, 0},
      {"brassmoor /", Mode::Full, 0},
      {"brassmoor /t", Mode::Test, 0},
      {"brassmoor -T", Mode::Test, 0},
      {"brassmoor /p 12345", Mode::Preview, 12345},
      {"brassmoor /P12345", Mode::Preview, 12345},
      {"brassmoor /p", Mode::Preview, 0},
      {"brassmoor /p window 77 88", Mode::Preview, 77},
      {"brassmoor /a 123", Mode::Password, 123},
      {"brassmoor -a", Mode::Password, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(parseCommandLine(c.line), (CommandLine{c.mode, c.window})) << '"' << c.line << '"';
  }
}

TEST(CommandLine, EveryOtherCharacterAfterTheSwitchRunsTheSaver) {
  for (const char* line : {"b /[", "b /_", "b /`", "b /Z", "b /~", "b /1", "b /\x7f", "b /\xe9", "b --window"}) {
    EXPECT_EQ(parseCommandLine(line).mode, Mode::Full) << line;
  }
  // The first switch decides; a dash inside a later word is a switch too.
  EXPECT_EQ(parseCommandLine("b /s /p 5").mode, Mode::Full);
  EXPECT_EQ(parseCommandLine("b x-p 9"), (CommandLine{Mode::Preview, 9}));
}

TEST(CommandLine, ProgramNameIsSkippedBeforeSwitchesAreLookedFor) {
  EXPECT_EQ(parseCommandLine("\"/opt/my-saver/bin/brassmoor\""), (CommandLine{Mode::Config, 0}));
  EXPECT_EQ(parseCommandLine("\"C:\\my-dir\\b.scr\" /p 5"), (CommandLine{Mode::Preview, 5}));
  EXPECT_EQ(parseCommandLine("\"/opt/my dir/b\"/t"), (CommandLine{Mode::Test, 0}));
  EXPECT_EQ(parseCommandLine("\"/unterminated -s"), (CommandLine{Mode::Config, 0}));
  EXPECT_EQ(parseCommandLine("/usr/bin/brassmoor"), (CommandLine{Mode::Config, 0}));
  EXPECT_EQ(parseCommandLine("/usr/bin/brassmoor /p 3"), (CommandLine{Mode::Preview, 3}));
  EXPECT_EQ(parseCommandLine("./brass-moor /t"), (CommandLine{Mode::Test, 0}));
}

TEST(CommandLine, WindowNumbersReadOnlyDigitsAndNeverOverflow) {
  EXPECT_EQ(parseCommandLine("b /p 0x2a").window, 0);  // decimal digits only, as hosts pass them
  EXPECT_EQ(parseCommandLine("b /p 42abc").window, 42);
  EXPECT_EQ(parseCommandLine("b /p 99999999999999999999999").window, INT64_MAX);
}

TEST(CommandLine, ComposedFromArgumentsQuotesAProgramNameWithBlanks) {
  EXPECT_EQ(brassmoor::composeCommandLine({"/usr/bin/brassmoor", "/p", "42"}), "/usr/bin/brassmoor /p 42");
  EXPECT_EQ(brassmoor::composeCommandLine({"/opt/my apps/brassmoor", "-s"}), "\"/opt/my apps/brassmoor\" -s");
  EXPECT_EQ(parseCommandLine(brassmoor::composeCommandLine({"/opt/my apps/b-x", "/p", "8"})),
            (CommandLine{Mode::Preview, 8}));
}

TEST(RunOptions, PortOptionsAreTakenOffBeforeTheSwitches) {
  std::vector<std::string> args = {"brassmoor", "--window", "640x480", "/p", "--frames", "3", "42",
                                   "--time",    "13:07:45.5", "--seed", "7", "-fps", "-window-id", "0x2a",
                                   "--record",  "out/frames", "--seconds", "2.5", "--tour", "c3", "--tour-time", "12"};
  brassmoor::RunOptions o;
  std::string error;
  ASSERT_TRUE(brassmoor::extractRunOptions(args, o, error)) << error;
  EXPECT_EQ(args, (std::vector<std::string>{"brassmoor", "/p", "42"}));
  ASSERT_TRUE(o.windowSize);
  EXPECT_EQ(o.windowSize->first, 640);
  EXPECT_EQ(o.windowSize->second, 480);
  EXPECT_EQ(o.frames, 3);
  ASSERT_TRUE(o.startTime);
  EXPECT_EQ(o.startTime->hour, 13);
  EXPECT_EQ(o.startTime->minute, 7);
  EXPECT_EQ(o.startTime->second, 45);
  EXPECT_EQ(o.startTime->milliseconds, 500);
  EXPECT_EQ(o.seed, 7u);
  EXPECT_TRUE(o.fps);
  EXPECT_EQ(o.windowId, 42u);
  EXPECT_EQ(o.recordDir, "out/frames");
  EXPECT_DOUBLE_EQ(*o.seconds, 2.5);
  EXPECT_EQ(o.tour, "c3");
  EXPECT_DOUBLE_EQ(*o.tourTime, 12.0);
  EXPECT_EQ(parseCommandLine(brassmoor::composeCommandLine(args)), (CommandLine{Mode::Preview, 42}));
}

TEST(RunOptions, MalformedValuesAreRefusedWithAReason) {
  const std::vector<std::vector<std::string>> bad = {
      {"b", "--window"},          {"b", "--window", "640"},       {"b", "--window", "0x480"},
      {"b", "--window", "64x-4"}, {"b", "--frames", "0"},         {"b", "--frames", "ten"},
      {"b", "--seconds", "-1"},   {"b", "--seconds", "nan"},      {"b", "--time", "24:00:00"},
      {"b", "--time", "1:2:3"},   {"b", "--time", "12:60:00"},    {"b", "--time", "12:00:00.1234"},
      {"b", "--seed", "-3"},      {"b", "-window-id", "0xZZ"},    {"b", "-window-id", "0"},
      {"b", "--screenshot", ""},  {"b", "--tour-time", "-0.5"},
  };
  for (auto args : bad) {
    brassmoor::RunOptions o;
    std::string error;
    EXPECT_FALSE(brassmoor::extractRunOptions(args, o, error)) << args[1] << " " << (args.size() > 2 ? args[2] : "");
    EXPECT_NE(error.find(args[1]), std::string::npos) << error;
  }
}

}  // namespace
