// Writes the scene fuzz target's seeds into a folder (normally fuzz/scene/corpus), with the
// tests' scene-file builders and the engine's own binary writer, and loads each back on the
// recording device: a seed that does not load would only teach the fuzzer the refusals.
// Each is small and reaches one part of the loader: materials and a lit, textured, animated
// mesh; 32-bit indices; a skinned mesh on its bone; lights, a camera and nested dummies.
//
//   make_scene_seeds FOLDER
#include <cstdio>
#include <string>
#include <vector>

#include "engine/scene/matrix.h"
#include "engine/scene/scene.h"
#include "tests/engine/scene/scene_file.h"
#include "tests/support/recording_application.h"

namespace {

using halcyon::Matrix;
using namespace scenetest;

template <typename... Children>
Rec root(Children&&... children) {
  return With(Struct("_root", "_roottype"), std::forward<Children>(children)...);
}

Rec Animation() {
  const float half = 0.70710678f;
  return With(Struct("Animation", "Animation"),
              With(Struct("Position", "Linear"), Key(0, 0, 0, 0), Key(1000, 5, 0, 0)),
              With(Struct("Rotation", "Tcb"), Key(0, 0, 0, 0, 1), Key(500, 0, half, 0, half)),
              With(Struct("Scale", "Sample"), Key(0, 1, 1, 1)));
}

Rec LitTexturedMesh() {
  Rec wood = With(Struct("Wood", "Material"), Colour("Diffuse", 1, 0.8f, 0.6f, 0.4f), Real("Opacity", 0.5f),
                  Int("TwoSided", 1),
                  With(Struct("Textures", "Map"),
                       With(Struct("0", "Diffuse"), Text("FileName", "wood.png"), Text("TexAddrU", "Mirror"))));
  Rec room = With(Struct("Room", "Material"),
                  With(Struct("Materials", "Material"), With(Struct("Base", "Material"), Int("MaterialSubId", 0)),
                       With(Struct("LightMap", "Material"), Int("MaterialSubId", 1))));
  Rec board = With(MeshRec("Board", 3, 2, IndexBytes<uint16_t>(3, 3), 3, "Wood"), Text("Usage", "dynamic"),
                   Text("VertexAlign32", "1"), Text("Lit", "1"), Animation());
  return root(With(Struct("Materials", "Material"), std::move(wood), std::move(room)),
              With(Struct("Children", "Node"), std::move(board)));
}

Rec WideIndices() {
  return root(With(Struct("Children", "Node"), MeshRec("Wide", 3, 4, IndexBytes<uint32_t>(3, 3), 3)));
}

// A triangle of FVF XYZ|NORMAL|TEX1 whose three vertices all follow Bone01.
Rec SkinOnItsBone() {
  std::vector<float> verts;
  for (int i = 0; i < 3; ++i) verts.insert(verts.end(), {float(10 * (i == 1)), float(10 * (i == 2)), 0, 0, 0, -1, 0, 0});
  Rec skin = NodeRec("Skin", "Mesh", Matrix::identity());
  skin->addChild(Int("FVF", 0x112));
  skin->addChild(Int("IndexSize", 2));
  skin->addChild(Int("NumVerts", 3));
  skin->addChild(Int("NumIndexes", 3));
  skin->addChild(Raw("Verts", verts));
  skin->addChild(Raw("Indexes", std::vector<uint16_t>{0, 1, 2}));
  skin->addChild(With(Struct("BoneNames", "string"), Text("0", "Bone01")));
  skin->addChild(Raw("VertBoneOffs", std::vector<int32_t>{0, 1, 2}));
  skin->addChild(Raw("VertBoneNums", std::vector<int32_t>{1, 1, 1}));
  skin->addChild(Raw("BoneWeights", std::vector<float>{0, 1, 0, 1, 0, 1}));
  return root(
      With(Struct("Children", "Node"), NodeRec("Bone01", "Bone", Matrix::translation(5, 6, 7)), std::move(skin)));
}

Rec LightsCameraAndDummies() {
  Rec lamp = With(NodeRec("Lamp", "PointLight", Matrix::identity()), Real("AttStart", 50), Real("AttEnd", 400),
                  Colour("Color", 1, 1, 0.9f, 0.8f));
  Rec parent = With(NodeRec("Parent", "Dummy", Matrix::identity()),
                    With(Struct("Children", "Node"), With(NodeRec("Child", "Dummy", Matrix::identity()), Animation())));
  return root(With(Struct("Lights", "Light"), std::move(lamp), NodeRec("Sun", "DirectLight", Matrix::identity())),
              With(Struct("Cameras", "Node"), NodeRec("Cam", "Camera", Matrix::translation(5, 6, 7))),
              With(Struct("Children", "Node"), std::move(parent)));
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::FILE* out = std::fopen(path.c_str(), "wb");
  const bool ok = out && std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  if (out && std::fclose(out) != 0) return false;
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_scene_seeds FOLDER\n");
    return 2;
  }
  testsupport::RecordingApplication runtime;
  if (!runtime.start()) {
    std::fprintf(stderr, "make_scene_seeds: the recording device did not start\n");
    return 1;
  }
  const std::pair<const char*, Rec> seeds[] = {{"mesh.udf", LitTexturedMesh()},
                                               {"wide_indices.udf", WideIndices()},
                                               {"skin.udf", SkinOnItsBone()},
                                               {"lights_cameras.udf", LightsCameraAndDummies()}};
  int failures = 0;
  for (const auto& [name, root] : seeds) {
    const std::string path = std::string(argv[1]) + "/" + name;
    const std::vector<uint8_t> bytes = Bytes(*root);
    if (!WriteFile(path, bytes)) {
      std::fprintf(stderr, "make_scene_seeds: cannot write %s\n", path.c_str());
      ++failures;
      continue;
    }
    halcyon::Scene scene;
    const bool loads = scene.load(halcyon::FileRef(bytes.data(), static_cast<uint32_t>(bytes.size()), true));
    std::printf("%s: %zu bytes, %s\n", path.c_str(), bytes.size(), loads ? "loads" : "does NOT load");
    if (!loads) ++failures;
  }
  return failures ? 1 : 0;
}
