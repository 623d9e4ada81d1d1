#pragma once
// Builds scene files in the binary data language for tests, with the engine's own writer.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/scene/matrix.h"
#include "engine/udf/udf_binary.h"
#include "engine/udf/udf_record.h"

namespace scenetest {

using Rec = std::unique_ptr<halcyon::UdfRecord>;

inline Rec structRec(std::string name, std::string type) {
  return halcyon::UdfRecord::makeStructured(std::move(name), std::move(type));
}

template <typename... Children>
Rec with(Rec parent, Children&&... children) {
  (parent->addChild(std::move(children)), ...);
  return parent;
}

inline Rec intRec(std::string name, int32_t v) { return halcyon::UdfRecord::makeInt(std::move(name), v); }
inline Rec realRec(std::string name, float v) { return halcyon::UdfRecord::makeReal(std::move(name), v); }
inline Rec textRec(std::string name, std::string_view v) { return halcyon::UdfRecord::makeString(std::move(name), v); }

template <typename T>
Rec rawRec(std::string name, const std::vector<T>& values, std::string type = "raw") {
  std::vector<uint8_t> bytes(values.size() * sizeof(T));
  if (!bytes.empty()) std::memcpy(bytes.data(), values.data(), bytes.size());
  return halcyon::UdfRecord::makeRaw(std::move(name), std::move(type), std::move(bytes));
}

inline Rec matrixRec(std::string name, const halcyon::Matrix& m) {
  std::vector<float> v(&m.m[0][0], &m.m[0][0] + 16);
  return rawRec(std::move(name), v, "matrix");
}

inline Rec colourRec(std::string name, float a, float r, float g, float b) {
  return rawRec(std::move(name), std::vector<float>{a, r, g, b}, "colour");
}

// A node with its two matrices.
inline Rec nodeRec(std::string name, std::string kind, const halcyon::Matrix& nodeTM,
                   const halcyon::Matrix& objectTM = halcyon::Matrix::identity()) {
  return with(structRec(std::move(name), std::move(kind)), matrixRec("NodeTM", nodeTM),
              matrixRec("ObjectTM", objectTM));
}

// An animation key: its time, then x, y, z (and w for rotations).
inline Rec keyRec(float time, float x, float y, float z, float w = 0) {
  return rawRec("k", std::vector<float>{time, x, y, z, w, 0, 0, 0}, "AnimKey");
}

// Vertices of FVF 0x312 (40 bytes): position, normal, two texture pairs.
inline std::vector<float> verts312(uint32_t n) {
  std::vector<float> v;
  for (uint32_t i = 0; i < n; ++i) {
    const float pos[3] = {float(i % 20), float(i / 20), 0.0f};
    v.insert(v.end(), pos, pos + 3);
    v.insert(v.end(), {0, 0, -1, 0.5f, 0.5f, 0.25f, float(i)});
  }
  return v;
}

// A mesh node of `numVerts` FVF 0x312 vertices and the given index bytes, optionally naming its
// material.
inline Rec meshRec(std::string name, int32_t numVerts, int32_t indexSize, std::vector<uint8_t> indexBytes,
                   int32_t numIndexes, const char* material = nullptr) {
  Rec r = nodeRec(std::move(name), "Mesh", halcyon::Matrix::identity());
  r->addChild(intRec("FVF", 0x312));
  r->addChild(intRec("IndexSize", indexSize));
  r->addChild(intRec("NumVerts", numVerts));
  r->addChild(intRec("NumIndexes", numIndexes));
  r->addChild(rawRec("Verts", verts312(uint32_t(numVerts))));
  r->addChild(halcyon::UdfRecord::makeRaw("Indexes", "raw", std::move(indexBytes)));
  if (material) r->addChild(textRec("MaterialName", material));
  return r;
}

// A mesh node of FVF 0x112 vertices (position, normal, one coordinate set: eight floats each)
// and the indices as given, 16 or 32 bits by their type; a skin adds its bone records to it.
template <typename Index>
Rec skinMeshRec(std::string name, const std::vector<float>& verts, const std::vector<Index>& indexes) {
  Rec r = nodeRec(std::move(name), "Mesh", halcyon::Matrix::identity());
  r->addChild(intRec("FVF", 0x112));
  r->addChild(intRec("IndexSize", int32_t(sizeof(Index))));
  r->addChild(intRec("NumVerts", int32_t(verts.size() / 8)));
  r->addChild(intRec("NumIndexes", int32_t(indexes.size())));
  r->addChild(rawRec("Verts", verts));
  r->addChild(rawRec("Indexes", indexes));
  return r;
}

// `count` indices of type T counting up from 0 and wrapping at `modulo`.
template <typename T>
std::vector<uint8_t> indexBytes(uint32_t count, uint32_t modulo) {
  std::vector<uint8_t> out(count * sizeof(T));
  for (uint32_t i = 0; i < count; ++i) {
    const T v = T(i % modulo);
    std::memcpy(&out[i * sizeof(T)], &v, sizeof(T));
  }
  return out;
}

inline std::vector<uint8_t> fileBytes(const halcyon::UdfRecord& root) {
  halcyon::UdfBinaryWriter writer;
  return writer.writeToBytes(root);
}

}  // namespace scenetest
