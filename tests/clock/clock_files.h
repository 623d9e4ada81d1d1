#pragma once
// Small rooms and camera tours for the clock scene's tests, written with the engine's own
// binary writer into a media folder of a temporary directory.
#include <string>
#include <vector>

#include "engine/scene/matrix.h"
#include "tests/engine/scene/scene_file.h"
#include "tests/support/temp_dir.h"

namespace clocktest {

using scenetest::Rec;

// A one-triangle mesh node (positions only) around `centre`, facing -x.
inline Rec meshTriangle(std::string name, halcyon::Vec3 centre, const char* material = nullptr,
                        const halcyon::Matrix& nodeTM = halcyon::Matrix::identity()) {
  using namespace scenetest;
  Rec r = nodeRec(std::move(name), "Mesh", nodeTM);
  r->addChild(intRec("FVF", 0x002));
  r->addChild(intRec("IndexSize", 2));
  r->addChild(intRec("NumVerts", 3));
  r->addChild(intRec("NumIndexes", 3));
  const halcyon::Vec3 c = centre;
  r->addChild(rawRec("Verts", std::vector<float>{c.x, c.y - 5, c.z - 5, c.x, c.y + 5, c.z - 5, c.x, c.y, c.z + 5}));
  r->addChild(rawRec("Indexes", std::vector<uint16_t>{0, 1, 2}));
  if (material) r->addChild(scenetest::textRec("MaterialName", material));
  return r;
}

// A tour key of 32 bytes: "pos" (time, x, y, z) or a rotation (time, x, y, z, w).
inline Rec tourKey(std::string name, std::string type, float time, float x, float y, float z, float w = 0) {
  return scenetest::rawRec(std::move(name), std::vector<float>{time, x, y, z, w, 0, 0, 0}, std::move(type));
}

// A tour from `start` to `end` units: position and rotation keys at both ends.
inline void writeTour(const testsupport::TempDir& dir, const std::string& file, float start, float end,
                      float x = 0.0f) {
  using namespace scenetest;
  Rec root = with(structRec("_root", "_roottype"), tourKey("rot1", "rot", end, 0, 0, 0, 1),
                  tourKey("pos0", "pos", start, x, 100, 0), tourKey("rot0", "rot", start, 0, 0, 0, 1),
                  tourKey("pos1", "pos", end, x + 10, 100, 0));
  const std::vector<uint8_t> bytes = fileBytes(*root);
  dir.write(file, std::string(bytes.begin(), bytes.end()));
}

inline void writeRecord(const testsupport::TempDir& dir, const std::string& file, const halcyon::UdfRecord& root) {
  const std::vector<uint8_t> bytes = scenetest::fileBytes(root);
  dir.write(file, std::string(bytes.begin(), bytes.end()));
}

// A random source that hands out the given draws in order, then `rest` for ever.
struct ScriptedRandom {
  std::vector<int> draws;
  int rest = 0;
  size_t next = 0;
  size_t used = 0;
  int operator()() {
    ++used;
    return next < draws.size() ? draws[next++] : rest;
  }
};

}  // namespace clocktest
