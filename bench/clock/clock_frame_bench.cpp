// CPU time of one clock frame: frameMove (sound, hands, storm) and composeFrame (tour, fixed
// states, the passes through the sorter, the fade, presentation) on the recording device,
// which is told to keep no geometry so that its copying does not swamp the engine's work.
// The room is the real one when the media folder holds it (BRASSMOOR_MEDIA or the source
// tree's media/), otherwise a stand-in of 300 meshes with the six named objects.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "engine/device/application.h"
#include "engine/device/texture.h"
#include "platform/d3d9/recording.h"
#include "tests/clock/clock_files.h"
#include "tests/clock/clock_shell.h"
#include "tests/support/headless_engine_window.h"

namespace {

using namespace scenetest;

struct Window : testsupport::HeadlessEngineWindow {
  Window() : HeadlessEngineWindow(1024, 768) {}
};

std::string mediaFolder(const testsupport::TempDir& scratch) {
  if (const char* env = std::getenv("BRASSMOOR_MEDIA")) return env;
  const std::string source = std::string(BRASSMOOR_SOURCE_DIR) + "/media";
  if (std::filesystem::exists(source + "/clock.udf")) return source;
  const char* named[] = {"FonPlane01", "Lamp lamp", "strelka_1big", "strelka_1min", "Clock glass", "Curtain"};
  Rec children = structRec("Children", "Node");
  for (int i = 0; i < 300; ++i) {
    const float a = float(i) * 0.021f;
    children->addChild(clocktest::meshTriangle(i < 6 ? named[i] : "mesh" + std::to_string(i),
                                               {200.0f * std::cos(a) - 200.0f, 100.0f, 200.0f * std::sin(a)}));
  }
  clocktest::writeRecord(scratch, "clock.udf", *with(structRec("_root", "_roottype"), std::move(children)));
  clocktest::writeTour(scratch, "c1.cam", 0, 3000);
  scratch.write("Scene.props", "Animations = array(\"c1.cam\"); QuietTime = 3000; WinkTime = 1000;");
  return scratch.path().string();
}

void BM_ClockFrame(benchmark::State& state) {
  testsupport::TempDir scratch;
  RecordingDirect3D9* d3d = nullptr;
  halcyon::Application::setDirect3DLoader([&] { return d3d = new RecordingDirect3D9(); });
  Window window;
  {
    brassmoor::ClockSceneSetup setup;
    setup.mediaFolder = mediaFolder(scratch);
    auto clock = std::make_unique<clocktest::ClockShell>(setup);
    if (!clock->engine().create(nullptr, &window) || !clock->engine().setMode(false)) {
      state.SkipWithError("no recording device");
      return;
    }
    clock->readSceneProperties();
    clock->startTours();
    clock->loadCustom();
    clock->tours().restartTimer(halcyon::millisecondClock());
    RecordingDevice* device = d3d->lastDevice();
    device->setGeometryKept(false);
    size_t draws = 0;
    for (auto _ : state) {
      clock->frameMove();
      clock->composeFrame();
      state.PauseTiming();
      draws = device->draws().size();
      device->clearCalls();
      state.ResumeTiming();
    }
    state.counters["draws_per_frame"] = double(draws);
    clock.reset();
    halcyon::textureManager().clear();
  }
  halcyon::Application::setDirect3DLoader(nullptr);
}
BENCHMARK(BM_ClockFrame)->Unit(benchmark::kMicrosecond);

}  // namespace
