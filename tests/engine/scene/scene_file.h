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

inline Rec Struct(std::string name, std::string type) {
  return halcyon::UdfRecord::makeStructured(std::move(name), std::move(type));
}

template <typename... Children>
Rec With(Rec parent, Children&&... children) {
  (parent->addChild(std::move(children)), ...);
  return parent;
}

inline Rec Int(std::string name, int32_t v) { return halcyon::UdfRecord::makeInt(std::move(name), v); }
inline Rec Real(std::string name, float v) { return halcyon::UdfRecord::makeReal(std::move(name), v); }
inline Rec Text(std::string name, std::string_view v) { return halcyon::UdfRecord::makeString(std::move(name), v); }

template <typename T>
Rec Raw(std::string name, const std::vector<T>& values, std::string type = "raw") {
  std::vector<uint8_t> bytes(values.size() * sizeof(T));
  if (!bytes.empty()) std::memcpy(bytes.data(), values.data(), bytes.size());
  return halcyon::UdfRecord::makeRaw(std::move(name), std::move(type), std::move(bytes));
}

inline Rec MatrixRec(std::string name, const halcyon::Matrix& m) {
  std::vector<float> v(&m.m[0][0], &m.m[0][0] + 16);
  return Raw(std::move(name), v, "matrix");
}

inline Rec Colour(std::string name, float a, float r, float g, float b) {
  return Raw(std::move(name), std::vector<float>{a, r, g, b}, "colour");
}

// A node with its two matrices.
inline Rec NodeRec(std::string name, std::string kind, const halcyon::Matrix& nodeTM,
                   const halcyon::Matrix& objectTM = halcyon::Matrix::Identity()) {
  return With(Struct(std::move(name), std::move(kind)), MatrixRec("NodeTM", nodeTM), MatrixRec("ObjectTM", objectTM));
}

inline std::vector<uint8_t> Bytes(const halcyon::UdfRecord& root) {
  halcyon::UdfBinaryWriter writer;
  return writer.writeToBytes(root);
}

}  // namespace scenetest
