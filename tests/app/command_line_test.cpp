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

TEST(CommandLine, WindowNumbersAreDecimalOrHexAndNeverOverflow) {
  EXPECT_EQ(parseCommandLine("b /p 0x2a").window, 42) << "X window ids are written in hex";
  EXPECT_EQ(parseCommandLine("b /p 0X1A00007").window, 0x1a00007);
  EXPECT_EQ(parseCommandLine("b /p 0x").window, 0) << "no hex digit: the 0 alone";
  EXPECT_EQ(parseCommandLine("b /p 42abc").window, 42);
  EXPECT_EQ(parseCommandLine("b /c:0x10").window, 16);
  EXPECT_EQ(parseCommandLine("b /p 99999999999999999999999").window, INT64_MAX);
  EXPECT_EQ(parseCommandLine("b /p 0xffffffffffffffffff").window, INT64_MAX);
}

TEST(CommandLine, ComposedFromArgumentsQuotesAProgramNameWithBlanks) {
  EXPECT_EQ(brassmoor::composeCommandLine({"/usr/bin/brassmoor", "/p", "42"}), "/usr/bin/brassmoor /p 42");
  EXPECT_EQ(brassmoor::composeCommandLine({"/opt/my apps/brassmoor", "-s"}), "\"/opt/my apps/brassmoor\" -s");
  EXPECT_EQ(parseCommandLine(brassmoor::composeCommandLine({"/opt/my apps/b-x", "/p", "8"})),
            (CommandLine{Mode::Preview, 8}));
}

TEST(RunOptions, PortOptionsAreTakenOffBeforeTheSwitches) {
  std::vector<std::string> args = {"brassmoor",  "--window", "640x480",     "/p",         "--frames",  "3",
                                   "42",         "--time",   "13:07:45.5",  "--seed",     "7",         "-fps",
                                   "-window-id", "0x2a",     "--record",    "out/frames", "--seconds", "2.5",
                                   "--tour",     "c3",       "--tour-time", "12",         "--max-fps", "30"};
  brassmoor::RunOptions o;
  std::string error;
  ASSERT_TRUE(brassmoor::extractRunOptions(args, o, error)) << error;
  EXPECT_EQ(args, (std::vector<std::string>{"brassmoor", "/p", "42"}));
  ASSERT_TRUE(o.windowSize);
  EXPECT_EQ(o.windowSize->first, 640);
  EXPECT_EQ(o.windowSize->second, 480);
  EXPECT_EQ(o.frames, 3);
  EXPECT_EQ(o.frameCap, 30);
  EXPECT_EQ(brassmoor::frameCap(o), 30) << "a cap given wins over the host's default";
  ASSERT_TRUE(o.startTime);
  EXPECT_EQ(o.startTime->hour, 13);
  EXPECT_EQ(o.startTime->minute, 7);
  EXPECT_EQ(o.startTime->second, 45);
  EXPECT_EQ(o.startTime->milliseconds, 500);
  EXPECT_EQ(o.seed, 7u);
  EXPECT_TRUE(o.showFps);
  EXPECT_EQ(o.windowId, 42u);
  EXPECT_EQ(o.recordDir, "out/frames");
  EXPECT_DOUBLE_EQ(*o.seconds, 2.5);
  EXPECT_EQ(o.tour, "c3");
  EXPECT_DOUBLE_EQ(*o.tourTime, 12.0);
  EXPECT_EQ(parseCommandLine(brassmoor::composeCommandLine(args)), (CommandLine{Mode::Preview, 42}));
}

TEST(RunOptions, MalformedValuesAreRefusedWithAReason) {
  const std::vector<std::vector<std::string>> bad = {
      {"b", "--window"},          {"b", "--window", "640"},     {"b", "--window", "0x480"},
      {"b", "--window", "64x-4"}, {"b", "--frames", "0"},       {"b", "--frames", "ten"},
      {"b", "--seconds", "-1"},   {"b", "--seconds", "nan"},    {"b", "--time", "24:00:00"},
      {"b", "--time", "1:2:3"},   {"b", "--time", "12:60:00"},  {"b", "--time", "12:00:00.1234"},
      {"b", "--seed", "-3"},      {"b", "-window-id", "0xZZ"},  {"b", "-window-id", "0"},
      {"b", "--screenshot", ""},  {"b", "--tour-time", "-0.5"}, {"b", "--volume", "101"},
      {"b", "-volume", "-1"},     {"b", "--gamma", "-101"},     {"b", "--gamma", "1e2"},
      {"b", "--photo"},           {"b", "--max-fps", "-1"},     {"b", "--max-fps", "1001"},
      {"b", "--lightning", "on"}, {"b", "--lightning", "3"},    {"b", "--chimes"},
      {"b", "-chimes", "halves"},
  };
  for (auto args : bad) {
    brassmoor::RunOptions o;
    std::string error;
    EXPECT_FALSE(brassmoor::extractRunOptions(args, o, error)) << args[1] << " " << (args.size() > 2 ? args[2] : "");
    EXPECT_NE(error.find(args[1]), std::string::npos) << error;
  }
}

TEST(RunOptions, HostSettingsOverrideTheStoredOnesForTheRunOnly) {
  std::vector<std::string> args = {"brassmoor",   "-root", "--no-music", "-no-sound",
                                   "--no-time",   "-24h",  "--volume",   "80",
                                   "-gamma",      "-35",   "--photo",    "/tmp/my picture.jpg",
                                   "--lightning", "SOFT",  "-chimes",    "hours"};
  brassmoor::RunOptions o;
  std::string error;
  ASSERT_TRUE(brassmoor::extractRunOptions(args, o, error)) << error;
  EXPECT_EQ(args, (std::vector<std::string>{"brassmoor"})) << "a photo path with a slash is no switch";

  brassmoor::SaverSettings stored;
  stored.ExitOnMM = true;
  stored.PhotoPath = "/home/me/old.jpg";
  brassmoor::SaverSettings run = stored;
  brassmoor::applyRunOptions(o, run);
  EXPECT_FALSE(run.Music);
  EXPECT_FALSE(run.Sound);
  EXPECT_FALSE(run.ShowTime);
  EXPECT_TRUE(run.TimeStyle);
  EXPECT_EQ(run.Volume, 80);
  EXPECT_EQ(run.Gamma, -35);
  EXPECT_EQ(run.PhotoPath, "/tmp/my picture.jpg");
  EXPECT_EQ(run.Lightning, 1);
  EXPECT_EQ(run.Chimes, 1);
  EXPECT_FALSE(run.ExitOnMM) << "in a host's window the host ends the saver";
  EXPECT_EQ(run.Width, stored.Width);

  // Without options a run of its own keeps every stored value; the positive spellings
  // switch back on what the stored settings turned off.
  brassmoor::RunOptions none;
  run = stored;
  brassmoor::applyRunOptions(none, run);
  EXPECT_EQ(run, stored);
  args = {"brassmoor", "--music", "--sound", "--show-time", "--12h", "/s"};
  brassmoor::RunOptions on;
  ASSERT_TRUE(brassmoor::extractRunOptions(args, on, error)) << error;
  stored.Music = stored.Sound = stored.ShowTime = false;
  stored.TimeStyle = true;
  run = stored;
  brassmoor::applyRunOptions(on, run);
  EXPECT_TRUE(run.Music && run.Sound && run.ShowTime);
  EXPECT_FALSE(run.TimeStyle);
  EXPECT_TRUE(run.ExitOnMM) << "a run of its own keeps the user's choice";

  // A host's menus pass one word each: a form of the time shows the time, the frame rate
  // goes both ways.
  for (const auto& [option, showFps] : {std::pair{"--no-fps", false}, std::pair{"-fps", true}}) {
    args = {"brassmoor", "--24h", option};
    brassmoor::RunOptions host;
    ASSERT_TRUE(brassmoor::extractRunOptions(args, host, error)) << error;
    stored.ShowTime = stored.TimeStyle = false;
    stored.ShowFps = !showFps;
    run = stored;
    brassmoor::applyRunOptions(host, run);
    EXPECT_TRUE(run.ShowTime && run.TimeStyle) << option;
    EXPECT_EQ(run.ShowFps, showFps) << option;
  }
}

TEST(RunOptions, HostWindowComesFromTheOptionOrTheHostsEnvironment) {
  brassmoor::RunOptions o;
  EXPECT_FALSE(brassmoor::hostWindowTarget(o));
  o.root = true;
  EXPECT_EQ(brassmoor::hostWindowTarget(o), 0u) << "-root alone draws on the root window";

  brassmoor::takeHostEnvironment(o, "0x1a00007");
  EXPECT_EQ(brassmoor::hostWindowTarget(o), 0x1a00007u);
  brassmoor::takeHostEnvironment(o, "12345");
  EXPECT_EQ(o.windowId, 0x1a00007u) << "the window already named wins";

  for (const char* junk : {"", "0", "0x", "window", "12abc", "-5", "0x1ffffffffffffffff"}) {
    brassmoor::RunOptions p;
    brassmoor::takeHostEnvironment(p, junk);
    EXPECT_FALSE(p.windowId) << junk;
  }
  brassmoor::RunOptions q;
  brassmoor::takeHostEnvironment(q, nullptr);
  EXPECT_FALSE(q.windowId);
  brassmoor::takeHostEnvironment(q, "4097");
  EXPECT_EQ(q.windowId, 4097u);
}

TEST(RunOptions, UnknownLongOptionsAreMistakesButSwitchesAndHostExtrasPass) {
  std::vector<std::string> args = {"b", "--bogus", "/s"};
  brassmoor::RunOptions o;
  std::string error;
  EXPECT_FALSE(brassmoor::extractRunOptions(args, o, error));
  EXPECT_EQ(error, "unknown option --bogus");

  // Host switches with one dash stay for the screensaver command line; the host's visual and
  // colormap options are taken off and change nothing.
  args = {"b", "-h", "-s", "-visual", "0x21", "-install", "--verbose"};
  brassmoor::RunOptions p;
  ASSERT_TRUE(brassmoor::extractRunOptions(args, p, error)) << error;
  EXPECT_TRUE(p.help);
  EXPECT_TRUE(p.verbose);
  EXPECT_EQ(args, (std::vector<std::string>{"b", "-s"}));

  setenv("BRASSMOOR_VERBOSE", "1", 1);
  args = {"b"};
  brassmoor::RunOptions q;
  ASSERT_TRUE(brassmoor::extractRunOptions(args, q, error));
  EXPECT_TRUE(q.verbose) << "the environment asks for the trace too";
  setenv("BRASSMOOR_VERBOSE", "0", 1);
  brassmoor::RunOptions r;
  ASSERT_TRUE(brassmoor::extractRunOptions(args, r, error));
  EXPECT_FALSE(r.verbose);
  unsetenv("BRASSMOOR_VERBOSE");
}

TEST(RunOptions, UsageListsEveryOptionThatTakesEffect) {
  const std::string usage = brassmoor::usageText();
  for (const char* name : {"--window WxH", "--frames N", "--max-fps N", "--music, --no-music", "--24h, --12h",
                           "--volume 0..100", "--verbose", "--help, -h", "--window-id ID"})
    EXPECT_NE(usage.find(name), std::string::npos) << name;
  EXPECT_EQ(usage.find("--visual"), std::string::npos) << "what changes nothing is not offered";
}

}  // namespace
