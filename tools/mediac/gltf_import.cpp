#include "tools/mediac/gltf_import.h"

#include <tiny_gltf.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

namespace brassmoor::mediac {

std::array<float, 16> identityMatrix() { return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}; }

namespace {

// The frame change as a diagonal: metres to centimetres on every axis, Z mirrored.
constexpr double kFrame[4] = {100.0, 100.0, -100.0, 1.0};

struct Quat {
  double x = 0, y = 0, z = 0, w = 1;
};

Quat mul(const Quat& a, const Quat& b) {
  return {a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y, a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
          a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w, a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z};
}

Quat conj(const Quat& q) { return {-q.x, -q.y, -q.z, q.w}; }

Quat normalised(Quat q) {
  double n = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
  if (n < 1e-12) return {};
  return {q.x / n, q.y / n, q.z / n, q.w / n};
}

// Rotates v by q (column convention, as glTF and the engine's key quaternions both mean it).
std::array<double, 3> rotate(const Quat& q, const std::array<double, 3>& v) {
  Quat p{v[0], v[1], v[2], 0};
  Quat r = mul(mul(q, p), conj(q));
  return {r.x, r.y, r.z};
}

Quat mirrored(const Quat& q) { return {-q.x, -q.y, q.z, q.w}; }

class Reader {
 public:
  explicit Reader(const tinygltf::Model& m) : m_(m) {}

  // Reads `count` x `width` floats of an accessor (floats only; the exporter writes floats
  // for every attribute the room uses).
  std::optional<std::vector<float>> floats(int index, int width) const {
    if (index < 0 || index >= static_cast<int>(m_.accessors.size())) return std::nullopt;
    const auto& a = m_.accessors[index];
    if (a.componentType != TINYGLTF_COMPONENT_TYPE_FLOAT) return std::nullopt;
    if (tinygltf::GetNumComponentsInType(a.type) != width) return std::nullopt;
    const unsigned char* base = bytes(a, static_cast<std::size_t>(width) * 4);
    if (!base) return std::nullopt;
    std::size_t stride = strideOf(a, static_cast<std::size_t>(width) * 4);
    std::vector<float> out(a.count * width);
    for (std::size_t i = 0; i < a.count; ++i) std::memcpy(&out[i * width], base + i * stride, width * 4);
    return out;
  }

  std::optional<std::vector<std::uint32_t>> indices(int index) const {
    if (index < 0 || index >= static_cast<int>(m_.accessors.size())) return std::nullopt;
    const auto& a = m_.accessors[index];
    if (a.type != TINYGLTF_TYPE_SCALAR) return std::nullopt;
    std::size_t size = 0;
    switch (a.componentType) {
      case TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE: size = 1; break;
      case TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT: size = 2; break;
      case TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT: size = 4; break;
      default: return std::nullopt;
    }
    const unsigned char* base = bytes(a, size);
    if (!base) return std::nullopt;
    std::size_t stride = strideOf(a, size);
    std::vector<std::uint32_t> out(a.count);
    for (std::size_t i = 0; i < a.count; ++i) {
      const unsigned char* p = base + i * stride;
      std::uint32_t v = 0;
      if (size == 1) v = p[0];
      else if (size == 2) {
        std::uint16_t s;
        std::memcpy(&s, p, 2);
        v = s;
      } else
        std::memcpy(&v, p, 4);
      out[i] = v;
    }
    return out;
  }

 private:
  std::size_t strideOf(const tinygltf::Accessor& a, std::size_t element) const {
    const auto& view = m_.bufferViews[a.bufferView];
    return view.byteStride ? view.byteStride : element;
  }

  // Start of the accessor's data, or null when the views and buffers do not hold it all.
  const unsigned char* bytes(const tinygltf::Accessor& a, std::size_t element) const {
    if (a.bufferView < 0 || a.bufferView >= static_cast<int>(m_.bufferViews.size())) return nullptr;
    if (a.sparse.isSparse) return nullptr;
    const auto& view = m_.bufferViews[a.bufferView];
    if (view.buffer < 0 || view.buffer >= static_cast<int>(m_.buffers.size())) return nullptr;
    const auto& buf = m_.buffers[view.buffer].data;
    std::size_t stride = view.byteStride ? view.byteStride : element;
    if (stride < element) return nullptr;
    std::size_t need = a.count == 0 ? 0 : (a.count - 1) * stride + element;
    std::size_t start = view.byteOffset + a.byteOffset;
    if (a.byteOffset + need > view.byteLength) return nullptr;
    if (start > buf.size() || buf.size() - start < need) return nullptr;
    return buf.data() + start;
  }

  const tinygltf::Model& m_;
};

std::string extraString(const tinygltf::Value& extras, const std::string& key) {
  if (!extras.IsObject() || !extras.Has(key)) return {};
  const auto& v = extras.Get(key);
  if (v.IsString()) return v.Get<std::string>();
  if (v.IsInt()) return std::to_string(v.Get<int>());
  if (v.IsNumber()) return std::to_string(static_cast<int>(v.GetNumberAsDouble()));
  if (v.IsBool()) return v.Get<bool>() ? "1" : "0";
  return {};
}

struct Rest {
  Quat rotation;
  std::array<double, 3> translation{0, 0, 0};
  std::array<double, 3> scale{1, 1, 1};
};

Rest restOf(const tinygltf::Node& n) {
  Rest r;
  if (n.rotation.size() == 4) r.rotation = normalised({n.rotation[0], n.rotation[1], n.rotation[2], n.rotation[3]});
  if (n.translation.size() == 3) r.translation = {n.translation[0], n.translation[1], n.translation[2]};
  if (n.scale.size() == 3) r.scale = {n.scale[0], n.scale[1], n.scale[2]};
  return r;
}

std::array<double, 16> localMatrix(const tinygltf::Node& n) {
  std::array<double, 16> m{};
  if (n.matrix.size() == 16) {
    std::copy(n.matrix.begin(), n.matrix.end(), m.begin());
    return m;
  }
  Rest r = restOf(n);
  const Quat& q = r.rotation;
  // column-major T * R * S
  double rm[3][3] = {{1 - 2 * (q.y * q.y + q.z * q.z), 2 * (q.x * q.y - q.z * q.w), 2 * (q.x * q.z + q.y * q.w)},
                     {2 * (q.x * q.y + q.z * q.w), 1 - 2 * (q.x * q.x + q.z * q.z), 2 * (q.y * q.z - q.x * q.w)},
                     {2 * (q.x * q.z - q.y * q.w), 2 * (q.y * q.z + q.x * q.w), 1 - 2 * (q.x * q.x + q.y * q.y)}};
  for (int c = 0; c < 3; ++c)
    for (int row = 0; row < 3; ++row) m[c * 4 + row] = rm[row][c] * r.scale[c];
  m[12] = r.translation[0];
  m[13] = r.translation[1];
  m[14] = r.translation[2];
  m[15] = 1;
  return m;
}

struct Channels {
  const tinygltf::AnimationSampler* translation = nullptr;
  const tinygltf::AnimationSampler* rotation = nullptr;
};

class Importer {
 public:
  explicit Importer(const tinygltf::Model& m) : m_(m), rd_(m) {}

  bool run(MediaScene& out, std::string& error) {
    for (const auto& anim : m_.animations) {
      for (const auto& ch : anim.channels) {
        if (ch.sampler < 0 || ch.sampler >= static_cast<int>(anim.samplers.size())) continue;
        const auto* s = &anim.samplers[ch.sampler];
        if (ch.target_path == "translation") channels_[ch.target_node].translation = s;
        else if (ch.target_path == "rotation")
          channels_[ch.target_node].rotation = s;
        else if (ch.target_path == "scale") {
          error = "node " + std::to_string(ch.target_node) + ": scale animation is not supported";
          return false;
        }
      }
    }
    for (const auto& mat : m_.materials) {
      MaterialDef d;
      d.name = mat.name;
      d.base = extraString(mat.extras, "udf_base");
      d.lightMap = extraString(mat.extras, "udf_lightmap");
      d.twoSided = extraString(mat.extras, "udf_two_sided") == "1";
      d.flashMap = extraString(mat.extras, "udf_flashmap");
      d.lampMap = extraString(mat.extras, "udf_lampmap");
      if (d.base.empty()) {
        error = "material \"" + mat.name + "\" names no base texture (udf_base)";
        return false;
      }
      out.materials.push_back(d);
    }
    if (m_.scenes.empty()) {
      error = "the file holds no scene";
      return false;
    }
    const auto& sc = m_.scenes[m_.defaultScene >= 0 ? m_.defaultScene : 0];
    for (int idx : sc.nodes) {
      if (idx < 0 || idx >= static_cast<int>(m_.nodes.size())) {
        error = "scene lists a node that does not exist";
        return false;
      }
      const auto& n = m_.nodes[idx];
      if (n.camera >= 0) {
        TourDef tour;
        if (!readTour(idx, tour, error)) return false;
        if (tour.number > 0) out.tours.push_back(std::move(tour));
        continue;
      }
      NodeDef node;
      if (!readNode(idx, node, error, 0)) return false;
      out.nodes.push_back(std::move(node));
    }
    std::sort(out.tours.begin(), out.tours.end(),
              [](const TourDef& a, const TourDef& b) { return a.number < b.number; });
    return true;
  }

 private:
  bool readNode(int idx, NodeDef& node, std::string& error, int depth) {
    if (depth > 64) {
      error = "node hierarchy too deep";
      return false;
    }
    const auto& n = m_.nodes[idx];
    node.name = n.name;
    node.nodeTM = engineMatrix(localMatrix(n));
    if (n.extras.IsObject()) {
      for (const auto& key : n.extras.Keys()) {
        if (key.rfind("udf_", 0) == 0 && key != "udf_track") node.meshKeys[key.substr(4)] = extraString(n.extras, key);
      }
    }
    auto it = channels_.find(idx);
    if (it != channels_.end()) {
      if (n.matrix.size() == 16) {
        error = "node \"" + n.name + "\" is animated but stores a matrix";
        return false;
      }
      bool cubic = extraString(n.extras, "udf_track") == "cubic";
      if (!readNodeTracks(n, it->second, node, cubic, error)) return false;
    }
    if (n.mesh >= 0) {
      if (n.mesh >= static_cast<int>(m_.meshes.size())) {
        error = "node \"" + n.name + "\" names a mesh that does not exist";
        return false;
      }
      const auto& mesh = m_.meshes[n.mesh];
      if (mesh.primitives.size() == 1) {
        if (!readPrimitive(mesh.primitives[0], node, error)) return false;
      } else {
        // several materials on one object: one child mesh node per material
        for (std::size_t k = 0; k < mesh.primitives.size(); ++k) {
          NodeDef part;
          part.name = n.name + "_" + std::to_string(k);
          part.nodeTM = identityMatrix();
          part.meshKeys = node.meshKeys;
          if (!readPrimitive(mesh.primitives[k], part, error)) return false;
          node.children.push_back(std::move(part));
        }
      }
    }
    for (int c : n.children) {
      if (c < 0 || c >= static_cast<int>(m_.nodes.size())) {
        error = "node \"" + n.name + "\" has a child that does not exist";
        return false;
      }
      NodeDef child;
      if (!readNode(c, child, error, depth + 1)) return false;
      node.children.push_back(std::move(child));
    }
    return true;
  }

  bool readPrimitive(const tinygltf::Primitive& p, NodeDef& node, std::string& error) {
    auto fail = [&](const std::string& what) {
      error = "mesh of node \"" + node.name + "\": " + what;
      return false;
    };
    if (p.mode != TINYGLTF_MODE_TRIANGLES && p.mode != -1) return fail("only triangle lists are supported");
    auto attr = [&](const char* name) {
      auto a = p.attributes.find(name);
      return a == p.attributes.end() ? -1 : a->second;
    };
    auto pos = rd_.floats(attr("POSITION"), 3);
    auto nrm = rd_.floats(attr("NORMAL"), 3);
    auto uv0 = rd_.floats(attr("TEXCOORD_0"), 2);
    std::optional<std::vector<float>> uv1;
    if (attr("TEXCOORD_1") >= 0) uv1 = rd_.floats(attr("TEXCOORD_1"), 2);
    if (!pos) return fail("positions missing or unreadable");
    if (!nrm) return fail("normals missing or unreadable");
    if (!uv0) return fail("texture coordinates missing or unreadable");
    if (attr("TEXCOORD_1") >= 0 && !uv1) return fail("second texture coordinates unreadable");
    std::size_t count = pos->size() / 3;
    if (nrm->size() / 3 != count || uv0->size() / 2 != count || (uv1 && uv1->size() / 2 != count))
      return fail("attribute counts differ");
    if (p.material < 0 || p.material >= static_cast<int>(m_.materials.size())) return fail("no material");
    node.material = m_.materials[p.material].name;
    node.kind = "Mesh";
    node.vertices.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
      Vertex& v = node.vertices[i];
      auto P = enginePoint((*pos)[i * 3], (*pos)[i * 3 + 1], (*pos)[i * 3 + 2]);
      auto N = enginePoint((*nrm)[i * 3], (*nrm)[i * 3 + 1], (*nrm)[i * 3 + 2], 1.0);
      v.px = P[0];
      v.py = P[1];
      v.pz = P[2];
      v.nx = N[0];
      v.ny = N[1];
      v.nz = N[2];
      // glTF and the engine both put texture v = 0 at the top of the image
      v.u0 = (*uv0)[i * 2];
      v.v0 = (*uv0)[i * 2 + 1];
      // a single-stage material still has the second pair in its vertices
      v.u1 = uv1 ? (*uv1)[i * 2] : v.u0;
      v.v1 = uv1 ? (*uv1)[i * 2 + 1] : v.v0;
    }
    if (p.indices >= 0) {
      auto idx = rd_.indices(p.indices);
      if (!idx) return fail("indices unreadable");
      node.indices = std::move(*idx);
    } else {
      node.indices.resize(count);
      for (std::size_t i = 0; i < count; ++i) node.indices[i] = static_cast<std::uint32_t>(i);
    }
    if (node.indices.size() % 3 != 0) return fail("index count is not a multiple of 3");
    for (auto i : node.indices)
      if (i >= count) return fail("an index points past the vertices");
    // The mirror turns glTF's counter-clockwise front faces into faces whose edge cross
    // product points away from their normal; the engine keeps faces whose cross product
    // points along it (clockwise on screen), so each triangle's winding is reversed.
    for (std::size_t t = 0; t + 2 < node.indices.size(); t += 3) std::swap(node.indices[t + 1], node.indices[t + 2]);
    return true;
  }

  struct Sampled {
    std::vector<float> times;
    std::vector<float> values;
    int width = 0;
  };

  std::optional<Sampled> sample(const tinygltf::AnimationSampler& s, int width) {
    Sampled out;
    auto t = rd_.floats(s.input, 1);
    auto v = rd_.floats(s.output, width);
    if (!t || !v) return std::nullopt;
    out.width = width;
    out.times = *t;
    std::size_t n = out.times.size();
    if (s.interpolation == "CUBICSPLINE") {
      // in-tangent, value, out-tangent per key: keep the values
      if (v->size() != n * 3 * width) return std::nullopt;
      out.values.resize(n * width);
      for (std::size_t i = 0; i < n; ++i)
        for (int k = 0; k < width; ++k) out.values[i * width + k] = (*v)[(i * 3 + 1) * width + k];
    } else {
      if (v->size() != n * width) return std::nullopt;
      out.values = *v;
    }
    return out;
  }

  bool readNodeTracks(const tinygltf::Node& n, const Channels& ch, NodeDef& node, bool cubic, std::string& error) {
    Rest rest = restOf(n);
    Quat q0 = rest.rotation;
    Quat q0inv = conj(q0);
    if (ch.rotation) {
      auto s = sample(*ch.rotation, 4);
      if (!s) {
        error = "node \"" + n.name + "\": rotation keys unreadable";
        return false;
      }
      Quat prev{};
      for (std::size_t i = 0; i < s->times.size(); ++i) {
        Quat q = normalised({s->values[i * 4], s->values[i * 4 + 1], s->values[i * 4 + 2], s->values[i * 4 + 3]});
        // the engine puts a key's rotation in front of the node's own transform
        Quat rel = mirrored(normalised(mul(q0inv, q)));
        if (i > 0 && rel.x * prev.x + rel.y * prev.y + rel.z * prev.z + rel.w * prev.w < 0)
          rel = {-rel.x, -rel.y, -rel.z, -rel.w};
        prev = rel;
        node.rotation.keys.push_back({s->times[i] * 1000.0f, static_cast<float>(rel.x), static_cast<float>(rel.y),
                                      static_cast<float>(rel.z), static_cast<float>(rel.w)});
      }
      node.rotation.linear = !cubic;
    }
    if (ch.translation) {
      auto s = sample(*ch.translation, 3);
      if (!s) {
        error = "node \"" + n.name + "\": position keys unreadable";
        return false;
      }
      for (std::size_t i = 0; i < s->times.size(); ++i) {
        std::array<double, 3> d{s->values[i * 3] - rest.translation[0], s->values[i * 3 + 1] - rest.translation[1],
                                s->values[i * 3 + 2] - rest.translation[2]};
        // an offset applied before the node's rotation: undo that rotation first
        auto local = rotate(q0inv, d);
        for (int k = 0; k < 3; ++k) local[k] /= rest.scale[k];
        auto e = enginePoint(local[0], local[1], local[2]);
        node.position.keys.push_back({s->times[i] * 1000.0f, e[0], e[1], e[2], 0});
      }
      node.position.linear = !cubic;
    }
    return true;
  }

  bool readTour(int idx, TourDef& tour, std::string& error) {
    const auto& n = m_.nodes[idx];
    const std::string prefix = "tour_";
    if (n.name.rfind(prefix, 0) != 0) return true;  // some other camera: not a tour
    try {
      tour.number = std::stoi(n.name.substr(prefix.size()));
    } catch (...) {
      tour.number = 0;
    }
    if (tour.number < 1 || tour.number > 99) {
      error = "camera \"" + n.name + "\" has no usable tour number";
      return false;
    }
    Rest rest = restOf(n);
    auto it = channels_.find(idx);
    const tinygltf::AnimationSampler* ts = it == channels_.end() ? nullptr : it->second.translation;
    const tinygltf::AnimationSampler* rs = it == channels_.end() ? nullptr : it->second.rotation;
    // tour units: ten per second
    if (ts) {
      auto s = sample(*ts, 3);
      if (!s) {
        error = "tour \"" + n.name + "\": position keys unreadable";
        return false;
      }
      for (std::size_t i = 0; i < s->times.size(); ++i) {
        auto e = enginePoint(s->values[i * 3], s->values[i * 3 + 1], s->values[i * 3 + 2]);
        tour.positions.push_back({std::round(s->times[i] * 10.0f * 1000.0f) / 1000.0f, e[0], e[1], e[2], 0});
      }
    } else {
      auto e = enginePoint(rest.translation[0], rest.translation[1], rest.translation[2]);
      tour.positions.push_back({0, e[0], e[1], e[2], 0});
    }
    Quat prev{};
    auto addRot = [&](float time, Quat q) {
      Quat e = mirrored(normalised(q));
      if (!tour.rotations.empty() && e.x * prev.x + e.y * prev.y + e.z * prev.z + e.w * prev.w < 0)
        e = {-e.x, -e.y, -e.z, -e.w};
      prev = e;
      tour.rotations.push_back({time, static_cast<float>(e.x), static_cast<float>(e.y), static_cast<float>(e.z),
                                static_cast<float>(e.w)});
    };
    if (rs) {
      auto s = sample(*rs, 4);
      if (!s) {
        error = "tour \"" + n.name + "\": rotation keys unreadable";
        return false;
      }
      for (std::size_t i = 0; i < s->times.size(); ++i)
        addRot(std::round(s->times[i] * 10.0f * 1000.0f) / 1000.0f,
               {s->values[i * 4], s->values[i * 4 + 1], s->values[i * 4 + 2], s->values[i * 4 + 3]});
    } else {
      addRot(0, rest.rotation);
    }
    return true;
  }

  const tinygltf::Model& m_;
  Reader rd_;
  std::map<int, Channels> channels_;
};

}  // namespace

std::array<float, 16> engineMatrix(const std::array<double, 16>& g) {
  // L' = F L F^-1 with F the frame diagonal, then transposed into row-vector form.
  std::array<float, 16> out{};
  for (int col = 0; col < 4; ++col) {
    for (int row = 0; row < 4; ++row) {
      double v = g[col * 4 + row] * kFrame[row] / kFrame[col];
      out[col * 4 + row] = static_cast<float>(v);  // row-major of the transpose = column-major of L'
    }
  }
  return out;
}

std::array<float, 3> enginePoint(double x, double y, double z, double scale) {
  return {static_cast<float>(x * scale), static_cast<float>(y * scale), static_cast<float>(-z * scale)};
}

std::array<float, 4> engineQuaternion(double x, double y, double z, double w) {
  Quat q = mirrored(normalised({x, y, z, w}));
  return {static_cast<float>(q.x), static_cast<float>(q.y), static_cast<float>(q.z), static_cast<float>(q.w)};
}

ImportResult importGltf(const std::string& path) {
  ImportResult r;
  tinygltf::Model model;
  tinygltf::TinyGLTF loader;
  std::string err, warn;
  bool ok = path.size() > 4 && path.substr(path.size() - 4) == ".glb"
                ? loader.LoadBinaryFromFile(&model, &err, &warn, path)
                : loader.LoadASCIIFromFile(&model, &err, &warn, path);
  if (!ok) {
    r.error = "cannot read " + path + (err.empty() ? "" : ": " + err.substr(0, err.find('\n')));
    return r;
  }
  Importer imp(model);
  if (!imp.run(r.scene, r.error)) return r;
  r.ok = true;
  return r;
}

}  // namespace brassmoor::mediac
