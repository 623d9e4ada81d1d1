#pragma once
// What the media compiler knows about the room once the glTF has been read: everything is
// already in the engine's frame (left-handed, Y up, centimetres, row-vector matrices), so the
// writer only has to lay it out as scene-file records.

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace brassmoor::mediac {

// One vertex of FVF 0x312: position, normal, texture pair 0 (base), texture pair 1 (light map).
struct Vertex {
  float px, py, pz;
  float nx, ny, nz;
  float u0, v0;
  float u1, v1;
};
static_assert(sizeof(Vertex) == 40, "the scene's vertex stride is 40 bytes");

// A key as the scene file stores it: time, then x, y, z (and w for rotations), then
// continuity, tension and bias, which the room leaves at 0.
struct TrackKey {
  float time = 0;
  float x = 0, y = 0, z = 0, w = 0;
};

struct Track {
  std::vector<TrackKey> keys;
  bool linear = true;  // false: cubic (Kochanek-Bartels with zero tension/continuity/bias)
};

struct MaterialDef {
  std::string name;
  std::string base;      // base texture file name
  std::string lightMap;  // empty for a single-stage material
  bool twoSided = false;
  // The light a full lightning flash adds (light-mapped surfaces) or the view in the light of
  // a flash (the outdoor view); empty when the material has none.
  std::string flashMap;
  // The lamp's share of the light map, which the lamp flicker takes away; empty when none.
  std::string lampMap;
};

struct NodeDef {
  std::string name;
  std::string kind = "Dummy";      // "Mesh" when it carries geometry
  std::array<float, 16> nodeTM{};  // relative to the parent, row-major, row vectors
  std::string material;            // for meshes
  std::vector<Vertex> vertices;
  std::vector<std::uint32_t> indices;
  std::map<std::string, std::string> meshKeys;  // "Lit", "AlphaUse", "Blend"
  Track rotation;                               // keys relative to the rest pose (empty: none)
  Track position;
  std::vector<NodeDef> children;
};

struct TourDef {
  int number = 0;                   // cN.cam
  std::vector<TrackKey> positions;  // time in tour units (ten per second)
  std::vector<TrackKey> rotations;
};

struct MediaScene {
  std::vector<MaterialDef> materials;
  std::vector<NodeDef> nodes;  // top-level nodes, in file order
  std::vector<TourDef> tours;  // sorted by number
};

std::array<float, 16> identityMatrix();

}  // namespace brassmoor::mediac
