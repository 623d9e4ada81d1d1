#pragma once
// Reads the glTF that the authoring scripts export and turns it into a MediaScene in the
// engine's frame. glTF is right-handed, Y up, in metres; the engine is left-handed, Y up, in
// centimetres: a point (x, y, z) becomes (100x, 100y, -100z), which shows the same picture.
// Triangle winding is reversed on the way: glTF's front faces are counter-clockwise on screen,
// the engine culls counter-clockwise faces and keeps clockwise ones.

#include <array>
#include <string>

#include "tools/mediac/media_model.h"

namespace brassmoor::mediac {

struct ImportResult {
  bool ok = false;
  std::string error;  // one line, for people
  MediaScene scene;
};

// Loads `path` (.gltf with its .bin beside it, or .glb).
ImportResult importGltf(const std::string& path);

// Conversions, exposed for the tests.
// A glTF column-major 4x4 local matrix -> the engine's row-major row-vector matrix.
std::array<float, 16> engineMatrix(const std::array<double, 16>& gltfColumnMajor);
// A glTF point or direction in metres -> engine centimetres (scale 100, or 1 for directions).
std::array<float, 3> enginePoint(double x, double y, double z, double scale = 100.0);
// A glTF rotation quaternion (x, y, z, w) -> the same rotation in the engine's frame.
std::array<float, 4> engineQuaternion(double x, double y, double z, double w);

}  // namespace brassmoor::mediac
