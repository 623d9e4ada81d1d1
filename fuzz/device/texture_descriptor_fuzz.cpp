// Arbitrary bytes as a texture descriptor (".ts") beside a small image, made on the recording
// device: the texture, its sub-rectangles, frames and sequences are made or refused, frames
// are looked up by index and name, and everything is released again.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/device/texture.h"
#include "tests/support/recording_application.h"

namespace {

// A 4 x 4 24-bit BMP the descriptors can name as "wood.bmp".
void writeImage(const std::string& path) {
  const uint32_t w = 4, h = 4, row = 12, pixels = row * h;
  uint8_t header[54] = {'B', 'M'};
  auto put32 = [&](int at, uint32_t v) {
    for (int i = 0; i < 4; ++i) header[at + i] = uint8_t(v >> (8 * i));
  };
  put32(2, 54 + pixels);
  put32(10, 54);
  put32(14, 40);
  put32(18, w);
  put32(22, h);
  header[26] = 1;
  header[28] = 24;
  put32(34, pixels);
  FILE* out = std::fopen(path.c_str(), "wb");
  if (!out) std::abort();
  std::fwrite(header, 1, sizeof header, out);
  for (uint32_t i = 0; i < pixels; ++i) std::fputc(int(i * 37 & 0xFF), out);
  std::fclose(out);
}

struct Runtime {
  Runtime() {
    char pattern[] = "/tmp/brassmoor-ts-fuzz-XXXXXX";
    if (!mkdtemp(pattern)) std::abort();
    folder = pattern;
    writeImage(folder + "/wood.bmp");
    paths.addLocation(halcyon::FileRef(folder));
    if (!app.start()) std::abort();
  }
  std::string folder;
  halcyon::SearchPaths paths;
  testsupport::RecordingApplication app;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Runtime runtime;
  FILE* out = std::fopen((runtime.folder + "/d.ts").c_str(), "wb");
  if (!out) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, out) != size) std::abort();
  std::fclose(out);

  halcyon::TextureManager manager;
  halcyon::TextureRequest request;
  request.file = halcyon::FileRef("d.ts");
  if (halcyon::Texture* texture = manager.get(request, &runtime.paths)) {
    for (halcyon::Texture* frame : texture->frames()) (void)frame->rect();
    (void)texture->frameSequence("walk");
    (void)texture->frameNamed("a");
    halcyon::TextureRequest byName = request;
    byName.flags = halcyon::TextureRequest::FrameByName;
    byName.frameName = "a";
    if (halcyon::Texture* frame = manager.get(byName, &runtime.paths)) frame->release();
    halcyon::TextureRequest byIndex = request;
    byIndex.flags = halcyon::TextureRequest::FrameByIndex;
    byIndex.frameIndex = 1;
    if (halcyon::Texture* frame = manager.get(byIndex, &runtime.paths)) frame->release();
    texture->release();
  }
  manager.clear();
  runtime.app.device()->clearCalls();
  return 0;
}
