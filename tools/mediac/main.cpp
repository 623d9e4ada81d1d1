// mediac: compiles the room's glTF export into the scene file and the camera tours.
//
//   mediac ROOM.gltf MEDIA_DIR
//
// Writes MEDIA_DIR/clock.udf and MEDIA_DIR/c1.cam ... (one per "tour_N" camera) after checking
// that every texture the scene names is in MEDIA_DIR. Exit code 0 on success, 1 with a one-line
// message on stderr otherwise.
#include <cstdio>
#include <string>

#include "tools/mediac/gltf_import.h"
#include "tools/mediac/texture_check.h"
#include "tools/mediac/udf_emit.h"

namespace {

void count(const brassmoor::mediac::NodeDef& n, std::size_t& nodes, std::size_t& tris, std::size_t& verts) {
  ++nodes;
  tris += n.indices.size() / 3;
  verts += n.vertices.size();
  for (const auto& c : n.children) count(c, nodes, tris, verts);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: mediac ROOM.gltf MEDIA_DIR\n");
    return 1;
  }
  using namespace brassmoor::mediac;
  auto result = importGltf(argv[1]);
  if (!result.ok) {
    std::fprintf(stderr, "mediac: %s\n", result.error.c_str());
    return 1;
  }
  std::string dir = argv[2];
  auto problems = checkTextures(result.scene, dir);
  for (const auto& p : problems) std::fprintf(stderr, "mediac: %s\n", p.c_str());
  if (!problems.empty()) return 1;
  std::string error;
  if (!writeMedia(result.scene, dir, error)) {
    std::fprintf(stderr, "mediac: %s\n", error.c_str());
    return 1;
  }
  std::size_t nodes = 0, tris = 0, verts = 0;
  for (const auto& n : result.scene.nodes) count(n, nodes, tris, verts);
  std::printf("mediac: %zu materials, %zu nodes, %zu vertices, %zu triangles, %zu tours\n",
              result.scene.materials.size(), nodes, verts, tris, result.scene.tours.size());
  return 0;
}
