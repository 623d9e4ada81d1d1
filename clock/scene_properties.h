#pragma once
// The scene properties: camera planes and field of view, the colours of the frame, the fog
// states, the free camera's speed, the camera tours, and the storm's timing. They come from
// "Scene.props" in the media folder; a key that is absent keeps its default.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace halcyon {
class NodeMap;
class StoredArchive;
}

namespace brassmoor {

// A colour as four reals 0..1.
struct ColourValue {
  float a = 1.0f, r = 0.0f, g = 0.0f, b = 0.0f;
  // 0xAARRGGBB: each component times 256, truncated, capped at 255.
  uint32_t argb() const;
};

struct SceneProperties {
  ColourValue ambient{1.0f, 128 / 255.0f, 128 / 255.0f, 128 / 255.0f};
  ColourValue bgColor{1.0f, 100 / 255.0f, 0.0f, 0.0f};
  ColourValue fogColor{1.0f, 128 / 255.0f, 128 / 255.0f, 128 / 255.0f};
  float nearPlane = 1.0f;
  float farPlane = 1500.0f;
  float fogStart = 10000.0f;
  float fogEnd = 10000.0f;
  float fov = 60.0f / 180.0f * 3.14159265f;  // radians
  float camSpeed = 1.0f;
  std::vector<std::string> animations;  // tour files, in file order
  int32_t quietTime = 6000;             // ms, base pause between lightning flashes
  int32_t winkTime = 2000;              // ms, base length of a lamp flicker
};

// Fills `props` from a parsed property tree (the shell's part: colours, planes, fog, field
// of view, camera speed, tours). Absent keys keep their values; a colour missing one of its
// three components keeps that component.
void readSharedProperties(const halcyon::NodeMap& root, SceneProperties& props);
// The clock scene's own keys: QuietTime and WinkTime. A value of 0 or less would leave the
// storm's random pauses without a range, so such a value keeps the one before.
void readStormProperties(const halcyon::NodeMap& root, SceneProperties& props);

// The parsed tree of "<mediaFolder>/Scene.props" from disk or the archive; null when the file
// cannot be opened.
std::unique_ptr<halcyon::NodeMap> parseScenePropertiesFile(const std::string& mediaFolder,
                                                           halcyon::StoredArchive* archive);
// Reads "<mediaFolder>/Scene.props" from disk or the archive into `props`, shared keys then
// storm keys. False (and nothing changed) when the file cannot be opened.
bool readScenePropertiesFile(const std::string& mediaFolder, halcyon::StoredArchive* archive, SceneProperties& props);

}  // namespace brassmoor
