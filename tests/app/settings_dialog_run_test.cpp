// The settings dialog as a user meets it: the executable started with "/c" on an X server of
// the test's own (1280 x 720), driven from the keyboard alone through xdotool. Tab walks the
// groups from top to bottom, Enter is OK and writes what was changed, Esc is Cancel and writes
// nothing, and so does a request to end the process; at a larger text size or a doubled scale
// the whole dialog still fits the screen.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>

#include "settings/settings_store.h"
#include "tests/app/private_display_test.h"
#include "tests/app/process.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace std::chrono_literals;
using testsupport::Process;
using testsupport::shellOutput;

const std::string kExe = BRASSMOOR_EXECUTABLE;

class SettingsDialogRun : public testsupport::PrivateDisplayTest {
 protected:
  void TearDown() override {
    unsetenv("GDK_SCALE");
    unsetenv("GDK_DPI_SCALE");
  }

  // Waits for the dialog's window; its X id or 0.
  uint64_t waitForDialog(Process& p) {
    for (int i = 0; i < 150; ++i) {
      const std::string ids = shellOutput("xdotool search --onlyvisible --pid " + std::to_string(p.pid()) +
                                          " --name '^Brassmoor Configuration$' 2>/dev/null");
      if (!ids.empty()) {
        std::this_thread::sleep_for(700ms);  // let it draw before keys reach it
        return std::strtoull(ids.c_str(), nullptr, 10);
      }
      if (p.wait(0ms)) return 0;
      std::this_thread::sleep_for(100ms);
    }
    return 0;
  }

  // Keys, one after the other, to the dialog that has the focus.
  void keys(uint64_t window, const std::string& names) {
    shellOutput("xdotool windowfocus --sync " + std::to_string(window) + " key --delay 60 " + names);
    std::this_thread::sleep_for(300ms);
  }

  struct Geometry {
    int x = 0, y = 0, width = 0, height = 0;
  };
  Geometry geometry(uint64_t window) {
    Geometry g;
    std::istringstream in(shellOutput("xdotool getwindowgeometry --shell " + std::to_string(window)));
    std::string line;
    while (std::getline(in, line)) {
      const auto eq = line.find('=');
      if (eq == std::string::npos) continue;
      const int value = std::atoi(line.c_str() + eq + 1);
      const std::string key = line.substr(0, eq);
      if (key == "X") g.x = value;
      if (key == "Y") g.y = value;
      if (key == "WIDTH") g.width = value;
      if (key == "HEIGHT") g.height = value;
    }
    return g;
  }
};

TEST_F(SettingsDialogRun, TabWalksTheGroupsInOrderEnterSavesAndEscapeCancels) {
  {
    Process p({kExe, "/c"});
    ASSERT_TRUE(p.started());
    const uint64_t w = waitForDialog(p);
    ASSERT_NE(w, 0u) << "no settings dialog appeared";
    // The focus starts on "Use Desktop Settings"; clearing it opens the mode list, next in
    // the video group, and the frame-rate list after it. Then the sound group (volume, music, SFX, chimes), the graphics group
    // (gamma), the picture group (path, Browse, Restore Default Picture) and the misc group
    // (Show FPS).
    keys(w, "space Tab Tab Tab Right Right Right Tab space Tab Tab Tab Left Left Tab Tab Tab Tab space Return");
    EXPECT_EQ(p.wait(10s), 1);
  }
  brassmoor::SaverSettings stored;
  ASSERT_TRUE(brassmoor::loadSettingsFromRegistry(stored));
  EXPECT_FALSE(stored.UseDesktop);
  EXPECT_EQ(stored.Volume, 53);
  EXPECT_FALSE(stored.Music);
  EXPECT_TRUE(stored.Sound) << "the focus passed over it";
  EXPECT_EQ(stored.Gamma, -2);
  EXPECT_TRUE(stored.ShowFps);
  EXPECT_TRUE(stored.ShowTime) << "untouched settings keep their defaults";
  const std::string afterOk = testsupport::readFileBytes(config_.file());

  {
    Process p({kExe, "-c"});
    ASSERT_TRUE(p.started());
    const uint64_t w = waitForDialog(p);
    ASSERT_NE(w, 0u);
    keys(w, "space Tab Tab Right Right Escape");
    EXPECT_EQ(p.wait(10s), 1);
  }
  EXPECT_EQ(testsupport::readFileBytes(config_.file()), afterOk);

  // A request to end (the session closing) is Cancel too.
  {
    Process p({kExe, "/c"});
    ASSERT_TRUE(p.started());
    const uint64_t w = waitForDialog(p);
    ASSERT_NE(w, 0u);
    keys(w, "space");
    kill(p.pid(), SIGTERM);
    EXPECT_EQ(p.wait(10s), 1);
  }
  EXPECT_EQ(testsupport::readFileBytes(config_.file()), afterOk);
}

// The dialogs' toolkit is a module loaded when a dialog is first wanted: a saver run never maps
// it, and a program whose module is missing says why.
TEST_F(SettingsDialogRun, TheToolkitIsLoadedOnlyForADialogAndItsAbsenceIsSaid) {
  {
    Process p({kExe, "--window", "64x48", "--seconds", "30", "--no-sound", "--no-music"});
    ASSERT_TRUE(p.started());
    std::string ids;
    for (int i = 0; i < 150 && ids.empty() && !p.wait(0ms); ++i) {
      std::this_thread::sleep_for(100ms);
      ids = shellOutput("xdotool search --all --pid " + std::to_string(p.pid()) + " --name '^Brassmoor$' 2>/dev/null");
    }
    ASSERT_FALSE(ids.empty()) << "no saver window appeared";
    const std::string maps = testsupport::readFileBytes("/proc/" + std::to_string(p.pid()) + "/maps");
    EXPECT_NE(maps.find("libGL"), std::string::npos) << "the maps are read";
    EXPECT_EQ(maps.find("libgtk-3"), std::string::npos) << "a saver run maps no dialog toolkit";
    kill(p.pid(), SIGTERM);
    p.wait(10s);
  }
  testsupport::TempDir alone;
  const std::filesystem::path copy = alone.path() / "brassmoor";
  std::filesystem::copy_file(kExe, copy);
  const std::string err = (alone.path() / "stderr").string();
  Process p({copy.string(), "/c"}, err);
  ASSERT_TRUE(p.started());
  EXPECT_EQ(p.wait(20s), 1);
  const std::string said = testsupport::readFileBytes(err);
  EXPECT_NE(said.find("brassmoor: dialogs cannot be shown: "), std::string::npos) << said;
  EXPECT_EQ(said.find("needs a display"), std::string::npos) << "the display is there: " << said;
}

TEST_F(SettingsDialogRun, LargerTextAndDoubleScaleStillFitTheScreen) {
  struct Case {
    const char* variable;
    const char* value;
    const char* screen;
    int screenWidth, screenHeight;
  };
  // 1.5 times the text on an 800 x 600 screen; twice the scale on a 1280 x 720 one.
  for (const Case& c :
       {Case{"GDK_DPI_SCALE", "1.5", "800x600x24", 800, 600}, Case{"GDK_SCALE", "2", "1280x720x24", 1280, 720}}) {
    SCOPED_TRACE(c.variable);
    testsupport::PrivateXServer server(c.screen);
    ASSERT_FALSE(server.display().empty());
    setenv("DISPLAY", server.display().c_str(), 1);
    setenv(c.variable, c.value, 1);
    Process p({kExe, "/c"});
    unsetenv(c.variable);
    ASSERT_TRUE(p.started());
    const uint64_t w = waitForDialog(p);
    ASSERT_NE(w, 0u);
    const Geometry g = geometry(w);
    EXPECT_GT(g.width, 300);
    EXPECT_LE(g.width, c.screenWidth);
    EXPECT_LE(g.height, c.screenHeight);
    keys(w, "Escape");
    EXPECT_EQ(p.wait(10s), 1);
  }
}

}  // namespace
