#include "app/desktop_parts.h"
#include "app/entry_point.h"
#include "app/saver_application.h"
#include "clock/clock_scene.h"
#include "platform/sound/openal_sound_library.h"

int main(int argc, char** argv) {
  brassmoor::installDesktopParts();
  brassmoor::setApplicationFactory([] {
    auto shell = std::make_unique<brassmoor::SaverApplication>();
    brassmoor::ClockSceneSetup setup;
    // The sound goes to the sound card, or to a WAV file when the run asked for one.
    setup.soundLoader = [app = shell.get()] {
      platform::SoundOutput output;
      output.waveFile = app->runOptions().audioOut;
      return platform::createOpenAlSoundLibrary(output);
    };
    shell->setScene(std::make_unique<brassmoor::ClockScene>(std::move(setup)));
    return shell;
  });
  auto presence = brassmoor::openGLPresenceCheck();
  return brassmoor::runEntryPoint(argc, argv, *presence);
}
