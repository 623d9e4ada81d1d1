// Arbitrary bytes as a camera tour file: the tour loads its keys or none, and playing it at
// times across and beyond its range gives a pose, never a crash.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "clock/tours.h"

namespace {

// Tours are read by name from a media folder; the input is written there each time.
std::string mediaFolder() {
  static const std::string folder = [] {
    char pattern[] = "/tmp/brassmoor-tour-fuzz-XXXXXX";
    if (!mkdtemp(pattern)) std::abort();
    return std::string(pattern);
  }();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string folder = mediaFolder();
  FILE* out = std::fopen((folder + "/t.cam").c_str(), "wb");
  if (!out) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, out) != size) std::abort();
  std::fclose(out);

  brassmoor::Tours tours(folder, nullptr, [] { return 0; });
  tours.addTour("t.cam");
  brassmoor::CameraPose freeCamera;
  for (float time : {-5.0f, 0.0f, 3.5f, 40.0f, 1.0e6f}) {
    if (!tours.startAt("t.cam", time)) std::abort();
    const brassmoor::CameraPose pose = tours.advance(freeCamera, 0);
    volatile float sink = pose.position.x + pose.direction.y + pose.up.z;
    (void)sink;
    (void)tours.fade();
  }
  return 0;
}
