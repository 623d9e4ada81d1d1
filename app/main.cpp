#include "app/desktop_parts.h"
#include "app/entry_point.h"
#include "app/saver_application.h"
#include "clock/clock_scene.h"
#include "platform/sound/openal_sound_library.h"

int main(int argc, char** argv) {
  brassmoor::installDesktopParts();
  brassmoor::setApplicationFactory([] {
    brassmoor::ClockSceneSetup setup;
    // The sound goes to the sound card, or to a WAV file when the run asked for one.
    setup.soundLoader = [] {
      platform::SoundOutput output;
      if (const brassmoor::SaverApplication* app = brassmoor::existingApplication())
        output.waveFile = app->runOptions().audioOut;
      return platform::createOpenAlSoundLibrary(output);
    };
    return std::make_unique<brassmoor::ClockScene>(std::move(setup));
  });
  auto presence = brassmoor::openGLPresenceCheck();
  return brassmoor::runEntryPoint(argc, argv, *presence);
}
