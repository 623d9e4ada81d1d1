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

namespace brassmoor {

using halcyon::logLine;

namespace {

// The names the program binds, in the order each top-level entry is searched for them.
enum NamedObject { kHourHand, kMinuteHand, kGlass, kLamp, kCurtain, kOutdoor, kNamedCount };
constexpr const char* kNames[kNamedCount] = {"strelka_1big", "strelka_1min", "Clock glass",
                                             "Lamp lamp",    "Curtain",      "FonPlane01"};

DWORD floatBits(float f) {
  DWORD d;
  std::memcpy(&d, &f, sizeof d);
  return d;
}

template <typename Fn>
void walk(halcyon::SceneNode& node, Fn& fn) {
  fn(node);
  for (const auto& child : node.Children()) walk(*child, fn);
}

}  // namespace

ClockScene::ClockScene(ClockSceneSetup setup)
    : setup_(std::move(setup)),
      scene_(std::make_unique<halcyon::Scene>()),
      storm_(setup_.random),
      tours_(setup_.mediaFolder, setup_.archive, setup_.random) {
  SoundLibraryLoader loader = setup_.soundLoader;
  if (!loader) loader = [] { return std::unique_ptr<platform::SoundLibrary>(); };
  sound_ = std::make_unique<ClockSound>(setup_.sound, std::move(loader), mediaFiles(setup_.archive),
                                        setup_.mediaFolder);
  storm_.setBaseRamp(baseGammaRamp(setup_.gamma));
}

ClockScene::~ClockScene() = default;

void ClockScene::readSceneProperties() {
  if (!readScenePropertiesFile(setup_.mediaFolder, setup_.archive, props_)) return;
  storm_.setTimes(props_.quietTime, props_.winkTime);
  for (const std::string& name : props_.animations) tours_.addTour(name);
}

void ClockScene::startTours() {
  if (!setup_.preview) tours_.start();
}

bool ClockScene::LoadCustom() {
  logLine("LoadCustom started\n");
  sound_->loadSoundLibrary();
  sound_->initSound(setup_.window);

  halcyon::FileRef file;
  file.sources = halcyon::Disk | halcyon::Archive;
  file.name = setup_.mediaFolder + "/clock.udf";
  file.archive = setup_.archive;
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

  storm_.setBaseRamp(baseGammaRamp(setup_.gamma));
  freeCamera_.position = {-200.0f, 100.0f, 0.0f};
  freeCamera_.direction = {1.0f, 0.0f, 0.0f};
  freeCamera_.up = {0.0f, 1.0f, 0.0f};
  storm_.start();

  sound_->loadSamples({ticksPosition_.x, ticksPosition_.y, ticksPosition_.z});
  root.StartController(0, true);
  sound_->restartFadeIn();
  return true;
}

void ClockScene::applyPicture() {
  if (setup_.photoPath.empty()) return;
  halcyon::TextureRequest request;
  request.file = halcyon::FileRef(setup_.photoPath);
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
  const halcyon::Vec3 p = camera_.Position(), d = camera_.Direction(), u = camera_.Up();
  listener.position = {p.x, p.y, p.z};
  listener.forward = {d.x, d.y, d.z};
  listener.up = {u.x, u.y, u.z};
  sound_->frameMove(listener, setup_.preview);  // ends with "BASS stuff ok"

  setHands(halcyon::localTime(), *hourTrack_, *minuteTrack_);
  logLine("Ani ok\n");

  storm_.scheduleLightning(effects && sound_->thunderLoaded());
  storm_.workThunder(effects, [this] { sound_->thunderClap(setup_.random); });
  logLine("Thunder ok\n");

  storm_.workWinks();

  storm_.updateFlash([this](const D3DGAMMARAMP& ramp) { setGamma(ramp); });
  logLine("Flashes ok\n");

  storm_.updateWink();
  logLine("Ending iteration\n");
  return true;
}

bool ClockScene::composeFrame() {
  halcyon::Application* app = halcyon::GetApplication();
  IDirect3DDevice9* device = halcyon::GetDevice();
  if (!app || !device || !app->TestDevice()) {
    logLine("device lost\n");
    return false;
  }
  device = halcyon::GetDevice();  // a reset may have made a new one
  halcyon::StateCache& states = halcyon::stateCache();

  device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, props_.bgColor.argb(), 1.0f, 0);

  D3DVIEWPORT9 viewport{0, 0, 1, 1, 0.0f, 1.0f};
  device->GetViewport(&viewport);
  const float aspect = viewport.Height ? float(viewport.Width) / float(viewport.Height) : 1.0f;
  camera_.SetProjection(props_.fov, aspect, props_.nearPlane, props_.farPlane);

  const CameraPose pose = tours_.advance(freeCamera_);
  camera_.SetPose(pose.position, pose.direction, pose.up);

  const halcyon::Matrix identity = halcyon::Matrix::Identity();
  states.SetWorld(reinterpret_cast<const D3DMATRIX*>(&identity.m[0][0]));
  states.SetView(reinterpret_cast<const D3DMATRIX*>(&camera_.View().m[0][0]));
  states.SetProjection(reinterpret_cast<const D3DMATRIX*>(&camera_.Projection().m[0][0]));
  states.SetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);

  if (SUCCEEDED(device->BeginScene())) {
    states.SetRenderState(D3DRS_ZENABLE, TRUE);
    states.SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    states.SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
    states.SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    states.SetRenderState(D3DRS_AMBIENT, props_.ambient.argb());
    states.SetRenderState(D3DRS_FOGENABLE, FALSE);
    states.SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR);
    states.SetRenderState(D3DRS_FOGCOLOR, props_.fogColor.argb());
    states.SetRenderState(D3DRS_FOGSTART, floatBits(props_.fogStart));
    states.SetRenderState(D3DRS_FOGEND, floatBits(props_.fogEnd));
    states.SetRenderState(D3DRS_RANGEFOGENABLE, TRUE);

    renderFrame();

    if (const std::optional<float> opacity = tours_.fade()) drawFade(*opacity);
    logLine("fade quad ok\n");

    device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    if (overlays_) overlays_();
    logLine("window manager ok\n");
    device->EndScene();
  }
  device->Present(nullptr, nullptr, nullptr, nullptr);
  logLine("present ok\n");
  return true;
}

bool ClockScene::drawFade(float opacity) {
  IDirect3DDevice9* device = halcyon::GetDevice();
  halcyon::StateCache& states = halcyon::stateCache();
  D3DVIEWPORT9 vp{0, 0, 1, 1, 0.0f, 1.0f};
  device->GetViewport(&vp);

  // Black from the vertex colour, opacity from the texture factor's alpha byte.
  halcyon::Material fade;
  fade.stages[0].colorOp = D3DTOP_SELECTARG1;
  fade.stages[0].colorArg1 = D3DTA_DIFFUSE;
  fade.stages[0].alphaOp = D3DTOP_SELECTARG1;
  fade.stages[0].alphaArg1 = D3DTA_TFACTOR;
  fade.stages[1].colorOp = D3DTOP_DISABLE;
  fade.opacity = opacity;
  fade.lit = 0;
  fade.cullMode = D3DCULL_NONE;
  const DWORD fvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE;
  bool ok = halcyon::ApplyMaterialStates(fade, fvf);

  struct Vertex {
    float x, y, z, rhw;
    DWORD colour;
  };
  const float l = float(vp.X), t = float(vp.Y), r = float(vp.X + vp.Width), b = float(vp.Y + vp.Height);
  const Vertex quad[6] = {{l, t, 0.1f, 1.0f, 0}, {r, t, 0.1f, 1.0f, 0}, {l, b, 0.1f, 1.0f, 0},
                          {r, t, 0.1f, 1.0f, 0}, {r, b, 0.1f, 1.0f, 0}, {l, b, 0.1f, 1.0f, 0}};
  states.SetRenderState(D3DRS_ZENABLE, FALSE);
  states.SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
  device->SetFVF(fvf);
  ok &= SUCCEEDED(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, quad, sizeof(Vertex)));
  states.SetRenderState(D3DRS_ZENABLE, TRUE);
  states.SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
  return ok;
}

bool ClockScene::renderFrame() {
  halcyon::StateCache& states = halcyon::stateCache();
  halcyon::RenderSorter sorter;
  sorter.camera = camera_;
  sorter.SetLights(&scene_->Lights());
  halcyon::RenderContext context;
  context.camera = camera_;

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
    states.SetRenderState(D3DRS_AMBIENT, props_.ambient.argb());
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

void ClockScene::endRun(bool fullScreenRun) {
  if (!setup_.preview) setGamma(storm_.baseRamp());
  if (fullScreenRun) sound_->endRun();
}

}  // namespace brassmoor
