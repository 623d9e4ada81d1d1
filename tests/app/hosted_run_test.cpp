// The saver inside a window that a screensaver host made: it fills the window, follows its
// size, ignores input, and ends cleanly on SIGTERM or when the host takes the window away.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "platform/window/window_factory.h"
#include "tests/app/private_display_test.h"
#include "tests/app/process.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using testsupport::Process;
using testsupport::shellOutput;

const std::string kExe = BRASSMOOR_EXECUTABLE;

struct Size {
  int width = 0;
  int height = 0;
  bool operator==(const Size&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Size& s) { return out << s.width << "x" << s.height; }

// Width and height from a PNG file's header; 0x0 when it is not (yet) a whole PNG.
Size pngSize(const fs::path& file) {
  const std::string bytes = testsupport::readFileBytes(file);
  if (bytes.size() < 24 || bytes.substr(1, 3) != "PNG") return {};
  auto at = [&](std::size_t i) { return static_cast<int>(static_cast<unsigned char>(bytes[i])); };
  return {at(16) << 24 | at(17) << 16 | at(18) << 8 | at(19), at(20) << 24 | at(21) << 16 | at(22) << 8 | at(23)};
}

// The size of the newest recorded frame (the one before the newest, which may be half
// written).
Size newestFrameSize(const fs::path& dir) {
  std::vector<fs::path> frames;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec)) frames.push_back(entry.path());
  if (frames.size() < 2) return {};
  std::sort(frames.begin(), frames.end());
  return pngSize(frames[frames.size() - 2]);
}

// Up to 30 s: the scene loads first, and the suite shares the machine's cores.
bool waitForFrameSize(Process& p, const fs::path& dir, Size expected, Size& last) {
  for (int i = 0; i < 300; ++i) {
    last = newestFrameSize(dir);
    if (last == expected) return true;
    if (p.wait(0ms)) return false;
    std::this_thread::sleep_for(100ms);
  }
  return false;
}

// Mean brightness 0..1 of a picture, by ImageMagick; -1 when it cannot be read.
double meanBrightness(const fs::path& file) {
  const std::string out = shellOutput("convert '" + file.string() +
                                      "' -colorspace Gray -format '%[fx:mean]' info: 2>/dev/null");
  return out.empty() ? -1.0 : std::strtod(out.c_str(), nullptr);
}

// The saver's window inside the host: the host's child named Brassmoor, as "WxH", or empty.
std::string childGeometry(uint64_t host) {
  return shellOutput(
      "xwininfo -children -id " + std::to_string(host) +
      " 2>/dev/null | awk '/\"Brassmoor\"/ {for (i = 1; i <= NF; ++i) if ($i ~ /^[0-9]+x[0-9]+[+]/) print $i}'"
      " | head -1 | cut -d+ -f1");
}

class HostedRun : public testsupport::PrivateDisplayTest {
 protected:
  void SetUp() override {
    PrivateDisplayTest::SetUp();
    if (IsSkipped()) return;
    unsetenv("XSCREENSAVER_WINDOW");
    platform::WindowClass hostClass;
    hostClass.name = "host";
    host_ = platform::createX11Window(hostClass, "host", platform::WS_VISIBLE, 0, {0, 0, 320, 240});
    ASSERT_NE(host_, nullptr);
  }
  void pumpHost() {
    platform::WindowMessage m;
    while (host_->peekMessage(m)) host_->dispatchMessage(m);
  }
  std::string hostId() const {
    char text[32];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(host_->x11Window()));
    return text;
  }
  void resizeHost(int w, int h) {
    shellOutput("xdotool windowsize " + std::to_string(host_->x11Window()) + " " + std::to_string(w) + " " +
                std::to_string(h));
  }

  testsupport::TempDir out_;
  std::unique_ptr<platform::SaverWindow> host_;
};

TEST_F(HostedRun, FollowsTheHostWindowThroughTwoResizesAndIgnoresInput) {
  const fs::path frames = out_.path() / "frames";
  Process p({kExe, "-window-id", hostId(), "--record", frames.string(), "--seed", "7"});
  ASSERT_TRUE(p.started());
  Size last;
  ASSERT_TRUE(waitForFrameSize(p, frames, {320, 240}, last)) << "first frames at the host's size; got " << last;
  EXPECT_EQ(childGeometry(host_->x11Window()), "320x240\n");

  // Keys, buttons and movement over the host's window belong to the host.
  shellOutput("xdotool mousemove 100 100 sleep 0.2 mousemove 150 120 click 1 key x key Escape");
  std::this_thread::sleep_for(500ms);
  EXPECT_FALSE(p.wait(0ms)) << "input ended a hosted saver";

  for (const Size size : {Size{480, 200}, Size{200, 300}}) {
    resizeHost(size.width, size.height);
    EXPECT_TRUE(waitForFrameSize(p, frames, size, last)) << "frames after resizing to " << size << ": " << last;
    EXPECT_EQ(childGeometry(host_->x11Window()), std::to_string(size.width) + "x" + std::to_string(size.height) + "\n");
  }
  pumpHost();
  platform::Image shown;
  ASSERT_TRUE(host_->capture(shown));
  EXPECT_EQ((Size{shown.width, shown.height}), (Size{200, 300}));

  // Once the saver draws the room, a hosted frame is as far from black as one of a window
  // of its own.
  const fs::path own = out_.path() / "own.png";
  Process reference({kExe, "--window", "200x300", "--frames", "5", "--seed", "7", "--screenshot", own.string()});
  EXPECT_EQ(reference.wait(60s), 1);
  std::vector<fs::path> recorded;
  for (const auto& entry : fs::directory_iterator(frames)) recorded.push_back(entry.path());
  std::sort(recorded.begin(), recorded.end());
  ASSERT_GE(recorded.size(), 2u);
  const double ownMean = meanBrightness(own);
  ASSERT_GE(ownMean, 0.0);
  // The brightest of the last few whole frames: a tour's fade through black is short.
  double hostedMean = -1.0;
  for (std::size_t i = recorded.size() >= 7 ? recorded.size() - 7 : 0; i + 1 < recorded.size(); ++i)
    hostedMean = std::max(hostedMean, meanBrightness(recorded[i]));
  ASSERT_GE(hostedMean, 0.0);
  if (ownMean > 0.02) {
    EXPECT_GT(hostedMean, 0.02) << "the hosted saver shows black where a window shows the room";
  }

  kill(p.pid(), SIGTERM);
  EXPECT_EQ(p.wait(15s), 1) << "SIGTERM ends the run through the normal quit";
}

TEST_F(HostedRun, SigtermSigintAndSighupEndTheRunThroughTheNormalQuit) {
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
    const fs::path wav = out_.path() / ("sound-" + std::to_string(signal) + ".wav");
    Process p({kExe, "-window-id", hostId(), "--audio-out", wav.string()});
    ASSERT_TRUE(p.started());
    // Running once its window is in the host.
    for (int i = 0; i < 100 && childGeometry(host_->x11Window()).empty(); ++i) std::this_thread::sleep_for(100ms);
    ASSERT_FALSE(childGeometry(host_->x11Window()).empty());
    std::this_thread::sleep_for(500ms);
    kill(p.pid(), signal);
    EXPECT_EQ(p.wait(15s), 1) << "signal " << signal;
    EXPECT_EQ(shellOutput("xwininfo -children -id " + std::to_string(host_->x11Window()) + " | grep -c Brassmoor"),
              "0\n")
        << "the saver's window is gone with it";
    // When the run writes its sound, the file is finished: the RIFF size matches the file.
    if (fs::exists(wav)) {
      const std::string bytes = testsupport::readFileBytes(wav);
      ASSERT_GE(bytes.size(), 44u);
      auto at = [&](std::size_t i) { return static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])); };
      EXPECT_EQ(at(4) | at(5) << 8 | at(6) << 16 | at(7) << 24, bytes.size() - 8);
    }
  }
}

TEST_F(HostedRun, TheHostDestroyingItsWindowEndsTheRunWithoutAnXError) {
  // Xlib's own handler would end the process with the same exit code, so its report on
  // standard error tells the two apart.
  const fs::path errors = out_.path() / "stderr.txt";
  Process p({"/bin/sh", "-c", "exec \"$0\" -window-id \"$1\" 2>\"$2\"", kExe, std::to_string(host_->x11Window()),
             errors.string()});
  ASSERT_TRUE(p.started());
  for (int i = 0; i < 100 && childGeometry(host_->x11Window()).empty(); ++i) std::this_thread::sleep_for(100ms);
  ASSERT_FALSE(childGeometry(host_->x11Window()).empty());
  std::this_thread::sleep_for(300ms);
  host_->destroy();
  EXPECT_EQ(p.wait(15s), 1);
  EXPECT_EQ(testsupport::readFileBytes(errors).find("X Error"), std::string::npos)
      << testsupport::readFileBytes(errors);
}

TEST_F(HostedRun, RootFromAHostDrawsIntoTheWindowItsEnvironmentNames) {
  setenv("XSCREENSAVER_WINDOW", hostId().c_str(), 1);
  Process p({kExe, "--root", "--seconds", "2"});
  unsetenv("XSCREENSAVER_WINDOW");
  ASSERT_TRUE(p.started());
  std::string inside;
  for (int i = 0; i < 100 && inside.empty() && !p.wait(0ms); ++i) {
    inside = childGeometry(host_->x11Window());
    std::this_thread::sleep_for(50ms);
  }
  EXPECT_EQ(inside, "320x240\n");
  EXPECT_EQ(p.wait(20s), 1);

  // Without a host's window, -root draws on the root window itself and makes none.
  Process root({kExe, "-root", "--seconds", "2"});
  std::this_thread::sleep_for(1s);
  EXPECT_EQ(shellOutput("xwininfo -root -tree | grep -c '\"Brassmoor\"'"), "0\n");
  EXPECT_EQ(root.wait(20s), 1);
}

TEST_F(HostedRun, AMissingHostWindowIsAFailedStartThatSaysSo) {
  const std::string err = (out_.path() / "stderr").string();
  Process p({kExe, "-window-id", "0x7fffff0"}, err);
  EXPECT_EQ(p.wait(15s), 6);
  EXPECT_EQ(testsupport::readFileBytes(err), "brassmoor: the host's window cannot be used (it may be gone)\n");
}

}  // namespace
