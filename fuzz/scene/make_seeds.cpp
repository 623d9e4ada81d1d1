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
  return with(structRec("_root", "_roottype"), std::forward<Children>(children)...);
}

Rec animation() {
  const float half = 0.70710678f;
  return with(structRec("Animation", "Animation"),
              with(structRec("Position", "Linear"), keyRec(0, 0, 0, 0), keyRec(1000, 5, 0, 0)),
              with(structRec("Rotation", "Tcb"), keyRec(0, 0, 0, 0, 1), keyRec(500, 0, half, 0, half)),
              with(structRec("Scale", "Sample"), keyRec(0, 1, 1, 1)));
}

Rec litTexturedMesh() {
  Rec wood = with(structRec("Wood", "Material"), colourRec("Diffuse", 1, 0.8f, 0.6f, 0.4f), realRec("Opacity", 0.5f),
                  intRec("TwoSided", 1),
                  with(structRec("Textures", "Map"), with(structRec("0", "Diffuse"), textRec("FileName", "wood.png"),
                                                          textRec("TexAddrU", "Mirror"))));
  Rec room = with(structRec("Room", "Material"),
                  with(structRec("Materials", "Material"),
                       with(structRec("Base", "Material"), intRec("MaterialSubId", 0)),
                       with(structRec("LightMap", "Material"), intRec("MaterialSubId", 1))));
  Rec board = with(meshRec("Board", 3, 2, indexBytes<uint16_t>(3, 3), 3, "Wood"), textRec("Usage", "dynamic"),
                   textRec("VertexAlign32", "1"), textRec("Lit", "1"), animation());
  return root(with(structRec("Materials", "Material"), std::move(wood), std::move(room)),
              with(structRec("Children", "Node"), std::move(board)));
}

Rec wideIndices() {
  return root(with(structRec("Children", "Node"), meshRec("Wide", 3, 4, indexBytes<uint32_t>(3, 3), 3)));
}

// A triangle of FVF XYZ|NORMAL|TEX1 whose three vertices all follow Bone01.
Rec skinOnItsBone() {
  std::vector<float> verts;
  for (int i = 0; i < 3; ++i)
    verts.insert(verts.end(), {float(10 * (i == 1)), float(10 * (i == 2)), 0, 0, 0, -1, 0, 0});
  Rec skin = skinMeshRec("Skin", verts, std::vector<uint16_t>{0, 1, 2});
  skin->addChild(with(structRec("BoneNames", "string"), textRec("0", "Bone01")));
  skin->addChild(rawRec("VertBoneOffs", std::vector<int32_t>{0, 1, 2}));
  skin->addChild(rawRec("VertBoneNums", std::vector<int32_t>{1, 1, 1}));
  skin->addChild(rawRec("BoneWeights", std::vector<float>{0, 1, 0, 1, 0, 1}));
  return root(with(structRec("Children", "Node"), nodeRec("Bone01", "Bone", Matrix::translation(5, 6, 7)),
                   std::move(skin)));
}

Rec lightsCameraAndDummies() {
  Rec lamp = with(nodeRec("Lamp", "PointLight", Matrix::identity()), realRec("AttStart", 50), realRec("AttEnd", 400),
                  colourRec("Color", 1, 1, 0.9f, 0.8f));
  Rec parent = with(nodeRec("Parent", "Dummy", Matrix::identity()),
                    with(structRec("Children", "Node"),
                         with(nodeRec("Child", "Dummy", Matrix::identity()), animation())));
  return root(with(structRec("Lights", "Light"), std::move(lamp), nodeRec("Sun", "DirectLight", Matrix::identity())),
              with(structRec("Cameras", "Node"), nodeRec("Cam", "Camera", Matrix::translation(5, 6, 7))),
              with(structRec("Children", "Node"), std::move(parent)));
}

bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
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
  const std::pair<const char*, Rec> seeds[] = {{"mesh.udf", litTexturedMesh()},
                                               {"wide_indices.udf", wideIndices()},
                                               {"skin.udf", skinOnItsBone()},
                                               {"lights_cameras.udf", lightsCameraAndDummies()}};
  int failures = 0;
  for (const auto& [name, root] : seeds) {
    const std::string path = std::string(argv[1]) + "/" + name;
    const std::vector<uint8_t> bytes = fileBytes(*root);
    if (!writeFile(path, bytes)) {
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
