#pragma once
// Writes small glTF files for the compiler's tests: a JSON document and its .bin buffer.

#include <cstdint>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace mediactest {

class GltfBuilder {
 public:
  using json = nlohmann::json;

  GltfBuilder() {
    doc_["asset"] = {{"version", "2.0"}};
    doc_["scenes"] = json::array({json{{"nodes", json::array()}}});
    doc_["scene"] = 0;
    for (const char* k : {"nodes", "meshes", "materials", "accessors", "bufferViews", "animations", "cameras"})
      doc_[k] = json::array();
  }

  int floats(const std::vector<float>& v, const char* type, int width) {
    int view = addView(v.data(), v.size() * 4);
    json acc = {{"bufferView", view}, {"componentType", 5126}, {"count", v.size() / width}, {"type", type}};
    if (width == 3 && std::string(type) == "VEC3") {
      // positions need min and max in valid files; harmless elsewhere
      std::vector<float> lo(3, 1e30f), hi(3, -1e30f);
      for (std::size_t i = 0; i < v.size(); ++i) {
        lo[i % 3] = std::min(lo[i % 3], v[i]);
        hi[i % 3] = std::max(hi[i % 3], v[i]);
      }
      acc["min"] = lo;
      acc["max"] = hi;
    }
    doc_["accessors"].push_back(acc);
    return static_cast<int>(doc_["accessors"].size()) - 1;
  }

  int indices16(const std::vector<std::uint16_t>& v) {
    int view = addView(v.data(), v.size() * 2);
    doc_["accessors"].push_back(
        {{"bufferView", view}, {"componentType", 5123}, {"count", v.size()}, {"type", "SCALAR"}});
    return static_cast<int>(doc_["accessors"].size()) - 1;
  }

  int material(const std::string& name, const std::string& base, const std::string& lightMap = "") {
    doc_["materials"].push_back({{"name", name}, {"extras", {{"udf_base", base}, {"udf_lightmap", lightMap}}}});
    return static_cast<int>(doc_["materials"].size()) - 1;
  }

  // A mesh of one triangle per primitive, each with its material.
  int triangleMesh(const std::vector<int>& materials, bool secondUv = true) {
    json prims = json::array();
    for (int mat : materials) {
      int pos = floats({0.01f, 0.02f, 0.03f, 1, 0, 0, 0, 1, 0}, "VEC3", 3);
      int nrm = floats({0, 0, 1, 0, 0, 1, 0, 0, 1}, "VEC3", 3);
      int uv0 = floats({0, 0, 1, 0, 0, 1}, "VEC2", 2);
      json attrs = {{"POSITION", pos}, {"NORMAL", nrm}, {"TEXCOORD_0", uv0}};
      if (secondUv) attrs["TEXCOORD_1"] = floats({0.5f, 0.5f, 0.75f, 0.5f, 0.5f, 0.75f}, "VEC2", 2);
      prims.push_back({{"attributes", attrs}, {"indices", indices16({0, 1, 2})}, {"material", mat}});
    }
    doc_["meshes"].push_back({{"name", "m"}, {"primitives", prims}});
    return static_cast<int>(doc_["meshes"].size()) - 1;
  }

  int node(json n, bool topLevel = true) {
    doc_["nodes"].push_back(std::move(n));
    int idx = static_cast<int>(doc_["nodes"].size()) - 1;
    if (topLevel) doc_["scenes"][0]["nodes"].push_back(idx);
    return idx;
  }

  int camera() {
    doc_["cameras"].push_back({{"type", "perspective"}, {"perspective", {{"yfov", 1.2}, {"znear", 0.01}}}});
    return static_cast<int>(doc_["cameras"].size()) - 1;
  }

  // One animation channel with LINEAR keys.
  void channel(int node, const std::string& path, const std::vector<float>& times, const std::vector<float>& values) {
    int in = floats(times, "SCALAR", 1);
    int out = floats(values, path == "rotation" ? "VEC4" : "VEC3", path == "rotation" ? 4 : 3);
    json anim = {{"name", "a" + std::to_string(doc_["animations"].size())},
                 {"samplers", json::array({json{{"input", in}, {"output", out}, {"interpolation", "LINEAR"}}})},
                 {"channels", json::array({json{{"sampler", 0}, {"target", {{"node", node}, {"path", path}}}}})}};
    doc_["animations"].push_back(anim);
  }

  json& doc() { return doc_; }

  // Writes NAME.gltf and NAME.bin into `dir`; returns the .gltf path.
  std::string write(const std::string& dir, const std::string& name = "scene") {
    std::string bin = name + ".bin";
    doc_["buffers"] = json::array({json{{"uri", bin}, {"byteLength", bin_.size()}}});
    std::ofstream(dir + "/" + bin, std::ios::binary)
        .write(reinterpret_cast<const char*>(bin_.data()), static_cast<std::streamsize>(bin_.size()));
    std::string path = dir + "/" + name + ".gltf";
    std::ofstream(path) << doc_.dump();
    return path;
  }

 private:
  int addView(const void* data, std::size_t bytes) {
    while (bin_.size() % 4) bin_.push_back(0);
    std::size_t at = bin_.size();
    bin_.resize(at + bytes);
    std::memcpy(bin_.data() + at, data, bytes);
    doc_["bufferViews"].push_back({{"buffer", 0}, {"byteOffset", at}, {"byteLength", bytes}});
    return static_cast<int>(doc_["bufferViews"].size()) - 1;
  }

  json doc_;
  std::vector<std::uint8_t> bin_;
};

}  // namespace mediactest
