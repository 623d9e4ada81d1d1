#include "clock/clock_scene.h"

#include <cstring>
#include <utility>

#include "clock/hands.h"
#include "engine/core/trace.h"
#include "engine/device/application.h"
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

template <typename Fn>
void walk(halcyon::SceneNode& node, Fn& fn) {
  fn(node);
  for (const auto& child : node.Children()) walk(*child, fn);
}

}  // namespace

ClockScene::ClockScene(ClockSceneSetup setup, ShellParts parts)
    : SaverApplication(std::move(parts)),
      setup_(std::move(setup)),
      random_(setup_.random ? setup_.random : RandomDraw([] { return std::rand(); })),
      scene_(std::make_unique<halcyon::Scene>()),
      storm_(random_) {
  if (!setup_.mediaFolder.empty()) useMedia(setup_.mediaFolder, setup_.archive);
  tours().setRandom(random_);
  sound_ = makeSound();
  storm_.setBaseRamp(baseGammaRamp(settings().Gamma));
}

ClockScene::~ClockScene() = default;

std::unique_ptr<ClockSound> ClockScene::makeSound() {
  SoundLibraryLoader loader = setup_.soundLoader;
  if (!loader) loader = [] { return std::unique_ptr<platform::SoundLibrary>(); };
  const SaverSettings& s = settings();
  return std::make_unique<ClockSound>(SoundSettings{s.Music, s.Sound, s.Volume}, std::move(loader),
                                      mediaFiles(archive()), mediaFolder());
}

void ClockScene::readCustomProperties(const halcyon::NodeMap* properties) {
  if (!properties) return;
  readStormProperties(*properties, this->properties());
  storm_.setTimes(this->properties().quietTime, this->properties().winkTime);
}

intptr_t ClockScene::configDialogProc(void* dialog, uint32_t message, WPARAM wParam, LPARAM lParam) {
  // The picture controls are the scene's; every message then goes on to the shell.
  if (dialog) pictureDialogProc(settings().PhotoPath, *static_cast<platform::DialogBox*>(dialog), message, wParam, lParam);
  return SaverApplication::configDialogProc(dialog, message, wParam, lParam);
}

void ClockScene::exitHook() {}

bool ClockScene::LoadCustom() {
  logLine("LoadCustom started\n");
  // The settings are the run's now; the sound starts from them.
  sound_ = makeSound();
  sound_->loadSoundLibrary();
  sound_->initSound(saverWindow());

  halcyon::FileRef file;
  file.sources = halcyon::Disk | halcyon::Archive;
  file.name = mediaFolder() + "/clock.udf";
  file.archive = archive();
  sceneLoaded_ = scene_->Load(file);
  logLine(sceneLoaded_ ? "Scene Loaded\n" : "Cannot Load Scene\n");

  // Every animation of the room (the pendulum's swing among them) loops over the scene's
  // whole time range.
  halcyon::SceneNode& root = scene_->Root();
  root.PlayAnimation(0, "", true);
  root.SetControllerSpeed(-1, 1.0f, true);
  root.SetControllerFlags(-1, 8, true);
  float start = 0.0f, end = 0.0f;
  if (root.GetTimeRange(start, end)) root.SetControllerRange(-1, start, end, true);

  applyPicture();
  exchangeLampStages(root);
  bindNamedObjects();

  storm_.setBaseRamp(baseGammaRamp(settings().Gamma));
  freeCamera().position = {-200.0f, 100.0f, 0.0f};
  freeCamera().direction = {1.0f, 0.0f, 0.0f};
  freeCamera().up = {0.0f, 1.0f, 0.0f};
  storm_.start();

  sound_->loadSamples({ticksPosition_.x, ticksPosition_.y, ticksPosition_.z});
  root.StartController(0, true);
  sound_->restartFadeIn();
  return true;
}

void ClockScene::applyPicture() {
  if (settings().PhotoPath.empty()) return;
  halcyon::TextureRequest request;
  request.file = halcyon::FileRef(settings().PhotoPath);
  picture_ = halcyon::textureManager().Get(request);
  halcyon::SceneNode* node = scene_->Root().FindByName("Picture");
  if (picture_ && node && node->GetMesh()) node->GetMesh()->GetMaterial().stages[0].texture = picture_;
}

void ClockScene::exchangeLampStages(halcyon::SceneNode& top) {
  // The room's two-stage materials put the light map first and subtract the texture factor
  // from it, so that the factor can dim the baked light when the lamp flickers.
  auto exchange = [](halcyon::SceneNode& node) {
    halcyon::Mesh* mesh = node.GetMesh();
    if (!mesh) return;
    halcyon::Material& m = mesh->GetMaterial();
    if (m.stages[1].colorOp == D3DTOP_DISABLE) return;
    std::swap(m.stages[0], m.stages[1]);
    halcyon::TextureStage& light = m.stages[0];
    light.colorOp = D3DTOP_SUBTRACT;
    light.colorArg1 = D3DTA_TEXTURE;
    light.colorArg2 = D3DTA_TFACTOR;
    light.alphaOp = D3DTOP_SELECTARG1;
    light.alphaArg1 = D3DTA_TEXTURE;
    halcyon::TextureStage& base = m.stages[1];
    base.colorOp = D3DTOP_MODULATE2X;
    base.colorArg1 = D3DTA_TEXTURE;
    base.colorArg2 = D3DTA_CURRENT;
    base.alphaOp = D3DTOP_SELECTARG1;
    base.alphaArg1 = D3DTA_TEXTURE;
  };
  walk(top, exchange);
}

halcyon::Track& ClockScene::bindHand(halcyon::SceneNode& node) {
  halcyon::Animation& animation = node.AddAnimation("");
  animation.Rotation().Clear();
  animation.Rotation().AddKey(handKey(0.0f));
  node.PlayAnimation(0, "", true);
  node.StartController(0, true);
  return animation.Rotation();
}

void ClockScene::bindNamedObjects() {
  halcyon::SceneNode& root = scene_->Root();
  std::vector<halcyon::SceneNode*> entries;
  for (const auto& child : root.Children()) entries.push_back(child.get());
  for (halcyon::SceneNode* entry : entries) {
    for (int which = 0; which < kNamedCount; ++which) {
      halcyon::SceneNode* found = entry->FindByName(kNames[which]);
      if (!found) continue;
      switch (which) {
        case kHourHand:
          hourHand_ = found;
          hourTrack_ = &bindHand(*found);
          ticksPosition_ = found->WorldPosition();
          break;
        case kMinuteHand:
          minuteHand_ = found;
          minuteTrack_ = &bindHand(*found);
          break;
        case kGlass: glass_ = found; break;
        case kLamp: lamp_ = found; break;
        case kCurtain: curtain_ = found; break;
        case kOutdoor: outdoor_ = found; break;
        default: break;
      }
      detached_.push_back(root.DetachChild(entry));
      break;
    }
  }
}

void ClockScene::setGamma(const D3DGAMMARAMP& ramp) {
  if (IDirect3DDevice9* device = halcyon::GetDevice()) device->SetGammaRamp(0, D3DSGR_CALIBRATE, &ramp);
}

bool ClockScene::frameMove() {
  const bool effects = sound_->effects();

  ListenerPose listener;
  const halcyon::Vec3 p = camera().Position(), d = camera().Direction(), u = camera().Up();
  listener.position = {p.x, p.y, p.z};
  listener.forward = {d.x, d.y, d.z};
  listener.up = {u.x, u.y, u.z};
  sound_->frameMove(listener, preview());  // ends with "BASS stuff ok"

  setHands(halcyon::localTime(), *hourTrack_, *minuteTrack_);
  logLine("Ani ok\n");

  storm_.scheduleLightning(effects && sound_->thunderLoaded());
  storm_.workThunder(effects, [this] { sound_->thunderClap(random_); });
  logLine("Thunder ok\n");

  storm_.workWinks();

  storm_.updateFlash([this](const D3DGAMMARAMP& ramp) { setGamma(ramp); });
  logLine("Flashes ok\n");

  storm_.updateWink();
  logLine("Ending iteration\n");
  return true;
}

bool ClockScene::renderFrame() {
  halcyon::StateCache& states = halcyon::stateCache();
  halcyon::RenderSorter sorter;
  sorter.camera = camera();
  sorter.SetLights(&scene_->Lights());
  halcyon::RenderContext context;
  context.camera = camera();

  if (outdoor_) {
    if (halcyon::Mesh* mesh = outdoor_->GetMesh()) {
      halcyon::TextureStage& second = mesh->GetMaterial().stages[1];
      second.colorOp = D3DTOP_ADD;
      second.colorArg1 = D3DTA_CURRENT;
      second.colorArg2 = D3DTA_TFACTOR;
    }
    const float flash = storm_.flashLevel();
    const DWORD g = DWORD(flash * 64.0f);
    states.SetRenderState(D3DRS_TEXTUREFACTOR, 0xFF000000u | g * 0x010101u);
    const float light = 0.5f + 0.7f * flash;
    states.SetRenderState(D3DRS_AMBIENT, ColourValue{1.0f, light, light, light}.argb());
    if (!outdoor_->Render(context)) logLine("Outdoor render failed\n");
    states.SetRenderState(D3DRS_AMBIENT, properties().ambient.argb());
  }
  logLine("Outdoor ok\n");

  if (lamp_) lamp_->Render(context);
  logLine("Lamp ok\n");

  context.sorter = &sorter;
  const DWORD w = DWORD(storm_.winkLevel() * 128.0f);
  states.SetRenderState(D3DRS_TEXTUREFACTOR, w * 0x010101u);
  if (!scene_->Root().Render(context)) logLine("Scene render failed\n");
  if (!sorter.Flush()) logLine("Rendersorter failed\n");
  logLine("Scene ok\n");
  context.sorter = nullptr;

  if (hourHand_) hourHand_->Render(context);
  if (minuteHand_) minuteHand_->Render(context);
  logLine("Arrows ok\n");

  if (glass_) glass_->Render(context);
  if (curtain_) curtain_->Render(context);
  logLine("Curtain & Glass ok\n");
  return true;
}

void ClockScene::endRun() {
  if (preview()) return;
  setGamma(storm_.baseRamp());
  sound_->endRun();
}

}  // namespace brassmoor
