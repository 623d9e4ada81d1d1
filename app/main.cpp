#include <malloc.h>

#include "app/desktop_parts.h"
#include "app/entry_point.h"
#include "app/saver_application.h"
#include "clock/clock_scene.h"
#include "platform/sound/openal_sound_library.h"
#include "platform/sound/wave_output.h"
#include "platform/window/saver_window.h"

int main(int argc, char** argv) {
  // Textures, frame buffers and sound buffers are large blocks made once. glibc would raise its
  // threshold for mapping blocks of their own each time one is freed (the loading picture's
  // textures), after which the room's land in the heap, where what is freed stays with the
  // process; a fixed threshold keeps each large block its own mapping, given back when freed.
  // The heap's top is still kept up to a few megabytes, which a frame's passing allocations
  // reuse instead of asking the system again every frame.
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);
  mallopt(M_TRIM_THRESHOLD, 4 * 1024 * 1024);
  brassmoor::installDesktopParts();
  // A WAV file being recorded when the lost display ends the process at once is given the
  // length of what reached it, so that it still plays.
  platform::beforeEndingForLostDisplay(platform::finishWatchedWaveFiles);
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
