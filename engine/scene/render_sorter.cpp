#include "engine/scene/render_sorter.h"

#include <algorithm>

#include "engine/scene/light.h"
#include "engine/scene/mesh.h"

namespace halcyon {

bool RenderSorter::ungroupedOpaque = false;
bool RenderSorter::skipOpaque = false;

void RenderSorter::Add(Mesh* mesh) {
  if (!mesh) return;
  const Material& material = mesh->GetMaterial();
  if (material.NeedsAlpha()) {
    const float distance = Length(mesh->WorldBounds().Centre() - camera.Position());
    transparent_.push_back({distance, uint32_t(transparent_.size()), mesh});
    return;
  }
  const Texture* key = ungroupedOpaque ? nullptr : material.stages[0].texture;
  auto [it, made] = bucketOf_.try_emplace(key, opaque_.size());
  if (made) opaque_.push_back({key, {}});
  opaque_[it->second].meshes.push_back(mesh);
}

size_t RenderSorter::OpaqueBucketCount() const {
  size_t n = 0;
  for (const Bucket& b : opaque_) n += b.meshes.empty() ? 0 : 1;
  return n;
}

bool RenderSorter::Flush() {
  if (lights_) lights_->ApplyAll();
  bool ok = true;
  if (!skipOpaque) {
    for (const Bucket& bucket : opaque_)
      for (Mesh* mesh : bucket.meshes) ok = mesh->Draw(&camera) && ok;
  }
  // Farthest first; equal distances keep the order in which they came.
  std::sort(transparent_.begin(), transparent_.end(), [](const Far& a, const Far& b) {
    if (a.distance != b.distance) return a.distance > b.distance;
    return a.order < b.order;
  });
  for (const Far& far : transparent_) ok = far.mesh->Draw(&camera) && ok;
  if (lights_) lights_->Finish();
  return ok;
}

void RenderSorter::Clear() {
  for (Bucket& b : opaque_) b.meshes.clear();
  transparent_.clear();
}

}  // namespace halcyon
