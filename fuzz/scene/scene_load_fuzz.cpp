// Arbitrary bytes as a scene file, loaded onto the recording device: the load ends in a scene
// or a refusal, and whatever was built plays its animations and draws, in bounded time.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "engine/device/application.h"
#include "engine/device/texture.h"
#include "engine/scene/render_sorter.h"
#include "engine/scene/scene.h"
#include "platform/d3d9/recording.h"
#include "tests/support/headless_engine_window.h"

namespace {

// One recording device for the whole run, as the saver has one for its life.
struct Runtime {
  Runtime() {
    halcyon::Application::SetDirect3DLoader([this] { return d3d = new RecordingDirect3D9(); });
    app = std::make_unique<halcyon::Application>();
    if (!app->Create(nullptr, &window) || !app->SetMode(false)) std::abort();
  }
  testsupport::HeadlessEngineWindow window;
  RecordingDirect3D9* d3d = nullptr;
  std::unique_ptr<halcyon::Application> app;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Runtime runtime;
  {
    halcyon::Scene scene;
    scene.Load(halcyon::FileRef(data, static_cast<uint32_t>(size), true));
    scene.Root().PlayAnimation(0, "", true);
    halcyon::RenderSorter sorter;
    halcyon::RenderContext ctx;
    ctx.flags = halcyon::RenderContext::kNoFrustumTest;
    ctx.sorter = &sorter;
    scene.Root().Render(ctx);
    sorter.Flush();
    ctx.flags |= halcyon::RenderContext::kExplicitTime;
    ctx.time = 1234.5f;
    ctx.sorter = nullptr;
    scene.Root().Render(ctx);
  }
  halcyon::textureManager().Clear();
  // The recording would otherwise grow with every input.
  runtime.d3d->lastDevice()->clearCalls();
  return 0;
}
