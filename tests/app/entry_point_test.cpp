#include "app/entry_point.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/saver_application.h"
#include "tests/platform/registry/scoped_config_dir.h"
#include "tests/support/trace_capture.h"

namespace {

class ScriptedPresence final : public brassmoor::PresenceCheck {
 public:
  ScriptedPresence(bool ok, uint32_t version) : ok_(ok), version_(version) {}
  bool check(uint32_t& packed) override {
    ++checks;
    packed = version_;
    return ok_;
  }
  void showMissingDialog() override {
    if (!unreachable) ++dialogs;
  }
  bool displayUnreachable() const override { return unreachable; }
  int dialogs = 0;
  int checks = 0;
  bool unreachable = false;

 private:
  bool ok_;
  uint32_t version_;
};

int run(std::vector<std::string> args, brassmoor::PresenceCheck& presence) {
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  return brassmoor::runEntryPoint(static_cast<int>(argv.size()), argv.data(), presence);
}

TEST(EntryPoint, MissingOrOldGraphicsRuntimeSaysSoShowsTheDialogAndEndsWithItsOwnCode) {
  testsupport::ScopedConfigDir config;
  testsupport::TraceCapture trace;
  ScriptedPresence old(true, 0x00080102);  // 8.1b
  EXPECT_EQ(run({"brassmoor", "/s"}, old), brassmoor::exit_code::kNoOpenGL);
  EXPECT_EQ(old.dialogs, 1);
  ScriptedPresence none(false, 0);
  EXPECT_EQ(run({"brassmoor", "/s"}, none), brassmoor::exit_code::kNoOpenGL);
  EXPECT_EQ(none.dialogs, 1);
  EXPECT_TRUE(trace.texts().empty()) << "no trace before the check passed";
  ASSERT_EQ(trace.failures().size(), 2u);
  EXPECT_NE(trace.failures()[0].find("OpenGL 3.3"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(config.file())) << "nothing was created";

  // Under a host's window, or in a run a script limits, nobody could answer the dialog.
  for (std::vector<std::string> args : {std::vector<std::string>{"brassmoor", "-root"},
                                        {"brassmoor", "-window-id", "0x2a"},
                                        {"brassmoor", "--window", "64x48", "--frames", "2"},
                                        {"brassmoor", "/s", "--seconds", "3"}}) {
    ScriptedPresence hosted(false, 0);
    EXPECT_EQ(run(args, hosted), brassmoor::exit_code::kNoOpenGL) << args[1];
    EXPECT_EQ(hosted.dialogs, 0) << args[1];
  }

  // No display at all: no dialog can be shown, and the line names the display.
  ScriptedPresence unreachable(false, 0);
  unreachable.unreachable = true;
  trace.clear();
  EXPECT_EQ(run({"brassmoor", "/s"}, unreachable), brassmoor::exit_code::kNoDisplay);
  EXPECT_EQ(unreachable.dialogs, 0);
  ASSERT_EQ(trace.failures().size(), 1u);
  EXPECT_NE(trace.failures()[0].find("X display"), std::string::npos);
}

TEST(EntryPoint, PasswordRunTracesItsWaySaysWhyAndEndsWithTheWindowCode) {
  testsupport::ScopedConfigDir config;
  testsupport::TraceCapture trace;
  ScriptedPresence ok(true, 0x00090003);  // 9.0c
  EXPECT_EQ(run({"/usr/bin/brassmoor", "-a", "77"}, ok), brassmoor::exit_code::kNoWindow);
  EXPECT_EQ(ok.dialogs, 0);
  EXPECT_THAT(trace.texts(),
              ::testing::ElementsAre(::testing::StartsWith("\n>>Log started "), "DX version ok\n",
                                     "Running in mode: 4\n", "Log started \n", "Create function entered\n",
                                     ::testing::StartsWith("Register class return: "),
                                     "Failed creating Saver Windows\n", "\n<<Log closed"));
  ASSERT_EQ(trace.failures().size(), 1u);
  EXPECT_NE(trace.failures()[0].find("password"), std::string::npos);
  EXPECT_EQ(brassmoor::existingApplication(), nullptr) << "the application object is gone";
}

TEST(EntryPoint, CommandLineMistakesEndWithTwoAndHelpWithZero) {
  testsupport::ScopedConfigDir config;
  testsupport::TraceCapture trace;
  ScriptedPresence ok(true, 0x00090000);
  EXPECT_EQ(run({"brassmoor", "--seed", "5", "/a", "1"}, ok), brassmoor::exit_code::kNoWindow);
  EXPECT_TRUE(trace.contains("Running in mode: 4\n"));
  trace.clear();
  ok.checks = 0;
  EXPECT_EQ(run({"brassmoor", "--seconds", "soon", "/s"}, ok), 2);
  EXPECT_EQ(run({"brassmoor", "--bogus"}, ok), 2) << "an unknown option never starts the saver";
  EXPECT_EQ(run({"brassmoor", "--bogus", "/s"}, ok), 2);
  ASSERT_EQ(trace.failures().size(), 3u);
  EXPECT_EQ(trace.failures()[1], "unknown option --bogus");
  EXPECT_EQ(run({"brassmoor", "--version"}, ok), 0);
  EXPECT_EQ(run({"brassmoor", "-h"}, ok), 0);
  EXPECT_EQ(run({"brassmoor", "--help", "/s"}, ok), 0);
  EXPECT_TRUE(trace.texts().empty());
  EXPECT_EQ(ok.checks, 0) << "nothing of the display is touched for these";
}

TEST(EntryPoint, TraceDateTimeHasNoLeadingZerosWhereNoneAreWritten) {
  halcyon::SystemTime t;
  t.day = 7, t.month = 3, t.year = 2026, t.hour = 9, t.minute = 5, t.second = 3;
  EXPECT_EQ(brassmoor::traceDateTime(t), "7/3/2026, 9:05:03 ");
  t.day = 25, t.month = 12, t.hour = 23, t.minute = 59, t.second = 59;
  EXPECT_EQ(brassmoor::traceDateTime(t), "25/12/2026, 23:59:59 ");
}

}  // namespace
