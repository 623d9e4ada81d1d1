// The executable under a real X server: modes, exit codes, the full-screen window, the
// preview painted into a host window, recorded frames and the settings file of a first run.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/resources/resources.h"
#include "platform/window/bmp_image.h"
#include "platform/window/window_factory.h"
#include "tests/app/private_display_test.h"
#include "tests/app/process.h"
#include "tests/platform/registry/scoped_config_dir.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace std::chrono_literals;
using testsupport::Process;
using testsupport::shellOutput;

const std::string kExe = BRASSMOOR_EXECUTABLE;

class SaverRun : public testsupport::PrivateDisplayTest {
 protected:
  testsupport::TempDir out_;
};

// Waits for the process's top-level window named Brassmoor; its X id or 0.
uint64_t waitForSaverWindow(Process& p) {
  for (int i = 0; i < 150; ++i) {
    const std::string ids = shellOutput("xdotool search --all --pid " + std::to_string(p.pid()) +
                                        " --name '^Brassmoor$' 2>/dev/null");
    if (!ids.empty()) return std::strtoull(ids.c_str(), nullptr, 10);
    if (p.wait(0ms)) return 0;
    std::this_thread::sleep_for(100ms);
  }
  return 0;
}

TEST_F(SaverRun, PasswordModeFailsWithTheWindowCodeAfterMakingTheSettingsKey) {
  ASSERT_FALSE(std::filesystem::exists(config_.file()));
  const std::string err = (out_.path() / "stderr").string();
  Process p({kExe, "/a", "123"}, err);
  ASSERT_TRUE(p.started());
  EXPECT_EQ(p.wait(10s), 6);
  EXPECT_EQ(testsupport::readFileBytes(err), "brassmoor: the password mode (/a) is not supported on this system\n");
  ASSERT_TRUE(std::filesystem::exists(config_.file()));
  const std::string text = testsupport::readFileBytes(config_.file());
  EXPECT_NE(text.find("[Software\\Quillmark\\Brassmoor]"), std::string::npos);
  EXPECT_EQ(text.find("=dword:"), std::string::npos) << "a run never writes values";
}

TEST_F(SaverRun, FullScreenSaverEndsOnAKeyWithExitCodeOne) {
  Process p({kExe, "/s"});
  ASSERT_TRUE(p.started());
  const uint64_t id = waitForSaverWindow(p);
  ASSERT_NE(id, 0u) << "no saver window appeared";
  // The window covers the screen once the device has taken its display mode.
  const std::string screen = shellOutput("xdpyinfo | awk '/dimensions:/ {print $2}'");
  std::string size;
  for (int i = 0; i < 100 && size != screen; ++i) {
    std::this_thread::sleep_for(100ms);
    const auto client = platform::x11ClientRect(id);
    ASSERT_TRUE(client);
    size = std::to_string(client->width()) + "x" + std::to_string(client->height()) + "\n";
  }
  EXPECT_EQ(size, screen);
  EXPECT_FALSE(p.wait(0ms)) << "the saver runs until it is told to stop";
  // A key pressed before the window has settled may go to the root window; press again.
  std::optional<int> code;
  for (int attempt = 0; attempt < 5 && !code; ++attempt) {
    shellOutput("xdotool key x");
    code = p.wait(2s);
  }
  EXPECT_EQ(code, 1);
  EXPECT_TRUE(std::filesystem::exists(config_.file())) << "the first run made the settings key";
}

// A quit while the room loads (SIGTERM, a key) ends the load at its next step and the run
// the way a quit after the load does: exit code one, the sound's file finished, no frame of
// the room drawn.
TEST_F(SaverRun, AQuitWhileTheRoomLoadsEndsTheLoadAndTheRun) {
  for (const bool byKey : {false, true}) {
    const auto wav = out_.path() / ("sound-" + std::to_string(byKey) + ".wav");
    const std::string err = (out_.path() / ("stderr-" + std::to_string(byKey))).string();
    Process p({kExe, "/s", "--verbose", "--audio-out", wav.string()}, err);
    ASSERT_TRUE(p.started());
    bool loading = false;
    for (int i = 0; i < 3000 && !loading && !p.wait(0ms); ++i) {
      const std::string log = testsupport::readFileBytes(err);
      loading = log.find("loadCustom started") != std::string::npos ||
                log.find("LoadCustom started") != std::string::npos;
      if (!loading) std::this_thread::sleep_for(10ms);
    }
    ASSERT_TRUE(loading) << "the load never began";
    std::optional<int> code;
    if (byKey) {
      // The full-screen window is under the pointer, so the key goes to it.
      for (int attempt = 0; attempt < 20 && !code; ++attempt) {
        shellOutput("xdotool key x");
        code = p.wait(100ms);
      }
    }
    if (!byKey) {
      kill(p.pid(), SIGTERM);
      code = p.wait(15s);
    }
    ASSERT_EQ(code, 1) << (byKey ? "key" : "SIGTERM");
    const std::string log = testsupport::readFileBytes(err);
    EXPECT_NE(log.find("Loading abandoned for a quit"), std::string::npos) << log;
    EXPECT_EQ(log.find("Active Frame1 start"), std::string::npos) << "a frame of the room was drawn";
    const std::string bytes = testsupport::readFileBytes(wav);
    ASSERT_GE(bytes.size(), 44u);
    auto at = [&](std::size_t i) { return static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])); };
    EXPECT_EQ(at(4) | at(5) << 8 | at(6) << 16 | at(7) << 24, bytes.size() - 8) << "the sound's file is finished";
  }
}

TEST_F(SaverRun, PreviewPaintsThePreviewBitmapIntoTheHostWindow) {
  platform::WindowClass hostClass;
  hostClass.name = "host";
  auto host = platform::createX11Window(hostClass, "preview host", platform::WS_VISIBLE, 0, {40, 40, 240, 190});
  ASSERT_NE(host, nullptr);
  Process p({kExe, "/p", std::to_string(host->x11Window())});
  ASSERT_TRUE(p.started());
  platform::Image shown;
  platform::Image expected;
  const auto bitmap = platform::findResource("BITMAP", 173);
  ASSERT_TRUE(platform::decodeBitmap(bitmap.data, bitmap.size, expected));
  // The preview window covers the host's client area and shows the bitmap at its top left.
  bool matched = false;
  for (int i = 0; i < 50 && !matched; ++i) {
    std::this_thread::sleep_for(100ms);
    platform::WindowMessage m;
    while (host->peekMessage(m)) host->dispatchMessage(m);
    if (!host->capture(shown)) continue;
    matched = true;
    for (int y = 0; y < expected.height && matched; ++y)
      for (int x = 0; x < expected.width && matched; ++x)
        for (int c = 0; c < 3; ++c)
          if (shown.rgb[(static_cast<std::size_t>(y) * 200 + x) * 3 + c] !=
              expected.rgb[(static_cast<std::size_t>(y) * expected.width + x) * 3 + c])
            matched = false;
  }
  EXPECT_TRUE(matched) << "host window does not show bitmap 173";
  EXPECT_FALSE(p.wait(0ms));
  // Closing the host's pane takes the preview with it.
  host->destroy();
  host.reset();
  EXPECT_EQ(p.wait(10s), 1);
}

TEST_F(SaverRun, PreviewWithoutAHostOpensASmallWindowAt100And100) {
  Process p({kExe, "/p", "--seconds", "3"});
  ASSERT_TRUE(p.started());
  const uint64_t id = waitForSaverWindow(p);
  ASSERT_NE(id, 0u);
  const std::string info = shellOutput("xwininfo -id " + std::to_string(id));
  EXPECT_NE(info.find("Absolute upper-left X:  100"), std::string::npos) << info;
  EXPECT_NE(info.find("Absolute upper-left Y:  100"), std::string::npos) << info;
  EXPECT_NE(info.find("Width: 50"), std::string::npos) << info;
  EXPECT_NE(info.find("Height: 50"), std::string::npos) << info;
  EXPECT_EQ(p.wait(15s), 1);
}

TEST_F(SaverRun, WindowedRunRecordsFramesAndAScreenshot) {
  const auto dir = out_.path() / "frames";
  const auto shot = out_.path() / "last.png";
  Process p({kExe, "--window", "320x240", "--frames", "3", "--record", dir.string(), "--screenshot", shot.string()});
  ASSERT_TRUE(p.started());
  EXPECT_EQ(p.wait(20s), 1);
  for (const char* name : {"frame-00000.png", "frame-00001.png", "frame-00002.png"}) {
    const std::string bytes = testsupport::readFileBytes(dir / name);
    ASSERT_GT(bytes.size(), 24u) << name;
    EXPECT_EQ(bytes.substr(1, 3), "PNG");
    // Width and height in the header.
    EXPECT_EQ(static_cast<unsigned char>(bytes[18]) * 256 + static_cast<unsigned char>(bytes[19]), 320);
    EXPECT_EQ(static_cast<unsigned char>(bytes[22]) * 256 + static_cast<unsigned char>(bytes[23]), 240);
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "frame-00003.png"));
  EXPECT_TRUE(std::filesystem::exists(shot));

  // Without --window and without a switch, asking for frames means a look in a window of the
  // engine's default size, not the settings dialog.
  const auto plain = out_.path() / "plain.png";
  Process q({kExe, "--frames", "2", "--screenshot", plain.string()});
  EXPECT_EQ(q.wait(20s), 1);
  const std::string bytes = testsupport::readFileBytes(plain);
  ASSERT_GT(bytes.size(), 24u);
  EXPECT_EQ(static_cast<unsigned char>(bytes[18]) * 256 + static_cast<unsigned char>(bytes[19]), 640);
  EXPECT_EQ(static_cast<unsigned char>(bytes[22]) * 256 + static_cast<unsigned char>(bytes[23]), 480);
}

// A WAV file whose header says how long it is: the RIFF chunk ends with the file, and so does
// its data chunk, which holds some sound.
void expectAFinishedWav(const std::filesystem::path& path) {
  const std::string bytes = testsupport::readFileBytes(path);
  auto le32 = [&](std::size_t i) {
    auto b = [&](std::size_t k) { return static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + k])); };
    return b(0) | b(1) << 8 | b(2) << 16 | b(3) << 24;
  };
  ASSERT_GE(bytes.size(), 44u);
  EXPECT_EQ(le32(4), bytes.size() - 8);
  std::size_t at = 12;
  while (at + 8 <= bytes.size() && bytes.compare(at, 4, "data") != 0) at += 8 + le32(at + 4);
  ASSERT_LE(at + 8, bytes.size()) << "a data chunk";
  EXPECT_EQ(le32(at + 4), bytes.size() - at - 8);
  EXPECT_GT(le32(at + 4), 0u) << "some sound";
}

constexpr const char* kLossLine = "brassmoor: the X display went away; the run ends\n";

// Full-screen runs that record their sound into sound.wav and say what they say into the file
// stderr, each played for a second past its window's appearance before the test acts on it.
class SaverRunRecordingSound : public SaverRun {
 protected:
  std::unique_ptr<Process> startPlaying(const std::vector<std::string>& moreOptions = {}) {
    std::vector<std::string> args = {kExe, "/s", "--seconds", "60", "--audio-out", wav_.string()};
    args.insert(args.end(), moreOptions.begin(), moreOptions.end());
    auto p = std::make_unique<Process>(args, err_);
    if (waitForSaverWindow(*p) == 0) return nullptr;
    std::this_thread::sleep_for(1s);
    return p;
  }
  std::string said() const { return testsupport::readFileBytes(err_); }
  // The run ended for the lost display: with its code, its one line and its sound's file finished.
  void expectEndedForTheLoss(Process& p) const {
    EXPECT_EQ(p.wait(30s), 8) << "no crash, no hang";
    EXPECT_EQ(said(), kLossLine);
    expectAFinishedWav(wav_);
  }

  const std::filesystem::path wav_ = out_.path() / "sound.wav";
  const std::string err_ = (out_.path() / "stderr").string();
};

TEST_F(SaverRunRecordingSound, LosingTheXServerEndsTheRunInOrderWithTheDisplayLostCode) {
  auto p = startPlaying();
  ASSERT_TRUE(p) << "no saver window appeared: " << said();
  server_.stop();
  expectEndedForTheLoss(*p);
}

// A run that cannot end in order after the loss (here held writing its last screenshot, whose
// file is first written beside it under ".part", into a pipe nobody reads) is ended when its
// grace runs out; the sound's file is still finished, and the loss is not said a second time.
TEST_F(SaverRunRecordingSound, ARunHeldPastItsGraceAfterTheLossStillFinishesTheSoundFile) {
  const auto shot = out_.path() / "last.png";
  ASSERT_EQ(mkfifo((shot.string() + ".part").c_str(), 0600), 0);
  auto p = startPlaying({"--screenshot", shot.string()});
  ASSERT_TRUE(p) << "no saver window appeared: " << said();
  server_.stop();
  const auto stopped = std::chrono::steady_clock::now();
  expectEndedForTheLoss(*p);
  EXPECT_GE(std::chrono::steady_clock::now() - stopped, 4s) << "the run was held until its grace ran out";
}

// A crash (a fault, or an abort of a library's own check) is met at some moment around the
// loss of the server; each test is run for both.
class SaverRunCrashing : public SaverRunRecordingSound, public ::testing::WithParamInterface<int> {};

TEST_P(SaverRunCrashing, ACrashAfterLosingTheXServerStillFinishesTheSoundFile) {
  auto p = startPlaying();
  ASSERT_TRUE(p) << "no saver window appeared: " << said();
  // Held still while the server goes, the saver meets the crash before it can notice the loss
  // and end in order; the mixer goes on writing until the process ends.
  kill(p->pid(), SIGSTOP);
  server_.stop();
  kill(p->pid(), GetParam());
  kill(p->pid(), SIGCONT);
  expectEndedForTheLoss(*p);
}

// A server being stopped closes its clients' connections before it stops taking new ones: the
// OpenGL library can crash on its connection a moment before the server is seen gone. That
// crash is still the loss, said once, whichever of the crashed thread and the frame loop gets
// to say it.
TEST_P(SaverRunCrashing, ACrashJustBeforeTheXServerGoesIsSaidAsTheLossOnce) {
  auto p = startPlaying();
  ASSERT_TRUE(p) << "no saver window appeared: " << said();
  kill(p->pid(), GetParam());
  std::this_thread::sleep_for(100ms);
  server_.stop();
  expectEndedForTheLoss(*p);
}

// Any other crash is not taken for a loss: the process still ends on it, saying nothing of the
// display, once the moment given to the server to go has passed.
TEST_P(SaverRunCrashing, ACrashWithTheXServerStayingIsAnOrdinaryCrash) {
  auto p = startPlaying();
  ASSERT_TRUE(p) << "no saver window appeared: " << said();
  kill(p->pid(), GetParam());
  // By the signal itself, or by the abort a memory checker turns it into.
  EXPECT_LT(p->wait(15s).value_or(0), 0) << "the run ended by the crash";
  EXPECT_EQ(said().find("the X display went away"), std::string::npos) << said();
}

INSTANTIATE_TEST_SUITE_P(Signals, SaverRunCrashing, ::testing::Values(SIGSEGV, SIGABRT),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return std::string(info.param == SIGSEGV ? "Fault" : "Abort");
                         });

TEST_F(SaverRun, LosingTheXServerWhileStartingSaysSoWithTheDisplayLostCode) {
  // From the first connection through the OpenGL set-up of the window: the presence check, SDL's
  // own start and the window's device each meet the loss at some moment of this range.
  const std::string display = getenv("DISPLAY");
  const std::string err = (out_.path() / "stderr").string();
  for (const int delayMs : {60, 90, 120, 150, 200, 300, 600, 1000, 1500}) {
    testsupport::PrivateXServer server;
    ASSERT_FALSE(server.display().empty());
    setenv("DISPLAY", server.display().c_str(), 1);
    Process p({kExe, "--window", "320x240", "--seconds", "30", "--audio-out", (out_.path() / "sound.wav").string()},
              err);
    ASSERT_TRUE(p.started());
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    server.stop();
    const std::optional<int> code = p.wait(20s);
    const std::string said = testsupport::readFileBytes(err);
    // Gone before the saver reached it, the server was never there to lose.
    if (code == 3) {
      EXPECT_EQ(said.rfind("brassmoor: cannot open the X display", 0), 0u) << delayMs << " ms: " << said;
      continue;
    }
    EXPECT_EQ(code, 8) << delayMs << " ms: no crash, no hang, no code of the library's own";
    // The window system's libraries may add lines of their own while the server goes; the
    // saver's is the last and only one. A loss met while the window waits for the server to
    // map it ends after the few seconds' grace, saying that.
    const std::string line = "brassmoor: the X display went away";
    const std::size_t at = said.find("brassmoor:");
    EXPECT_EQ(said.compare(at == std::string::npos ? 0 : at, line.size(), line), 0) << delayMs << " ms: " << said;
    EXPECT_EQ(said.find('\n', at), said.size() - 1) << delayMs << " ms: " << said;
  }
  setenv("DISPLAY", display.c_str(), 1);
}

// On a machine without a sound device: a run that plays nothing takes no device and says
// nothing; one that keeps only the music says that the music is missing, once.
TEST_F(SaverRun, WithoutASoundDeviceOnlyWhatWasAskedForIsSaidMissing) {
  // The mixer finds no output it knows of, as on a machine without a sound card.
  const char* drivers = std::getenv("ALSOFT_DRIVERS");
  const std::optional<std::string> previous = drivers ? std::optional<std::string>(drivers) : std::nullopt;
  setenv("ALSOFT_DRIVERS", "no-such-output", 1);
  const std::string err = (out_.path() / "stderr").string();
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--no-sound", "--no-music"}, ""},
      {{"--no-sound"}, "brassmoor: no sound device could be opened; the music is not played\n"},
  };
  for (const auto& [switches, said] : cases) {
    std::vector<std::string> args = {kExe, "--window", "160x120", "--frames", "2"};
    args.insert(args.end(), switches.begin(), switches.end());
    Process p(args, err);
    EXPECT_EQ(p.wait(30s), 1) << switches.size() << " switches";
    EXPECT_EQ(testsupport::readFileBytes(err), said);
  }
  if (previous) setenv("ALSOFT_DRIVERS", previous->c_str(), 1);
  else
    unsetenv("ALSOFT_DRIVERS");
}

TEST_F(SaverRun, WithoutADisplayEveryModeSaysSoAndFails) {
  const std::string err = (out_.path() / "stderr").string();
  const std::string display = getenv("DISPLAY");
  unsetenv("DISPLAY");
  for (const char* mode : {"/s", "/t", "/p"}) {
    Process p({kExe, mode}, err);
    EXPECT_EQ(p.wait(10s), 3) << mode;
    EXPECT_EQ(testsupport::readFileBytes(err),
              "brassmoor: cannot open the X display (DISPLAY is not set): x11 not available\n");
  }
  setenv("DISPLAY", display.c_str(), 1);
}

// Width and height from a PNG file's header; 0x0 when it is not one.
std::pair<int, int> pngSize(const std::filesystem::path& path) {
  const std::string bytes = testsupport::readFileBytes(path);
  if (bytes.size() < 24 || bytes.substr(1, 3) != "PNG") return {0, 0};
  auto at = [&](std::size_t i) { return static_cast<int>(static_cast<unsigned char>(bytes[i])); };
  return {at(18) * 256 + at(19), at(22) * 256 + at(23)};
}

TEST(SaverRunOnTwoScreens, EachScreenGetsAFullScreenSaverOfItsOwnSize) {
  // A display of two X screens, as a host that starts one saver per screen sees it: each
  // saver covers the screen DISPLAY names, at that screen's size.
  testsupport::PrivateXServer server("1280x720x24", "1024x768x24");
  if (server.display().empty()) GTEST_SKIP() << "needs Xvfb";
  testsupport::ScopedConfigDir config;
  testsupport::TempDir out;
  const std::pair<int, int> sizes[] = {{1280, 720}, {1024, 768}};
  for (int screen : {0, 1}) {
    setenv("DISPLAY", (server.display() + "." + std::to_string(screen)).c_str(), 1);
    const auto shot = out.path() / ("screen" + std::to_string(screen) + ".png");
    const std::string err = (out.path() / "stderr").string();
    Process p({kExe, "/s", "--frames", "2", "--no-sound", "--no-music", "--screenshot", shot.string()}, err);
    EXPECT_EQ(p.wait(60s), 1) << "screen " << screen << ": " << testsupport::readFileBytes(err);
    EXPECT_EQ(pngSize(shot), sizes[screen]) << "screen " << screen;
  }
}

TEST_F(SaverRun, HelpVersionAndBadOptions) {
  Process help({kExe, "--help"});
  EXPECT_EQ(help.wait(5s), 0);
  Process version({kExe, "--version"});
  EXPECT_EQ(version.wait(5s), 0);
  Process bad({kExe, "--frames", "none", "/s"});
  EXPECT_EQ(bad.wait(5s), 2);
}

}  // namespace
