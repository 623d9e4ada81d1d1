#include "clock/clock_scene.h"

#include <gtest/gtest.h>

#include <cstring>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "engine/core/trace.h"
#include "engine/scene/mesh.h"
#include "platform/d3d9/device_control.h"
#include "platform/resources/dialog_template.h"
#include "platform/sound/recording_sound_library.h"
#include "tests/clock/clock_files.h"
#include "tests/clock/clock_shell.h"
#include "tests/engine/scene/recording_fixture.h"
#include "tests/platform/d3dx/image_writers.h"
#include "settings/settings_dialog.h"
#include "tests/support/fake_clock.h"

namespace {

using halcyon::Matrix;
using namespace scenetest;
using clocktest::ClockShell;
using clocktest::meshTriangle;
using clocktest::ScriptedRandom;

// Where each object of the test room sits along z, so that a draw tells which it was.
enum Z : int {
  kOutdoorZ = -90,
  kLampZ = -60,
  kWallZ = -30,
  kPictureZ = 0,
  kHourZ = 30,
  kMinuteZ = 60,
  kGlassZ = 80,
  kCurtainZ = 95
};

Rec twoStageMaterials() {
  Rec base = with(structRec("Room Base", "Material"), intRec("MaterialSubId", 0),
                  with(structRec("Textures", "Map"), with(structRec("0", "Diffuse"), textRec("FileName", "wood.png"))));
  Rec lightMap = with(structRec("Room LightMap", "Material"), intRec("MaterialSubId", 1),
                      with(structRec("Textures", "Map"),
                           with(structRec("0", "Diffuse"), textRec("FileName", "lm.png"))));
  Rec room = with(structRec("Room", "Material"),
                  with(structRec("Materials", "Material"), std::move(base), std::move(lightMap)));
  Rec plain = with(structRec("Plain", "Material"),
                   with(structRec("Textures", "Map"),
                        with(structRec("0", "Diffuse"), textRec("FileName", "wood.png"))));
  return with(structRec("Materials", "Material"), std::move(room), std::move(plain));
}

Rec theRoom(bool withOutdoor = true) {
  Rec children = structRec("Children", "Node");
  if (withOutdoor) children->addChild(meshTriangle("FonPlane01", {0, 100, kOutdoorZ}, "Room"));
  children->addChild(meshTriangle("Lamp lamp", {0, 100, kLampZ}, "Plain"));
  children->addChild(meshTriangle("Wall", {0, 100, kWallZ}, "Room"));
  children->addChild(meshTriangle("Picture", {0, 100, kPictureZ}, "Room"));
  // Names in another letter case are found all the same.
  children->addChild(meshTriangle("strelka_1Big", {0, 100, kHourZ}, "Plain", Matrix::translation(0, 0, 0.5f)));
  children->addChild(meshTriangle("STRELKA_1min", {0, 100, kMinuteZ}, "Plain"));
  children->addChild(meshTriangle("Clock glass", {0, 100, kGlassZ}));
  children->addChild(meshTriangle("Curtain", {0, 100, kCurtainZ}));
  return with(structRec("_root", "_roottype"), twoStageMaterials(), std::move(children));
}

// A mesh node of one triangle with the corners given (FVF XYZ).
Rec triangleAt(std::string name, halcyon::Vec3 a, halcyon::Vec3 b, halcyon::Vec3 c) {
  Rec r = nodeRec(std::move(name), "Mesh", Matrix::identity());
  r->addChild(intRec("FVF", 0x002));
  r->addChild(intRec("IndexSize", 2));
  r->addChild(intRec("NumVerts", 3));
  r->addChild(intRec("NumIndexes", 3));
  r->addChild(rawRec("Verts", std::vector<float>{a.x, a.y, a.z, b.x, b.y, b.z, c.x, c.y, c.z}));
  r->addChild(rawRec("Indexes", std::vector<uint16_t>{0, 1, 2}));
  return r;
}

// A room from x -300 to 300 (floor and ceiling span it), the free camera's eye at x -200 looking
// towards its window: a pane in the wall at x 300, and beyond it the outdoor plane and the rain.
enum WindowRoomX : int { kFloorX = -300, kPaneX = 300, kRainX = 350, kOutdoorX = 400 };
Rec windowRoom() {
  Rec children = structRec("Children", "Node");
  children->addChild(triangleAt("Floor", {kFloorX, 0, -300}, {300, 0, -300}, {-300, 0, 300}));
  children->addChild(triangleAt("Ceiling", {300, 250, 300}, {-300, 250, 300}, {300, 250, -300}));
  children->addChild(triangleAt("room_WindowGlass", {kPaneX, 80, -40}, {kPaneX, 180, -40}, {kPaneX, 80, 40}));
  children->addChild(triangleAt("rain_1", {kRainX, 0, -200}, {kRainX, 300, -200}, {kRainX, 0, 200}));
  children->addChild(triangleAt("FonPlane01", {kOutdoorX, 0, -300}, {kOutdoorX, 400, -300}, {kOutdoorX, 0, 300}));
  return with(structRec("_root", "_roottype"), std::move(children));
}

class ClockFrame : public RecordingScene {
 protected:
  void SetUp() override {
    RecordingScene::SetUp();
    std::vector<D3DCOLOR> pixels(4 * 4, 0xFF806040);
    const auto png = [](const std::vector<uint8_t>& b) { return std::string(b.begin(), b.end()); };
    dir_.write("wood.png", png(encodePng(pixels, 4, 4, false)));
    dir_.write("lm.png", png(encodePng(pixels, 4, 4, false)));
    dir_.write("photo.png", png(encodePng(pixels, 4, 4, false)));
    previousTap_ = halcyon::TraceTap::install([this](const char*, const std::string&, const std::string& text) {
      trace_.push_back(text);
    });
  }
  void TearDown() override {
    halcyon::TraceTap::install(previousTap_);
    scene_.reset();
    RecordingScene::TearDown();
  }

  ClockShell& make(const std::string& props = "", std::string photo = "") {
    if (!props.empty()) dir_.write("Scene.props", props);
    brassmoor::ClockSceneSetup setup;
    setup.mediaFolder = dir_.path().string();
    setup.random = std::ref(random_);
    adopt(setup);
    scene_->settings().PhotoPath = std::move(photo);
    return *scene_;
  }
  // The shell with the clock scene takes over the device from the fixture's.
  void adopt(const brassmoor::ClockSceneSetup& setup) {
    scene_.reset();
    app_.reset();
    scene_ = std::make_unique<ClockShell>(setup);
    ASSERT_TRUE(scene_->engine().create(nullptr, &window_));
    ASSERT_TRUE(scene_->engine().setMode(false));
    device_ = d3d_->lastDevice();
    device_->clearCalls();
  }
  void writeRoom(const halcyon::UdfRecord& root) { clocktest::writeRecord(dir_, "clock.udf", root); }

  // The z centre of the object a draw drew.
  D3DGAMMARAMP gamma() const {
    D3DGAMMARAMP r{};
    device_->GetGammaRamp(0, &r);
    return r;
  }
  static int objectOf(const RecordedDraw& d) { return int(std::lround(d.position(0).z + 5)); }
  std::vector<int> drawnObjects() const {
    std::vector<int> out;
    for (const auto& d : device_->draws())
      if (d.fvf == D3DFVF_XYZ) out.push_back(objectOf(d));
    return out;
  }
  const RecordedDraw* drawOf(int z) const {
    for (const auto& d : device_->draws())
      if (d.fvf == D3DFVF_XYZ && objectOf(d) == z) return &d;
    return nullptr;
  }
  // Trace lines from `first` on, that end a stage.
  std::vector<std::string> stages() const {
    std::vector<std::string> out;
    for (const auto& t : trace_)
      if (t.find(" ok\n") != std::string::npos || t == "Ending iteration\n") out.push_back(t);
    return out;
  }

  testsupport::TempDir dir_;
  testsupport::FakeClock clock_;
  ScriptedRandom random_;
  std::unique_ptr<ClockShell> scene_;
  std::vector<std::string> trace_;
  halcyon::TraceTap::Observer previousTap_;
};

TEST_F(ClockFrame, PassesInOrderWithTheirStates) {
  writeRoom(*theRoom());
  ClockShell& clock = make("Ambient = array(255, 255, 255); BgColor = array(0, 0, 255);");
  clock.readSceneProperties();
  clock.startTours();
  ASSERT_TRUE(clock.loadCustom());
  EXPECT_TRUE(clock.sceneLoaded());
  ASSERT_TRUE(clock.outdoorPlane() && clock.lamp() && clock.hourHand() && clock.minuteHand() && clock.clockGlass() &&
              clock.curtain());
  // The six objects left the top-level list; the wall and the picture stay in the main pass.
  EXPECT_EQ(clock.scene().root().children().size(), 2u);
  EXPECT_FLOAT_EQ(clock.ticksPosition().z, 0.5f);

  device_->clearCalls();
  trace_.clear();
  ASSERT_TRUE(clock.frameMove());
  ASSERT_TRUE(clock.composeFrame());

  EXPECT_EQ(stages(), (std::vector<std::string>{"BASS stuff ok\n", "Ani ok\n", "Thunder ok\n", "Flashes ok\n",
                                                "Ending iteration\n", "Outdoor ok\n", "Lamp ok\n", "Scene ok\n",
                                                "Arrows ok\n", "Curtain & Glass ok\n", "fade quad ok\n",
                                                "window manager ok\n", "present ok\n"}));
  std::vector<int> drawn = drawnObjects();
  ASSERT_EQ(drawn.size(), 8u);
  std::sort(drawn.begin() + 2, drawn.begin() + 4);  // the sorter orders the main pass
  EXPECT_EQ(drawn, (std::vector<int>{kOutdoorZ, kLampZ, kWallZ, kPictureZ, kHourZ, kMinuteZ, kGlassZ, kCurtainZ}));

  // No storm: the outdoor plane adds nothing and sees half-grey light; the room subtracts
  // nothing from its light maps.
  const RecordedDraw* outdoor = drawOf(kOutdoorZ);
  EXPECT_EQ(outdoor->renderStates[D3DRS_TEXTUREFACTOR], 0xFF000000u);
  EXPECT_EQ(outdoor->renderStates[D3DRS_AMBIENT], 0xFF808080u);
  EXPECT_EQ(outdoor->stageStates[1][D3DTSS_COLOROP], DWORD(D3DTOP_ADD));
  EXPECT_EQ(outdoor->stageStates[1][D3DTSS_COLORARG2], DWORD(D3DTA_TFACTOR));
  EXPECT_EQ(drawOf(kLampZ)->renderStates[D3DRS_TEXTUREFACTOR], 0u) << "the lamp dims only with its flicker";
  const RecordedDraw* wall = drawOf(kWallZ);
  EXPECT_EQ(wall->renderStates[D3DRS_TEXTUREFACTOR], 0u);
  EXPECT_EQ(wall->renderStates[D3DRS_AMBIENT], 0xFFFFFFFFu);
  EXPECT_EQ(wall->renderStates[D3DRS_ZENABLE], DWORD(TRUE));
  EXPECT_EQ(wall->renderStates[D3DRS_FOGENABLE], DWORD(FALSE));
  EXPECT_EQ(wall->renderStates[D3DRS_RANGEFOGENABLE], DWORD(TRUE));
  EXPECT_EQ(wall->samplerStates[0][D3DSAMP_MIPFILTER], DWORD(D3DTEXF_LINEAR));
  // The light map went first and subtracts the factor; the base doubles it.
  EXPECT_EQ(wall->stageStates[0][D3DTSS_COLOROP], DWORD(D3DTOP_SUBTRACT));
  EXPECT_EQ(wall->stageStates[0][D3DTSS_COLORARG2], DWORD(D3DTA_TFACTOR));
  EXPECT_EQ(wall->stageStates[1][D3DTSS_COLOROP], DWORD(D3DTOP_MODULATE2X));
  EXPECT_EQ(wall->stageStates[1][D3DTSS_COLORARG2], DWORD(D3DTA_CURRENT));
  EXPECT_EQ(drawOf(kCurtainZ)->renderStates[D3DRS_TEXTUREFACTOR], 0u);
  // The single-stage lamp keeps its stage.
  EXPECT_NE(clock.lamp()->getMesh()->getMaterial().stages[0].colorOp, DWORD(D3DTOP_SUBTRACT));

  // Clear to the background colour, overlays on a cleared depth buffer, then present.
  EXPECT_EQ(countCall("Clear", {0, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF0000FF, 0x3F800000, 0}), 1u);
  const std::vector<std::string> names = device_->callNames();
  const auto at = [&](const std::string& n) { return std::find(names.begin(), names.end(), n) - names.begin(); };
  EXPECT_LT(at("BeginScene"), at("EndScene"));
  EXPECT_LT(at("EndScene"), at("Present"));
}

TEST_F(ClockFrame, WhatLiesBeyondTheWindowIsDrawnInsideThePanesPlaceOnTheScreen) {
  writeRoom(*windowRoom());
  ClockShell& clock = make();
  ASSERT_TRUE(clock.loadCustom());
  const auto drawAt = [&](int x) -> const RecordedDraw* {
    for (const auto& d : device_->draws())
      if (d.fvf == D3DFVF_XYZ && std::lround(d.position(0).x) == x) return &d;
    return nullptr;
  };
  const auto clipped = [&](int x) {
    const RecordedDraw* d = drawAt(x);
    EXPECT_NE(d, nullptr) << "the mesh at x " << x << " is drawn";
    return d && d->renderStates[D3DRS_SCISSORTESTENABLE] == TRUE;
  };
  // The first frame places the room and draws everything whole.
  ASSERT_TRUE(clock.composeFrame());
  EXPECT_FALSE(clipped(kOutdoorX));
  device_->clearCalls();
  ASSERT_TRUE(clock.composeFrame());
  EXPECT_TRUE(clipped(kOutdoorX));
  EXPECT_TRUE(clipped(kRainX));
  EXPECT_FALSE(clipped(kPaneX));
  EXPECT_FALSE(clipped(kFloorX));
  // The rectangle holds the pane as the camera sees it, and no more than the viewport.
  D3DVIEWPORT9 vp{};
  device_->GetViewport(&vp);
  const RECT r = drawAt(kOutdoorX)->scissor;
  EXPECT_GT(r.left, 0);
  EXPECT_LT(r.right, LONG(vp.Width));
  EXPECT_LT(r.top, LONG(vp.Height) / 2) << "the pane sits above the eye's height";
  EXPECT_GT(r.bottom, LONG(vp.Height) / 2);
  EXPECT_LT(r.bottom - r.top, LONG(vp.Height) / 2);

  // From outside the room nothing is clipped: the walls no longer hide what the pane frames.
  clock.freeCamera().position = {-500, 100, 0};
  device_->clearCalls();
  ASSERT_TRUE(clock.composeFrame());
  EXPECT_FALSE(clipped(kOutdoorX));
  EXPECT_FALSE(clipped(kRainX));
}

TEST_F(ClockFrame, FlashAndFlickerReachTheTextureFactor) {
  writeRoom(*theRoom());
  ClockShell& clock = make("WinkTime = 1000;");
  // A double flash (300 ms, strength 0.5), its flicker due a second later and 1250 ms long.
  random_.draws = {0, 0, 0, 0, 0, 250};
  random_.rest = 1;
  clock.readSceneProperties();
  ASSERT_TRUE(clock.loadCustom());

  clock_.advance(1000);
  clock.frameMove();
  clock_.advance(150);
  clock.frameMove();
  EXPECT_FLOAT_EQ(clock.storm().flashLevel(), 1.0f);
  device_->clearCalls();
  ASSERT_TRUE(clock.composeFrame());
  EXPECT_EQ(drawOf(kOutdoorZ)->renderStates[D3DRS_TEXTUREFACTOR], 0xFF404040u);
  EXPECT_EQ(drawOf(kOutdoorZ)->renderStates[D3DRS_AMBIENT], 0xFFFFFFFFu);
  EXPECT_EQ(drawOf(kWallZ)->renderStates[D3DRS_AMBIENT], 0xFF808080u);  // back to Ambient
  EXPECT_EQ(gamma().red[0], 16384);

  clock_.advance(850);
  clock.frameMove();  // the flicker starts; the flash is over
  EXPECT_EQ(gamma().red[1], 256);
  clock_.advance(1250);
  clock.frameMove();
  EXPECT_FLOAT_EQ(clock.storm().winkLevel(), 0.5f);
  device_->clearCalls();
  ASSERT_TRUE(clock.composeFrame());
  EXPECT_EQ(drawOf(kWallZ)->renderStates[D3DRS_TEXTUREFACTOR], 0x00404040u);
  EXPECT_EQ(drawOf(kHourZ)->renderStates[D3DRS_TEXTUREFACTOR], 0x00404040u);
  EXPECT_EQ(drawOf(kLampZ)->renderStates[D3DRS_TEXTUREFACTOR], 0x00404040u) << "the shade dims with its light";
}

TEST_F(ClockFrame, TheMoonInTheArchShowsTheDatesPhase) {
  writeRoom(*theRoom());
  ClockShell& clock = make();
  ASSERT_TRUE(clock.loadCustom());
  const auto moonDraw = [&]() -> const RecordedDraw* {
    for (const auto& d : device_->draws())
      if (d.fvf == (D3DFVF_XYZ | D3DFVF_DIFFUSE) && d.renderStates[D3DRS_DESTBLEND] == D3DBLEND_SRCCOLOR) return &d;
    return nullptr;
  };
  // The evening of 16 December 2026 is the first quarter (new moon on the 8th, in the
  // evening): the shadow lies on the left half, darkening what is under it, above the arbor.
  clock_.setLocalTime(21, 0, 0);
  halcyon::SystemTime day = halcyon::localTime();
  day.year = 2026, day.month = 12, day.day = 16;
  halcyon::ClockSources::setLocalTime(day);
  clock.frameMove();
  device_->clearCalls();
  ASSERT_TRUE(clock.composeFrame());
  const RecordedDraw* moon = moonDraw();
  ASSERT_NE(moon, nullptr);
  EXPECT_EQ(moon->type, D3DPT_TRIANGLESTRIP);
  EXPECT_EQ(moon->renderStates[D3DRS_SRCBLEND], DWORD(D3DBLEND_ZERO));
  EXPECT_EQ(moon->renderStates[D3DRS_ZWRITEENABLE], DWORD(FALSE));
  const halcyon::Vec3 arbor = clock.ticksPosition();
  float top = -1e9f;
  for (size_t v = 0; v < moon->vertices.size() / moon->stride; ++v) {
    float p[3];
    std::memcpy(p, moon->vertices.data() + v * moon->stride, sizeof p);
    top = std::max(top, p[1]);
    EXPECT_GE(p[2], arbor.z - 0.5f) << "the waxing moon's shadow is on the viewer's left (+z)";
  }
  EXPECT_NEAR(top, arbor.y + 20.0f + 4.6f, 0.01f);
}

TEST_F(ClockFrame, SoftLightningLightsOnlyTheWindowAndGently) {
  writeRoom(*theRoom());
  ClockShell& clock = make();
  clock.settings().Lightning = 1;
  random_.rest = 1;
  ASSERT_TRUE(clock.loadCustom());
  clock_.advance(1000);
  clock.frameMove();  // the flash starts
  clock_.advance(150);
  clock.frameMove();  // at its peak, one frame later
  EXPECT_GT(clock.storm().flashLevel(), 0.9f);
  EXPECT_EQ(gamma().red[1], 256) << "the whole picture is never brightened";
  device_->clearCalls();
  ASSERT_TRUE(clock.composeFrame());
  const DWORD grey = drawOf(kOutdoorZ)->renderStates[D3DRS_TEXTUREFACTOR] & 0xFF;
  EXPECT_GT(grey, 0u);
  EXPECT_LE(grey, DWORD(64 * brassmoor::Storm::kSoftRisePerFrame * 2)) << "two frames' rise at most";
}

// Sub-material records: a picture for stage `id` of a multi-material.
Rec sub(const std::string& name, int id, const std::string& file) {
  return with(structRec(name, "Material"), intRec("MaterialSubId", id),
              with(structRec("Textures", "Map"), with(structRec("0", "Diffuse"), textRec("FileName", file))));
}

TEST_F(ClockFrame, FlashLightsTheRoomThroughItsFlashMapsAndTheViewOutside) {
  Rec lit = with(structRec("Lit", "Material"), with(structRec("Materials", "Material"), sub("Lit_Base", 0, "wood.png"),
                                                    sub("Lit_LightMap", 1, "lm.png"), sub("Lit_FlashMap", 2, "lm.png"),
                                                    sub("Lit_LampShare", 3, "lm.png")));
  // a flash map that is not there leaves the material as light map and base
  Rec lost = with(structRec("Lost", "Material"),
                  with(structRec("Materials", "Material"), sub("Lost_Base", 0, "wood.png"),
                       sub("Lost_LightMap", 1, "lm.png"), sub("Lost_FlashMap", 2, "gone.png")));
  Rec view = with(structRec("View", "Material"),
                  with(structRec("Materials", "Material"), sub("View_Base", 0, "wood.png"),
                       sub("View_FlashMap", 2, "lm.png")));
  Rec children = structRec("Children", "Node");
  children->addChild(meshTriangle("FonPlane01", {0, 100, kOutdoorZ}, "View"));
  children->addChild(meshTriangle("Wall", {0, 100, kWallZ}, "Lit"));
  children->addChild(meshTriangle("Picture", {0, 100, kPictureZ}, "Lost"));
  writeRoom(*with(structRec("_root", "_roottype"),
                  with(structRec("Materials", "Material"), std::move(lit), std::move(lost), std::move(view)),
                  std::move(children)));
  ClockShell& clock = make();
  // One flash of 300 ms, strength 0.5, then a long pause.
  random_.draws = {0, 0, 1, 1};
  random_.rest = 1;
  clock.readSceneProperties();
  ASSERT_TRUE(clock.loadCustom());

  device_->clearCalls();
  clock.frameMove();
  ASSERT_TRUE(clock.composeFrame());
  // Between flashes the flash maps add nothing and the view outside is the night's own. The
  // wall's chain: the lamp's share scaled by the flicker's factor, taken from the light map,
  // the flash's light added by its weight, the base doubling the sum; all light maps on the
  // second texture coordinates.
  const RecordedDraw* wall = drawOf(kWallZ);
  ASSERT_TRUE(wall);
  const struct {
    DWORD op, arg0, arg1, arg2, coords;
  } chain[] = {{D3DTOP_MODULATE, 0, D3DTA_TEXTURE, D3DTA_TFACTOR, 1},
               {D3DTOP_SUBTRACT, 0, D3DTA_TEXTURE, D3DTA_CURRENT, 1},
               {D3DTOP_MULTIPLYADD, D3DTA_CURRENT, D3DTA_TEXTURE, D3DTA_CONSTANT, 1},
               {D3DTOP_MODULATE2X, 0, D3DTA_TEXTURE, D3DTA_CURRENT, 0}};
  for (DWORD i = 0; i < 4; ++i) {
    EXPECT_EQ(wall->stageStates[i][D3DTSS_COLOROP], chain[i].op) << i;
    if (chain[i].arg0) {
      EXPECT_EQ(wall->stageStates[i][D3DTSS_COLORARG0], chain[i].arg0) << i;
    }
    EXPECT_EQ(wall->stageStates[i][D3DTSS_COLORARG1], chain[i].arg1) << i;
    EXPECT_EQ(wall->stageStates[i][D3DTSS_COLORARG2], chain[i].arg2) << i;
    EXPECT_EQ(wall->stageStates[i][D3DTSS_TEXCOORDINDEX], chain[i].coords) << i;
  }
  EXPECT_EQ(wall->stageStates[2][D3DTSS_CONSTANT], 0xFF000000u);
  EXPECT_EQ(wall->stageStates[4][D3DTSS_COLOROP], DWORD(D3DTOP_DISABLE));
  const RecordedDraw* picture = drawOf(kPictureZ);
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->stageStates[0][D3DTSS_COLOROP], DWORD(D3DTOP_SUBTRACT));
  EXPECT_EQ(picture->stageStates[0][D3DTSS_COLORARG2], DWORD(D3DTA_TFACTOR));
  EXPECT_EQ(picture->stageStates[1][D3DTSS_COLOROP], DWORD(D3DTOP_MODULATE2X));
  EXPECT_EQ(picture->stageStates[2][D3DTSS_COLOROP], DWORD(D3DTOP_DISABLE));
  const RecordedDraw* outdoor = drawOf(kOutdoorZ);
  ASSERT_TRUE(outdoor);
  EXPECT_EQ(outdoor->stageStates[1][D3DTSS_COLOROP], DWORD(D3DTOP_LERP));
  EXPECT_EQ(outdoor->stageStates[1][D3DTSS_COLORARG0], DWORD(D3DTA_CONSTANT));
  EXPECT_EQ(outdoor->stageStates[1][D3DTSS_COLORARG1], DWORD(D3DTA_TEXTURE));
  EXPECT_EQ(outdoor->stageStates[1][D3DTSS_TEXCOORDINDEX], 0u);
  EXPECT_EQ(outdoor->stageStates[2][D3DTSS_COLOROP], DWORD(D3DTOP_ADD));
  EXPECT_EQ(outdoor->stageStates[2][D3DTSS_COLORARG2], DWORD(D3DTA_TFACTOR));

  // At the height of the flash both take its full level.
  clock_.advance(1000);
  clock.frameMove();
  clock_.advance(150);
  clock.frameMove();
  ASSERT_FLOAT_EQ(clock.storm().flashLevel(), 1.0f);
  device_->clearCalls();
  ASSERT_TRUE(clock.composeFrame());
  EXPECT_EQ(drawOf(kWallZ)->stageStates[2][D3DTSS_CONSTANT], 0xFFFFFFFFu);
  EXPECT_EQ(drawOf(kOutdoorZ)->stageStates[1][D3DTSS_CONSTANT], 0xFFFFFFFFu);
  EXPECT_EQ(drawOf(kOutdoorZ)->renderStates[D3DRS_TEXTUREFACTOR], 0xFF404040u);
}

TEST_F(ClockFrame, LightMapsAreReadFromOneLevelOnlyWhenTheCpuRasterisesAPictureOfSomeSize) {
  Rec lit = with(structRec("Lit", "Material"), with(structRec("Materials", "Material"), sub("Lit_Base", 0, "wood.png"),
                                                    sub("Lit_LightMap", 1, "lm.png"), sub("Lit_FlashMap", 2, "lm.png"),
                                                    sub("Lit_LampShare", 3, "lm.png")));
  Rec children = structRec("Children", "Node");
  children->addChild(meshTriangle("Wall", {0, 100, kWallZ}, "Lit"));
  children->addChild(meshTriangle("Lamp lamp", {0, 100, kLampZ}, "Plain"));
  writeRoom(*with(
      structRec("_root", "_roottype"),
      with(structRec("Materials", "Material"), std::move(lit),
           with(structRec("Plain", "Material"),
                with(structRec("Textures", "Map"), with(structRec("0", "Diffuse"), textRec("FileName", "wood.png"))))),
      std::move(children)));
  const struct {
    bool hardware;
    int32_t width, height;
    bool oneLevel;
  } cases[] = {{true, 1280, 720, false}, {false, 1280, 720, true}, {false, 640, 360, true}, {false, 320, 180, false}};
  for (const auto& [hardware, width, height, oneLevel] : cases) {
    SCOPED_TRACE((hardware ? "graphics card " : "rasteriser on the CPU ") + std::to_string(width));
    window_ = Window(width, height);
    halcyon::Application::setDirect3DLoader([this, hardware] {
      d3d_ = new RecordingDirect3D9();
      if (!hardware) d3d_->adapters()[0].caps.DevCaps &= ~DWORD(D3DDEVCAPS_HWRASTERIZATION);
      return d3d_;
    });
    ClockShell& clock = make();
    ASSERT_TRUE(clock.loadCustom());
    clock.frameMove();
    ASSERT_TRUE(clock.composeFrame());
    // The lamp's share, the light map and the flash's map come before the base.
    const RecordedDraw* wall = drawOf(kWallZ);
    ASSERT_TRUE(wall);
    ASSERT_EQ(wall->stageStates[3][D3DTSS_COLOROP], DWORD(D3DTOP_MODULATE2X));
    for (DWORD stage = 0; stage < 3; ++stage)
      EXPECT_EQ(wall->samplerStates[stage][D3DSAMP_MIPFILTER], DWORD(oneLevel ? D3DTEXF_NONE : D3DTEXF_LINEAR))
          << stage;
    // The base and the materials without light maps keep their mip levels.
    EXPECT_EQ(wall->samplerStates[3][D3DSAMP_MIPFILTER], DWORD(D3DTEXF_LINEAR));
    ASSERT_TRUE(drawOf(kLampZ));
    EXPECT_EQ(drawOf(kLampZ)->samplerStates[0][D3DSAMP_MIPFILTER], DWORD(D3DTEXF_LINEAR));
  }
}

TEST_F(ClockFrame, HandsTurnWithTheLocalTime) {
  writeRoom(*theRoom());
  ClockShell& clock = make();
  ASSERT_TRUE(clock.loadCustom());
  clock_.setLocalTime(15, 30, 0);
  clock.frameMove();
  halcyon::Quaternion q;
  ASSERT_TRUE(clock.hourTrack().evaluate(0, q));
  EXPECT_NEAR(q.y, std::sin(1.8325957f / 2), 1e-6f);
  ASSERT_TRUE(clock.minuteTrack().evaluate(0, q));
  EXPECT_NEAR(q.y, std::sin(1.5707964f / 2), 1e-6f);
  // The hour hand's node draws turned by its track.
  device_->clearCalls();
  clock.composeFrame();
  const RecordedDraw* hour = drawOf(kHourZ);
  ASSERT_NE(hour, nullptr);
  EXPECT_NEAR(hour->world.m[0][0], std::cos(1.8325957f), 1e-5f);
}

TEST_F(ClockFrame, ToursFadeOverThePicture) {
  writeRoom(*theRoom());
  clocktest::writeTour(dir_, "c1.cam", 0, 100);
  ClockShell& clock = make("Animations = array(\"c1.cam\");");
  clock.readSceneProperties();
  clock.startTours();
  ASSERT_TRUE(clock.loadCustom());
  clock.tours().restartTimer(halcyon::millisecondClock());
  clock_.advance(500);  // 5 units: half faded in
  device_->clearCalls();
  clock.composeFrame();
  const auto& draws = device_->draws();
  ASSERT_FALSE(draws.empty());
  const RecordedDraw& fade = draws.back();
  EXPECT_EQ(fade.call, "DrawPrimitiveUP");
  EXPECT_EQ(fade.fvf, DWORD(D3DFVF_XYZRHW | D3DFVF_DIFFUSE));
  EXPECT_EQ(fade.renderStates[D3DRS_TEXTUREFACTOR] >> 24, 127u);
  EXPECT_EQ(fade.renderStates[D3DRS_ZENABLE], DWORD(FALSE));
  EXPECT_EQ(fade.renderStates[D3DRS_ALPHABLENDENABLE], DWORD(TRUE));
  EXPECT_EQ(fade.stageStates[0][D3DTSS_ALPHAARG1], DWORD(D3DTA_TFACTOR));
  EXPECT_EQ(fade.diffuse(0), 0u);
  // The camera stands where the tour was when the frame began; the tour then moved on.
  EXPECT_NEAR(clock.camera().position().y, 100.0f, 1e-3f);
  EXPECT_NEAR(clock.camera().position().x, 0.0f, 1e-3f);
  EXPECT_FLOAT_EQ(clock.tours().time(), 5.0f);
}

TEST_F(ClockFrame, SceneWithoutOutdoorPlane) {
  writeRoom(*theRoom(false));
  ClockShell& clock = make();
  ASSERT_TRUE(clock.loadCustom());
  EXPECT_EQ(clock.outdoorPlane(), nullptr);
  trace_.clear();
  device_->clearCalls();
  clock.frameMove();
  clock.composeFrame();
  EXPECT_NE(std::find(trace_.begin(), trace_.end(), "Outdoor ok\n"), trace_.end());
  EXPECT_EQ(drawOf(kOutdoorZ), nullptr);
  EXPECT_EQ(drawnObjects().size(), 7u);
}

TEST_F(ClockFrame, MissingSceneFileStillRuns) {
  ClockShell& clock = make();
  trace_.clear();
  EXPECT_TRUE(clock.loadCustom());
  EXPECT_FALSE(clock.sceneLoaded());
  EXPECT_NE(std::find(trace_.begin(), trace_.end(), "Cannot Load Scene\n"), trace_.end());
  device_->clearCalls();
  clock.frameMove();
  EXPECT_TRUE(clock.composeFrame());
  EXPECT_TRUE(device_->draws().empty());
  EXPECT_EQ(device_->count("Present"), 1u);
  // Default background colour: 100, 0, 0.
  EXPECT_EQ(countCall("Clear", {0, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF640000, 0x3F800000, 0}), 1u);
}

TEST_F(ClockFrame, HandsUnderOneTopLevelNode) {
  Rec clockNode = with(nodeRec("Clock", "Dummy", Matrix::identity()),
                       with(structRec("Children", "Node"), meshTriangle("strelka_1big", {0, 100, kHourZ}),
                            meshTriangle("strelka_1min", {0, 100, kMinuteZ})));
  Rec root = with(structRec("_root", "_roottype"),
                  with(structRec("Children", "Node"), std::move(clockNode), meshTriangle("Wall", {0, 100, kWallZ})));
  writeRoom(*root);
  ClockShell& clock = make();
  ASSERT_TRUE(clock.loadCustom());
  ASSERT_NE(clock.hourHand(), nullptr);
  EXPECT_EQ(clock.minuteHand(), nullptr);
  ASSERT_EQ(clock.scene().root().children().size(), 1u);
  EXPECT_EQ(clock.scene().root().children()[0]->name(), "Wall");
}

TEST_F(ClockFrame, UserPictureReplacesTheFirstStage) {
  writeRoom(*theRoom());
  ClockShell& clock = make("", dir_.file("photo.png").string());
  ASSERT_TRUE(clock.loadCustom());
  halcyon::SceneNode* picture = clock.scene().root().findByName("picture");
  ASSERT_TRUE(picture && picture->getMesh());
  const halcyon::Material& m = picture->getMesh()->getMaterial();
  // The user's picture went into the first stage before the light map was swapped in front.
  ASSERT_NE(m.stages[1].texture, nullptr);
  EXPECT_NE(m.stages[1].texture->fileName().find("photo.png"), std::string::npos);

  // Loading again puts a new picture in the frame; the one it replaced is let go, not kept.
  const size_t textures = halcyon::textureManager().count();
  ASSERT_TRUE(clock.loadCustom());
  EXPECT_EQ(halcyon::textureManager().count(), textures);

  // A picture that cannot be read leaves the scene's own.
  scene_.reset();
  ClockShell& other = make("", dir_.file("nothing.png").string());
  ASSERT_TRUE(other.loadCustom());
  const halcyon::Material& own = other.scene().root().findByName("picture")->getMesh()->getMaterial();
  ASSERT_NE(own.stages[1].texture, nullptr);
  EXPECT_NE(own.stages[1].texture->fileName().find("wood.png"), std::string::npos);
}

TEST_F(ClockFrame, APictureIsOpenedOnlyWhereItsPathSaysAndFilledIntoTheFrameOrLeftOut) {
  // A 4:3 canvas with the picture's coordinates 0..1 across it.
  Rec canvas = nodeRec("Picture", "Mesh", Matrix::identity());
  canvas->addChild(intRec("FVF", 0x102));
  canvas->addChild(intRec("IndexSize", 2));
  canvas->addChild(intRec("NumVerts", 4));
  canvas->addChild(intRec("NumIndexes", 6));
  canvas->addChild(rawRec("Verts", std::vector<float>{0, 0, 0, 0, 1, 40, 0, 0, 1, 1, 40, 30, 0, 1, 0, 0, 30, 0, 0, 0}));
  canvas->addChild(rawRec("Indexes", std::vector<uint16_t>{0, 1, 2, 0, 2, 3}));
  canvas->addChild(textRec("MaterialName", "Room"));
  writeRoom(*with(structRec("_root", "_roottype"), twoStageMaterials(),
                  with(structRec("Children", "Node"), std::move(canvas))));
  const auto bytes = [](const std::vector<uint8_t>& b) { return std::string(b.begin(), b.end()); };

  // A portrait photo at a full path; the same path spelt under the working folder (the home
  // folder under a host) holds another picture.
  testsupport::TempDir home;
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(home.path());
  const std::filesystem::path photo =
      dir_.write("photos/portrait.png", bytes(encodePng(std::vector<D3DCOLOR>(8 * 16, 0xFF204080), 8, 16, false)));
  home.write(photo.relative_path().string(), bytes(encodePng(std::vector<D3DCOLOR>(16, 0xFFFF0000), 4, 4, false)));
  auto firstStage = [this](ClockShell& clock) {
    EXPECT_TRUE(clock.loadCustom());
    return clock.scene().root().findByName("Picture")->getMesh()->getMaterial().stages[1].texture;
  };
  const halcyon::Texture* shown = firstStage(make("", photo.string()));
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(shown->fileName(), photo.string());
  // Full width, the middle 3/8 of its height: 8 x 6 of the 8 x 16 image, the frame's 4:3.
  const D3DMATRIX& m = shown->transform();
  EXPECT_FLOAT_EQ(m.m[0][0], 1.0f);
  EXPECT_FLOAT_EQ(m.m[1][1], 0.375f);
  EXPECT_FLOAT_EQ(m.m[2][1], 0.3125f);

  // Gone from its place, it is not looked for under the working folder: the painting stays.
  std::filesystem::remove(photo);
  EXPECT_NE(firstStage(make("", photo.string()))->fileName().find("wood.png"), std::string::npos);

  // A photo cut short in transfer shows the painting, not a half-grey picture.
  std::vector<D3DCOLOR> grain(64 * 64);
  for (size_t i = 0; i < grain.size(); ++i) grain[i] = 0xFF000000u | static_cast<D3DCOLOR>(i * 2654435761u >> 8);
  const auto jpeg = encodeJpeg(grain, 64, 64);
  const std::filesystem::path cut = dir_.write("cut.jpg", bytes({jpeg.begin(), jpeg.begin() + jpeg.size() * 2 / 3}));
  EXPECT_NE(firstStage(make("", cut.string()))->fileName().find("wood.png"), std::string::npos);
  std::filesystem::current_path(before);
}

TEST_F(ClockFrame, PropertiesKeepDefaultsForAbsentOrInvalidKeys) {
  ClockShell& clock = make("QuietTime = 500; WinkTime = 0; Fov = 90;");
  clock.readSceneProperties();
  EXPECT_EQ(clock.storm().quietTime(), 500);
  EXPECT_EQ(clock.storm().winkTime(), 2000);
  const brassmoor::SceneProperties& p = clock.properties();
  EXPECT_FLOAT_EQ(p.fov, 3.14159265f / 2);
  EXPECT_FLOAT_EQ(p.farPlane, 1500.0f);
  EXPECT_EQ(p.bgColor.argb(), 0xFF640000u);
  EXPECT_EQ(p.ambient.argb(), 0xFF808080u);
  EXPECT_TRUE(p.animations.empty());

  scene_.reset();
  ClockShell& partial = make("FogColor = array(10); QuietTime = -3;");
  partial.readSceneProperties();
  EXPECT_EQ(partial.properties().fogColor.argb(), 0xFF0A8080u);
  EXPECT_EQ(partial.storm().quietTime(), 6000);
}

}  // namespace

namespace {

TEST_F(ClockFrame, AfterALossAndResetTheRoomDrawsWhole) {
  writeRoom(*theRoom());
  ClockShell& clock = make();
  ASSERT_TRUE(clock.loadCustom());
  deviceControl(device_)->simulateLoss(1);
  for (int frame = 0; frame < 3; ++frame) {
    clock_.advance(16);
    EXPECT_TRUE(clock.frameMove());
    clock.composeFrame();
  }
  EXPECT_EQ(device_->count("Reset"), 1u);
  device_->clearCalls();
  clock_.setLocalTime(3, 0, 0);
  clock.frameMove();
  ASSERT_TRUE(clock.composeFrame());
  EXPECT_EQ(drawnObjects().size(), 8u);
  EXPECT_EQ(drawOf(kWallZ)->stageStates[0][D3DTSS_COLOROP], DWORD(D3DTOP_SUBTRACT));
  halcyon::Quaternion q;
  ASSERT_TRUE(clock.hourTrack().evaluate(0, q));
  EXPECT_NEAR(q.y, std::sin(3.1415927f / 4), 1e-6f);
}

}  // namespace

namespace {

// The scene with the silent sound library and stand-in sample files.
class ClockThunder : public ClockFrame {
 protected:
  ClockShell& makeWithSound(int32_t volume) {
    for (const char* f :
         {"ClockMusic.ogg", "ClockRain.ogg", "ClockGrom1.ogg", "ClockGrom2.ogg", "ClockGrom3.ogg", "ClockTicks.ogg"})
      dir_.write(f, "sound");
    brassmoor::ClockSceneSetup setup;
    setup.mediaFolder = dir_.path().string();
    setup.random = std::ref(random_);
    setup.soundLoader = [this] {
      auto made = std::make_unique<platform::RecordingSoundLibrary>();
      library_ = made.get();
      return std::unique_ptr<platform::SoundLibrary>(std::move(made));
    };
    adopt(setup);
    scene_->settings().Volume = volume;
    return *scene_;
  }
  platform::RecordingSoundLibrary* library_ = nullptr;
};

TEST_F(ClockThunder, BellsStrikeAtTheClockAsItsTimeReachesTheHour) {
  writeRoom(*theRoom());
  for (const char* f : {"ClockBell.ogg", "ClockChime.ogg"}) dir_.write(f, "sound");
  ClockShell& clock = makeWithSound(80);
  clock.settings().Chimes = 1;
  random_.rest = 6299;  // single flashes, their claps 7 s after them: out of the way
  ASSERT_TRUE(clock.loadCustom());
  ASSERT_NE(clock.sound().hourBellSample(), 0u);
  clock_.setLocalTime(2, 59, 59);
  clock.frameMove();
  library_->clearCalls();
  clock_.advance(999);
  clock.frameMove();
  EXPECT_TRUE(library_->callsStartingWith("ChannelPlay(").empty());
  clock_.advance(1);
  clock.frameMove();  // 3:00:00.000
  EXPECT_EQ(library_->callsStartingWith("ChannelPlay(").size(), 1u);
  const auto placed = library_->callsStartingWith("ChannelSet3DAttributes(");
  ASSERT_EQ(placed.size(), 1u);
  EXPECT_NE(placed[0].find(", 10, 800,"), std::string::npos) << placed[0] << ": the bell sits at the clock";
  for (int i = 0; i < 2; ++i) {
    clock_.advance(brassmoor::ClockChimes::kStrokeMs);
    clock.frameMove();
  }
  EXPECT_EQ(library_->callsStartingWith("ChannelPlay(").size(), 3u) << "three o'clock";
}

TEST_F(ClockThunder, ClapsFollowFlashesOnlyWhileEffectsAreOn) {
  writeRoom(*theRoom());
  ClockShell& clock = makeWithSound(80);
  random_.rest = 1;  // single flashes
  ASSERT_TRUE(clock.loadCustom());
  ASSERT_TRUE(clock.sound().thunderLoaded());
  library_->clearCalls();
  clock_.advance(1000);
  clock.frameMove();
  ASSERT_EQ(clock.storm().thunderQueued(), 1u);
  clock_.advance(clock.storm().thunderDelays()[0]);
  clock.frameMove();
  EXPECT_EQ(clock.storm().thunderQueued(), 0u);
  EXPECT_EQ(library_->callsStartingWith("ChannelPlay(").size(), 1u);

  // Volume 0: the flashes go on, but no clap is ever queued or played.
  scene_.reset();
  ClockShell& quiet = makeWithSound(0);
  ASSERT_TRUE(quiet.loadCustom());
  library_->clearCalls();
  int flashes = 0;
  for (int i = 0; i < 300; ++i) {
    clock_.advance(100);
    quiet.frameMove();
    flashes += quiet.storm().flashActive();
    EXPECT_EQ(quiet.storm().thunderQueued(), 0u);
  }
  EXPECT_GT(flashes, 0);
  EXPECT_TRUE(library_->callsStartingWith("ChannelPlay(").empty());
}

}  // namespace

namespace {

TEST_F(ClockFrame, SettingsDialogPictureControlsAreTheScenes) {
  ClockShell& clock = make("", "/pictures/cat.png");
  const auto t = platform::loadDialogTemplate(brassmoor::dialog_id::kSettingsDialog);
  ASSERT_TRUE(t);
  platform::DialogBox box(*t);
  clock.configDialogProc(&box, platform::WM_INITDIALOG, 0, 0);
  EXPECT_EQ(box.itemText(brassmoor::dialog_id::kPhotoPath), "/pictures/cat.png");
  clock.configDialogProc(&box, platform::WM_COMMAND, brassmoor::dialog_id::kRestorePicture, 0);
  EXPECT_EQ(clock.settings().PhotoPath, "");
  box.setItemText(brassmoor::dialog_id::kPhotoPath, "/typed/dog.jpg");
  clock.configDialogProc(&box, platform::WM_COMMAND, platform::IDOK, 0);
  EXPECT_EQ(clock.settings().PhotoPath, "/typed/dog.jpg");
  EXPECT_EQ(clock.configDialogProc(nullptr, platform::WM_INITDIALOG, 0, 0), 0);
}

}  // namespace
