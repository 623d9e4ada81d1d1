#include "clock/clock_scene.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "clock/hands.h"
#include "clock/moon_phase.h"
#include "clock/picture.h"
#include "engine/core/random.h"
#include "engine/core/trace.h"
#include "engine/core/clock.h"
#include "engine/device/state_cache.h"
#include "engine/device/texture.h"
#include "engine/fs/file_ref.h"
#include "engine/scene/material.h"
#include "engine/scene/mesh.h"
#include "engine/scene/render_sorter.h"
#include "settings/settings_dialog.h"

namespace brassmoor {

using halcyon::logLine;

namespace {

// The names the program binds, in the order each top-level entry is searched for them.
enum NamedObject { kHourHand, kMinuteHand, kGlass, kLamp, kCurtain, kOutdoor, kNamedCount };
constexpr const char* kNames[kNamedCount] = {"strelka_1big", "strelka_1min", "Clock glass",
                                             "Lamp lamp",    "Curtain",      "FonPlane01"};
// The panes of the window the night is seen through; they stay in the main pass.
constexpr const char* kWindowPane = "room_WindowGlass";

template <typename Fn>
void walk(halcyon::SceneNode& node, Fn& fn) {
  fn(node);
  for (const auto& child : node.children()) walk(*child, fn);
}

}  // namespace

ClockScene::ClockScene(ClockSceneSetup setup)
    : setup_(std::move(setup)),
      random_(setup_.random ? setup_.random : RandomDraw(halcyon::programRandomDraw)),
      scene_(std::make_unique<halcyon::Scene>()),
      storm_(random_) {}

void ClockScene::attach(SceneHost& host) {
  host_ = &host;
  if (!setup_.mediaFolder.empty()) host.useMedia(setup_.mediaFolder, setup_.archive);
  host.tours().setRandom(random_);
  sound_ = makeSound();
  storm_.setBaseRamp(baseGammaRamp(settings().Gamma));
}

ClockScene::~ClockScene() {
  // The picture's texture was made for this scene alone; its reference ends with the scene,
  // not with the texture manager's final sweep.
  if (picture_) picture_->release();
}

std::unique_ptr<ClockSound> ClockScene::makeSound() {
  SoundLibraryLoader loader = setup_.soundLoader;
  if (!loader) loader = [] { return std::unique_ptr<platform::SoundLibrary>(); };
  const SaverSettings& s = settings();
  return std::make_unique<ClockSound>(SoundSettings{s.Music, s.Sound, s.Volume}, std::move(loader),
                                      mediaFiles(host().archive()), host().mediaFolder());
}

void ClockScene::readCustomProperties(const halcyon::NodeMap* properties) {
  if (!properties) return;
  SceneProperties& props = host().properties();
  readStormProperties(*properties, props);
  storm_.setTimes(props.quietTime, props.winkTime);
}

intptr_t ClockScene::configDialogProc(void* dialog, uint32_t message, platform::WPARAM wParam,
                                      platform::LPARAM lParam) {
  // The picture controls are the scene's; every message then goes on to the shell.
  if (dialog)
    pictureDialogProc(settings().PhotoPath, *static_cast<platform::DialogBox*>(dialog), message, wParam, lParam);
  return SaverScene::configDialogProc(dialog, message, wParam, lParam);
}

bool ClockScene::loadCustom() {
  logLine("loadCustom started\n");
  // The settings are the run's now; the sound starts from them.
  sound_ = makeSound();
  sound_->loadSoundLibrary();
  sound_->initSound(host().saverWindow());

  halcyon::FileRef file;
  file.sources = halcyon::Disk | halcyon::Archive;
  file.name = host().mediaFolder() + "/clock.udf";
  file.archive = host().archive();
  // Light maps sampled from their full-size level alone need no other level in memory.
  const bool oneLevel = lightMapsFromOneLevel();
  scene_->loadLightMapsWithoutLevels(oneLevel);
  sceneLoaded_ = scene_->load(file);
  logLine(sceneLoaded_ ? "Scene Loaded\n" : "Cannot Load Scene\n");

  // Every animation of the room (the pendulum's swing among them) loops over the scene's
  // whole time range.
  halcyon::SceneNode& root = scene_->root();
  root.playAnimation(0, "", true);
  root.setControllerSpeed(-1, 1.0f, true);
  root.setControllerFlags(-1, 8, true);
  float start = 0.0f, end = 0.0f;
  if (root.getTimeRange(start, end)) root.setControllerRange(-1, start, end, true);

  applyPicture();
  // The picture's fitting was the last reader of the room's vertices: from here the device
  // buffers hold them, and the scene file fills them again after a device loss.
  scene_->releaseGeometryCopies();
  exchangeLampStages(root, oneLevel);
  bindNamedObjects();
  const halcyon::SceneNode* pane = root.findByName(kWindowPane);
  window_.setPane(pane ? pane->getMesh() : nullptr);
  arrangeOutdoorStages();

  storm_.setBaseRamp(baseGammaRamp(settings().Gamma));
  storm_.setLightning(lightningMode(settings().Lightning));
  CameraPose& freeCamera = host().freeCamera();
  freeCamera.position = {-200.0f, 100.0f, 0.0f};
  freeCamera.direction = {1.0f, 0.0f, 0.0f};
  freeCamera.up = {0.0f, 1.0f, 0.0f};
  // The first flash comes a second after this; the sound fades in from the load's end.
  storm_.start(halcyon::millisecondClock());

  sound_->loadSamples({ticksPosition_.x, ticksPosition_.y, ticksPosition_.z});
  chimes_.setMode(chimeMode(settings().Chimes));
  if (chimes_.mode() != ChimeMode::Off) sound_->loadBells({ticksPosition_.x, ticksPosition_.y, ticksPosition_.z});
  root.startController(0, true);
  sound_->restartFadeIn(halcyon::millisecondClock());
  return true;
}

void ClockScene::applyPicture() {
  halcyon::Texture* replacement = putPictureInFrame(settings().PhotoPath, scene_->root());
  // Without a new picture the frame keeps what it shows; a picture that took the place of an
  // earlier one (a second load) leaves that one undrawn, so its reference goes.
  if (!replacement) return;
  if (picture_) picture_->release();
  picture_ = replacement;
}

namespace {

// A stage the scene file filled with a picture (sub-materials 2 and 3 get no operation of
// their own from the loader).
bool hasPicture(const halcyon::TextureStage& stage) { return stage.colorOp != D3DTOP_DISABLE && stage.texture; }

// Makes `stage` combine its colour by `op` from the arguments given (arg0 only matters to the
// three-argument operations) and hand on the alpha of `alphaSource` as it is.
void setColour(halcyon::TextureStage& stage, DWORD op, DWORD arg1, DWORD arg2, DWORD arg0 = D3DTA_CURRENT,
               DWORD alphaSource = D3DTA_TEXTURE) {
  stage.colorOp = op;
  stage.colorArg0 = arg0;
  stage.colorArg1 = arg1;
  stage.colorArg2 = arg2;
  stage.alphaOp = D3DTOP_SELECTARG1;
  stage.alphaArg1 = alphaSource;
}

}  // namespace

void ClockScene::exchangeLampStages(halcyon::SceneNode& top, bool oneLevel) {
  // The room's light-mapped materials come as base (0), light map (1), the light of a full
  // lightning flash (2) and the lamp's share of the light map (3), the last two optional.
  // Drawn: the texture factor takes the lamp's share away from the light map when the lamp
  // flickers (the whole light map when there is no share), the flash's light is added by
  // the flash weight in its stage's constant, and the base doubles the sum. Every light map
  // lies on the second texture coordinates.
  auto exchange = [this, oneLevel](halcyon::SceneNode& node) {
    halcyon::Mesh* mesh = node.getMesh();
    if (!mesh) return;
    halcyon::Material& m = mesh->getMaterial();
    if (m.stages[1].colorOp == D3DTOP_DISABLE) return;
    const halcyon::TextureStage base = m.stages[0], light = m.stages[1], flash = m.stages[2], lamp = m.stages[3];
    const DWORD lightCoords = light.texCoordIndex;
    int next = 0;
    if (hasPicture(lamp)) {
      lampShares_ = true;
      m.stages[next] = lamp;
      setColour(m.stages[next], D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_TFACTOR);
      m.stages[next++].texCoordIndex = lightCoords;
      m.stages[next] = light;
      setColour(m.stages[next++], D3DTOP_SUBTRACT, D3DTA_TEXTURE, D3DTA_CURRENT);
    } else {
      m.stages[next] = light;
      setColour(m.stages[next++], D3DTOP_SUBTRACT, D3DTA_TEXTURE, D3DTA_TFACTOR);
    }
    if (hasPicture(flash)) {
      m.stages[next] = flash;
      setColour(m.stages[next], D3DTOP_MULTIPLYADD, D3DTA_TEXTURE, D3DTA_CONSTANT, D3DTA_CURRENT, D3DTA_CURRENT);
      m.stages[next++].texCoordIndex = lightCoords;
    }
    m.stages[next] = base;
    setColour(m.stages[next++], D3DTOP_MODULATE2X, D3DTA_TEXTURE, D3DTA_CURRENT);
    // Every stage before the base is a light map.
    if (oneLevel)
      for (int stage = 0; stage + 1 < next; ++stage) m.stages[stage].mipFilter = D3DTEXF_NONE;
    for (; next < 4; ++next) m.stages[next].colorOp = D3DTOP_DISABLE;  // pictures that did not load
  };
  walk(top, exchange);
}

bool ClockScene::lightMapsFromOneLevel() const {
  // A rasteriser on the CPU spends some 7 % of a frame blending two mip levels of
  // the light maps. They are smooth, and on a picture of 640x360 or more they are seldom drawn
  // smaller than they are, so their full-size level alone looks the same but for a few pixels
  // on thin edges seen side on. A smaller picture (a host's preview) draws them smaller and
  // needs the levels; with a graphics card trilinear light maps cost nothing.
  IDirect3DDevice9* device = host().device();
  D3DCAPS9 caps{};
  if (!device || FAILED(device->GetDeviceCaps(&caps)) || (caps.DevCaps & D3DDEVCAPS_HWRASTERIZATION)) return false;
  IDirect3DSurface9* back = nullptr;
  if (FAILED(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back)) || !back) return false;
  D3DSURFACE_DESC desc{};
  const bool described = SUCCEEDED(back->GetDesc(&desc));
  back->Release();
  return described && desc.Width >= 640 && desc.Height >= 360;
}

void ClockScene::arrangeOutdoorStages() {
  // An outdoor view that comes with a picture of itself in the light of a flash blends over
  // to that picture by the flash level (stage 1's constant); the lightning's added grey then
  // follows in the stage after it.
  halcyon::Mesh* mesh = outdoor_ ? outdoor_->getMesh() : nullptr;
  if (!mesh) return;
  halcyon::Material& m = mesh->getMaterial();
  if (m.stages[1].colorOp != D3DTOP_DISABLE || m.stages[2].colorOp == D3DTOP_DISABLE || !m.stages[2].texture) return;
  halcyon::TextureStage& lit = m.stages[1];
  lit = m.stages[2];
  lit.texCoordIndex = m.stages[0].texCoordIndex;
  setColour(lit, D3DTOP_LERP, D3DTA_TEXTURE, D3DTA_CURRENT, D3DTA_CONSTANT, D3DTA_CURRENT);
  outdoorFlashStage_ = 2;
}

void ClockScene::dimWithTextureFactor(halcyon::SceneNode& node) {
  // A shade drawn from its texture alone gets a last stage that takes the texture factor
  // off, so the lamp pass's factor dims it; a shade with a light map already subtracts it.
  halcyon::Mesh* mesh = node.getMesh();
  if (!mesh) return;
  halcyon::Material& m = mesh->getMaterial();
  if (m.stages[0].colorOp == D3DTOP_DISABLE || m.stages[1].colorOp != D3DTOP_DISABLE) return;
  halcyon::TextureStage& dim = m.stages[1];
  setColour(dim, D3DTOP_SUBTRACT, D3DTA_CURRENT, D3DTA_TFACTOR, D3DTA_CURRENT, D3DTA_CURRENT);
  dim.texture = nullptr;
}

halcyon::Track& ClockScene::bindHand(halcyon::SceneNode& node) {
  halcyon::Animation& animation = node.addAnimation("");
  animation.rotation().clear();
  animation.rotation().addKey(handKey(0.0f));
  node.playAnimation(0, "", true);
  node.startController(0, true);
  return animation.rotation();
}

void ClockScene::bindNamedObjects() {
  halcyon::SceneNode& root = scene_->root();
  std::vector<halcyon::SceneNode*> entries;
  for (const auto& child : root.children()) entries.push_back(child.get());
  for (halcyon::SceneNode* entry : entries) {
    for (int which = 0; which < kNamedCount; ++which) {
      halcyon::SceneNode* found = entry->findByName(kNames[which]);
      if (!found) continue;
      switch (which) {
        case kHourHand:
          hourHand_ = found;
          hourTrack_ = &bindHand(*found);
          ticksPosition_ = found->worldPosition();
          break;
        case kMinuteHand:
          minuteHand_ = found;
          minuteTrack_ = &bindHand(*found);
          break;
        case kGlass: glass_ = found; break;
        case kLamp:
          lamp_ = found;
          dimWithTextureFactor(*found);
          break;
        case kCurtain: curtain_ = found; break;
        case kOutdoor: outdoor_ = found; break;
        default: break;
      }
      detached_.push_back(root.detachChild(entry));
      break;
    }
  }
}

void ClockScene::setGamma(const D3DGAMMARAMP& ramp) {
  if (IDirect3DDevice9* device = host().device()) device->SetGammaRamp(0, D3DSGR_CALIBRATE, &ramp);
}

bool ClockScene::frameMove(const halcyon::FrameTime& frame) {
  const bool effects = sound_->effects();

  ListenerPose listener;
  const halcyon::Camera& camera = host().camera();
  const halcyon::Vec3 p = camera.position(), d = camera.direction(), u = camera.up();
  listener.position = {p.x, p.y, p.z};
  listener.forward = {d.x, d.y, d.z};
  listener.up = {u.x, u.y, u.z};
  sound_->frameMove(listener, preview(), frame.nowMs);  // ends with "BASS stuff ok"

  setHands(frame.local, *hourTrack_, *minuteTrack_);
  chimes_.update(frame.local, [this](int bell) { sound_->strikeBell(bell); });
  logLine("Ani ok\n");

  storm_.scheduleLightning(frame, effects && sound_->thunderLoaded());
  storm_.workThunder(frame, effects, [this](float loudness) { sound_->thunderClap(random_, loudness); });
  logLine("Thunder ok\n");

  storm_.workWinks(frame);

  storm_.updateFlash(frame, [this](const D3DGAMMARAMP& ramp) { setGamma(ramp); });
  logLine("Flashes ok\n");

  storm_.updateWink(frame);
  logLine("Ending iteration\n");
  return true;
}

bool ClockScene::renderFrame(const FrameContext& frame) {
  halcyon::StateCache& states = frame.states;
  halcyon::RenderSorter sorter;
  sorter.camera = frame.camera;
  sorter.setLights(&scene_->lights());
  halcyon::RenderContext context;
  context.camera = frame.camera;
  // The pendulum and the room's other animations play by the frame's clock.
  context.flags |= halcyon::RenderContext::kFrameClock;
  context.clockMs = frame.time.nowMs;

  // Where the room's window shows on the screen this frame; nothing beyond it is clipped until
  // a first frame has placed the room.
  D3DVIEWPORT9 viewport{0, 0, 1, 1, 0.0f, 1.0f};
  std::optional<RECT> windowClip;
  if (frame.device && SUCCEEDED(frame.device->GetViewport(&viewport)))
    windowClip = window_.clipFor(frame.camera, viewport);

  // What the lightning setting lets through the window: the flash's weight for the outdoor
  // view, its blend and the room's flash light maps.
  const float flash = storm_.windowFlash();
  // the flash's weight for the outdoor view's blend and the room's flash light maps, which
  // sit in stage 1 or 2 (after the lamp's share)
  const DWORD level = DWORD(flash * 255.0f + 0.5f);
  for (DWORD stage : {1u, 2u}) states.setTextureStageState(stage, D3DTSS_CONSTANT, 0xFF000000u | level * 0x010101u);

  if (outdoor_) {
    if (halcyon::Mesh* mesh = outdoor_->getMesh()) {
      halcyon::TextureStage& added = mesh->getMaterial().stages[outdoorFlashStage_];
      added.colorOp = D3DTOP_ADD;
      added.colorArg1 = D3DTA_CURRENT;
      added.colorArg2 = D3DTA_TFACTOR;
    }
    const DWORD g = DWORD(flash * 64.0f);
    states.setRenderState(D3DRS_TEXTUREFACTOR, 0xFF000000u | g * 0x010101u);
    const float light = 0.5f + 0.7f * flash;
    states.setRenderState(D3DRS_AMBIENT, ColourValue{1.0f, light, light, light}.argb());
    window_.clipBeyond(*outdoor_, windowClip);
    if (!outdoor_->render(context)) logLine("Outdoor render failed\n");
    states.setRenderState(D3DRS_AMBIENT, host().properties().ambient.argb());
  }
  logLine("Outdoor ok\n");

  // The flicker is the lamp's: its shade dims with the light it casts. Taken from the whole
  // light map, half the flicker's grey is as deep as a flicker should go; taken from the
  // lamp's own share it may halve the lamp at the flicker's deepest.
  const DWORD w = DWORD(storm_.winkLevel() * (lampShares_ ? 255.0f : 128.0f));
  if (lamp_) {
    states.setRenderState(D3DRS_TEXTUREFACTOR, w * 0x010101u);
    lamp_->render(context);
  }
  logLine("Lamp ok\n");

  context.sorter = &sorter;
  states.setRenderState(D3DRS_TEXTUREFACTOR, w * 0x010101u);
  if (!scene_->root().render(context)) logLine("Scene render failed\n");
  window_.clipBeyond(scene_->root(), windowClip);
  if (!sorter.flush()) logLine("Rendersorter failed\n");
  if (!window_.knowsRoom()) window_.learnRoom(scene_->root());
  logLine("Scene ok\n");
  context.sorter = nullptr;

  if (hourHand_) hourHand_->render(context);
  if (minuteHand_) minuteHand_->render(context);
  drawMoonShadow(frame);
  logLine("Arrows ok\n");

  if (glass_) glass_->render(context);
  if (curtain_) curtain_->render(context);
  logLine("Curtain & Glass ok\n");
  return true;
}

void ClockScene::drawMoonShadow(const FrameContext& frame) {
  // The moon painted in the dial's arch, 20 cm above the hands' arbor and 4.5 cm in radius,
  // shows its real phase: the part in shadow (reaching a little past the painted moon's soft
  // edge) is darkened to the arch's night blue by multiplying what lies under it, so the
  // dial's own light and texture stay.
  static constexpr float kAboveArbor = 20.0f, kRadius = 4.6f, kBeforePlate = 0.9f;
  static constexpr DWORD kNight = 0xFF2A3A7Au;  // the arch's blue over the moon's cream
  IDirect3DDevice9* device = frame.device;
  if (!hourHand_ || !device) return;
  const std::vector<std::pair<float, float>> strip =
      moonShadowStrip(moonAgeDays(halcyon::localUnixSeconds(frame.time.local)), 48);
  if (strip.size() < 4) return;
  struct Vertex {
    float x, y, z;
    DWORD colour;
  };
  // The dial faces -x: the viewer's right is -z.
  const halcyon::Vec3 c{ticksPosition_.x + kBeforePlate, ticksPosition_.y + kAboveArbor, ticksPosition_.z};
  std::vector<Vertex> vertices;
  vertices.reserve(strip.size());
  for (const auto& [x, y] : strip) vertices.push_back({c.x, c.y + y * kRadius, c.z - x * kRadius, kNight});

  halcyon::Material shadow;
  shadow.stages[0].colorOp = D3DTOP_SELECTARG1;
  shadow.stages[0].colorArg1 = D3DTA_DIFFUSE;
  shadow.stages[0].alphaOp = D3DTOP_DISABLE;
  shadow.stages[1].colorOp = D3DTOP_DISABLE;
  shadow.lit = 0;
  shadow.cullMode = D3DCULL_NONE;
  shadow.zWrite = 0;
  shadow.blendMode = 2;  // neither of the material's own blends: the multiply is set below
  const DWORD fvf = D3DFVF_XYZ | D3DFVF_DIFFUSE;
  halcyon::applyMaterialStates(shadow, fvf);
  halcyon::StateCache& states = frame.states;
  states.setRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  states.setRenderState(D3DRS_SRCBLEND, D3DBLEND_ZERO);
  states.setRenderState(D3DRS_DESTBLEND, D3DBLEND_SRCCOLOR);
  const D3DMATRIX identity{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
  states.setWorld(&identity);
  device->SetFVF(fvf);
  device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, UINT(vertices.size() - 2), vertices.data(), sizeof(Vertex));
}

void ClockScene::endRun() {
  if (preview()) return;
  setGamma(storm_.baseRamp());
  sound_->endRun();
}

}  // namespace brassmoor
