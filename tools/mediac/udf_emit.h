#pragma once
// Lays a MediaScene out as scene-file records and writes "clock.udf" and the tour files.
//
// Scene file layout (binary data language, no type definitions):
//   "Materials" (type "Material", structured): one member per material, named after it.
//     single-stage: "Textures" -> "Diffuse" (type "Diffuse") -> "fileName" (string)
//     two-stage:    "Materials" -> "<name>_Base" (MaterialSubId 0, base texture)
//                                 "<name>_LightMap" (MaterialSubId 1, light map)
//     "TwoSided" (int 1) when back faces show: on the material, or on its base sub-material.
//   "Children" (type "Node", structured): one member per top-level node, typed by its kind
//     ("Mesh" or "Dummy"): "NodeTM" and "ObjectTM" (16 reals, type "real", array of 16),
//     mesh keys "MaterialName", "FVF", "IndexSize", "NumVerts", "NumIndexes", "Verts",
//     "Indexes" and the words "Lit", "AlphaUse", "Blend"; "Animation" with "Rotation" and
//     "Position" tracks (type "Linear" or "TCB", members "0", "1", ... of 32 bytes each);
//     "Children" for child nodes.
// Tour file: root members "pos<i>" (type "pos") and "rot<i>" (type "rot"), 32 bytes each.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/udf/udf_record.h"
#include "tools/mediac/media_model.h"

namespace brassmoor::mediac {

inline constexpr std::int32_t kSceneFvf = 0x312;

// The record tree of the scene file; empty pointer and `error` set when the scene cannot be
// laid out (a mesh too large for its index format).
std::unique_ptr<halcyon::UdfRecord> sceneRecords(const MediaScene& scene, std::string& error);
std::unique_ptr<halcyon::UdfRecord> tourRecords(const TourDef& tour);

// Writes clock.udf and c<N>.cam into `dir`. False with `error` set on failure.
bool writeMedia(const MediaScene& scene, const std::string& dir, std::string& error);

}  // namespace brassmoor::mediac
