#include "tools/mediac/udf_emit.h"

#include <cstring>

#include "engine/udf/udf_binary.h"

namespace brassmoor::mediac {

namespace {

using halcyon::UdfRecord;

std::vector<std::uint8_t> keyBytes(const TrackKey& k, bool rotation) {
  // time, x, y, z, then w for rotations; continuity, tension and bias stay 0
  float f[8] = {k.time, k.x, k.y, k.z, rotation ? k.w : 0.0f, 0, 0, 0};
  std::vector<std::uint8_t> out(32);
  std::memcpy(out.data(), f, 32);
  return out;
}

std::unique_ptr<UdfRecord> matrixRecord(const std::string& name, const std::array<float, 16>& m) {
  std::vector<std::uint8_t> bytes(64);
  std::memcpy(bytes.data(), m.data(), 64);
  auto r = UdfRecord::makeRaw(name, "real", std::move(bytes));
  r->setArrayCount(16);
  return r;
}

std::unique_ptr<UdfRecord> textures(const std::string& file) {
  auto t = UdfRecord::makeStructured("Textures", "Texture");
  auto d = UdfRecord::makeStructured("Diffuse", "Diffuse");
  d->addChild(UdfRecord::makeString("FileName", file));
  t->addChild(std::move(d));
  return t;
}

std::unique_ptr<UdfRecord> subMaterial(const std::string& name, int id, const std::string& file) {
  auto r = UdfRecord::makeStructured(name, "Material");
  r->addChild(UdfRecord::makeInt("MaterialSubId", id));
  r->addChild(textures(file));
  return r;
}

std::unique_ptr<UdfRecord> material(const MaterialDef& m) {
  auto r = UdfRecord::makeStructured(m.name, "Material");
  if (m.lightMap.empty() && m.flashMap.empty()) {
    if (m.twoSided) r->addChild(UdfRecord::makeInt("TwoSided", 1));
    r->addChild(textures(m.base));
    return r;
  }
  auto subs = UdfRecord::makeStructured("Materials", "Material");
  auto base = UdfRecord::makeStructured(m.name + "_Base", "Material");
  base->addChild(UdfRecord::makeInt("MaterialSubId", 0));
  // a multi-material takes its own settings from the base sub-material only
  if (m.twoSided) base->addChild(UdfRecord::makeInt("TwoSided", 1));
  base->addChild(textures(m.base));
  subs->addChild(std::move(base));
  // The light map's sub-material name must carry "LightMap": the loader derives the
  // stage's operation from it. The flash's and the lamp's names must derive none: the clock
  // scene gives those stages their operations, weighted by the storm.
  if (!m.lightMap.empty()) subs->addChild(subMaterial(m.name + "_LightMap", 1, m.lightMap));
  if (!m.flashMap.empty()) subs->addChild(subMaterial(m.name + "_FlashMap", 2, m.flashMap));
  if (!m.lampMap.empty()) subs->addChild(subMaterial(m.name + "_LampShare", 3, m.lampMap));
  r->addChild(std::move(subs));
  return r;
}

std::unique_ptr<UdfRecord> track(const std::string& name, const Track& t, bool rotation) {
  auto r = UdfRecord::makeStructured(name, t.linear ? "Linear" : "TCB");
  for (std::size_t i = 0; i < t.keys.size(); ++i)
    r->addChild(UdfRecord::makeRaw(std::to_string(i), "AnimationKey", keyBytes(t.keys[i], rotation)));
  return r;
}

std::unique_ptr<UdfRecord> node(const NodeDef& n, std::string& error) {
  auto r = UdfRecord::makeStructured(n.name, n.kind);
  r->addChild(matrixRecord("NodeTM", n.nodeTM));
  r->addChild(matrixRecord("ObjectTM", identityMatrix()));
  if (n.kind == "Mesh") {
    std::size_t nv = n.vertices.size(), ni = n.indices.size();
    if (nv > 0xFFFFFFFu || ni > 0xFFFFFFFu) {
      error = "node \"" + n.name + "\" is too large";
      return nullptr;
    }
    // 16-bit indices address 65536 vertices; a buffer with at most 32767 indices is made
    // 16-bit whatever the file says, so a larger mesh must also be long enough to get a
    // 32-bit buffer.
    std::int32_t indexSize = nv <= 65536 ? 2 : 4;
    if (indexSize == 4 && ni <= 32767) {
      error = "node \"" + n.name + "\" has more than 65536 vertices but too few indices for 32-bit indexing";
      return nullptr;
    }
    r->addChild(UdfRecord::makeString("MaterialName", n.material));
    r->addChild(UdfRecord::makeInt("FVF", kSceneFvf));
    r->addChild(UdfRecord::makeInt("IndexSize", indexSize));
    r->addChild(UdfRecord::makeInt("NumVerts", static_cast<std::int32_t>(nv)));
    r->addChild(UdfRecord::makeInt("NumIndexes", static_cast<std::int32_t>(ni)));
    std::vector<std::uint8_t> verts(nv * sizeof(Vertex));
    if (nv) std::memcpy(verts.data(), n.vertices.data(), verts.size());
    auto vr = UdfRecord::makeRaw("Verts", "byte", std::move(verts));
    r->addChild(std::move(vr));
    std::vector<std::uint8_t> idx(ni * indexSize);
    for (std::size_t i = 0; i < ni; ++i) {
      std::uint32_t v = n.indices[i];
      std::memcpy(&idx[i * indexSize], &v, indexSize);  // little-endian low bytes
    }
    r->addChild(UdfRecord::makeRaw("Indexes", "byte", std::move(idx)));
    for (const auto& [key, value] : n.meshKeys) r->addChild(UdfRecord::makeString(key, value));
  }
  if (!n.rotation.keys.empty() || !n.position.keys.empty()) {
    auto a = UdfRecord::makeStructured("Animation", "Animation");
    if (!n.position.keys.empty()) a->addChild(track("Position", n.position, false));
    if (!n.rotation.keys.empty()) a->addChild(track("Rotation", n.rotation, true));
    r->addChild(std::move(a));
  }
  if (!n.children.empty()) {
    auto c = UdfRecord::makeStructured("Children", "Node");
    for (const auto& child : n.children) {
      auto cr = node(child, error);
      if (!cr) return nullptr;
      c->addChild(std::move(cr));
    }
    r->addChild(std::move(c));
  }
  return r;
}

}  // namespace

std::unique_ptr<halcyon::UdfRecord> sceneRecords(const MediaScene& scene, std::string& error) {
  auto root = UdfRecord::makeStructured("_root", "_roottype");
  auto mats = UdfRecord::makeStructured("Materials", "Material");
  for (const auto& m : scene.materials) mats->addChild(material(m));
  auto kids = UdfRecord::makeStructured("Children", "Node");
  for (const auto& n : scene.nodes) {
    auto r = node(n, error);
    if (!r) return nullptr;
    kids->addChild(std::move(r));
  }
  root->addChild(std::move(mats));
  root->addChild(std::move(kids));
  return root;
}

std::unique_ptr<halcyon::UdfRecord> tourRecords(const TourDef& tour) {
  auto root = UdfRecord::makeStructured("_root", "_roottype");
  std::size_t n = std::max(tour.positions.size(), tour.rotations.size());
  for (std::size_t i = 0; i < n; ++i) {
    if (i < tour.positions.size())
      root->addChild(UdfRecord::makeRaw("pos" + std::to_string(i), "pos", keyBytes(tour.positions[i], false)));
    if (i < tour.rotations.size())
      root->addChild(UdfRecord::makeRaw("rot" + std::to_string(i), "rot", keyBytes(tour.rotations[i], true)));
  }
  return root;
}

bool writeMedia(const MediaScene& scene, const std::string& dir, std::string& error) {
  auto root = sceneRecords(scene, error);
  if (!root) return false;
  halcyon::UdfBinaryWriter writer;
  if (!writer.writeFile(*root, dir + "/clock.udf")) {
    error = "cannot write " + dir + "/clock.udf";
    return false;
  }
  for (const auto& t : scene.tours) {
    auto tr = tourRecords(t);
    std::string path = dir + "/c" + std::to_string(t.number) + ".cam";
    if (!halcyon::UdfBinaryWriter().writeFile(*tr, path)) {
      error = "cannot write " + path;
      return false;
    }
  }
  return true;
}

}  // namespace brassmoor::mediac
