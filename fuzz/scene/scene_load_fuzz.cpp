// Arbitrary bytes as a scene file, loaded onto the recording device: the load ends in a scene
// or a refusal, and whatever was built plays its animations and draws, in bounded time.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "engine/device/texture.h"
#include "engine/scene/scene.h"
#include "tests/engine/scene/scene_exercise.h"
#include "tests/support/recording_application.h"

namespace {

// One recording device for the whole run, as the saver has one for its life.
struct Runtime {
  Runtime() {
    if (!app.start()) std::abort();
  }
  testsupport::RecordingApplication app;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Runtime runtime;
  {
    halcyon::Scene scene;
    scene.load(halcyon::FileRef(data, static_cast<uint32_t>(size), true));
    scenetest::playAndDraw(scene);
  }
  halcyon::textureManager().clear();
  // The recording would otherwise grow with every input.
  runtime.app.device()->clearCalls();
  return 0;
}
