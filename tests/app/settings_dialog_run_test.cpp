// The settings dialog as a user meets it: the executable started with "/c" on an X server of
// the test's own, driven with the mouse through xdotool; OK writes what was changed, Cancel
// writes nothing.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/dialog/dialog_box.h"
#include "platform/dialog/gtk_dialog.h"
#include "settings/settings_store.h"
#include "tests/app/process.h"
#include "tests/platform/registry/scoped_config_dir.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace std::chrono_literals;
using testsupport::Process;
using testsupport::shellOutput;

const std::string kExe = BRASSMOOR_EXECUTABLE;

class SettingsDialogRun : public ::testing::Test {
 protected:
  void SetUp() override {
    if (server_.display().empty()) GTEST_SKIP() << "needs Xvfb";
    setenv("DISPLAY", server_.display().c_str(), 1);
    // The dialog is laid out from the same measured font as this process measures.
    units_ = platform::measuredDialogBaseUnits();
  }

  // Waits for the dialog's window; its X id or 0.
  uint64_t waitForDialog(Process& p) {
    for (int i = 0; i < 150; ++i) {
      const std::string ids = shellOutput("xdotool search --onlyvisible --pid " + std::to_string(p.pid()) +
                                          " --name '^Brassmoor Configuration$' 2>/dev/null");
      if (!ids.empty()) {
        std::this_thread::sleep_for(700ms);  // let it draw before it is clicked
        return std::strtoull(ids.c_str(), nullptr, 10);
      }
      if (p.wait(0ms)) return 0;
      std::this_thread::sleep_for(100ms);
    }
    return 0;
  }

  // A point inside the control at (x, y, width, height) dialog units: `fx`, `fy` are the
  // fractions of its width and height; `raise` pixels up for the buttons the dialog moves.
  std::string at(uint64_t window, int x, int y, int w, int h, double fx, double fy, int raise = 0) const {
    const platform::PixelRect r = platform::dialogUnitsToPixels(x, y, w, h, units_);
    const int px = r.x + static_cast<int>(r.width * fx), py = r.y + static_cast<int>(r.height * fy) - raise;
    return "mousemove --window " + std::to_string(window) + " " + std::to_string(px) + " " + std::to_string(py);
  }

  void xdotool(const std::string& commands) {
    shellOutput("xdotool " + commands);
    std::this_thread::sleep_for(250ms);
  }

  // Ticks Show FPS and drags the volume slider to its right end.
  void tickShowFpsAndRaiseVolume(uint64_t w) {
    xdotool(at(w, 215, 136, 76, 10, 0.05, 0.5) + " click 1");
    xdotool(at(w, 75, 55, 119, 13, 0.5, 0.5) + " mousedown 1");
    xdotool(at(w, 75, 55, 119, 13, 1.3, 0.5) + " mouseup 1");
  }

  testsupport::PrivateXServer server_;
  testsupport::ScopedConfigDir config_;
  platform::DialogBaseUnits units_;
};

TEST_F(SettingsDialogRun, OkStoresTheChangesAndCancelLeavesTheFileAlone) {
  {
    Process p({kExe, "/c"});
    ASSERT_TRUE(p.started());
    const uint64_t w = waitForDialog(p);
    ASSERT_NE(w, 0u) << "no settings dialog appeared";
    tickShowFpsAndRaiseVolume(w);
    xdotool(at(w, 248, 242, 59, 13, 0.5, 0.5, 47) + " click 1");  // OK
    EXPECT_EQ(p.wait(10s), 1);
  }
  brassmoor::SaverSettings stored;
  stored.Volume = -1;
  ASSERT_TRUE(brassmoor::loadSettingsFromRegistry(stored));
  EXPECT_TRUE(stored.ShowFps);
  EXPECT_EQ(stored.Volume, 100);
  EXPECT_TRUE(stored.UseDesktop) << "untouched settings keep their defaults";
  EXPECT_EQ(stored.Gamma, 0);
  const std::string afterOk = testsupport::readFileBytes(config_.file());

  {
    Process p({kExe, "-c"});
    ASSERT_TRUE(p.started());
    const uint64_t w = waitForDialog(p);
    ASSERT_NE(w, 0u);
    tickShowFpsAndRaiseVolume(w);
    xdotool(at(w, 312, 242, 59, 13, 0.5, 0.5, 47) + " click 1");  // Cancel
    EXPECT_EQ(p.wait(10s), 1);
  }
  EXPECT_EQ(testsupport::readFileBytes(config_.file()), afterOk);
}

}  // namespace
