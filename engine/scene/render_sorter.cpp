#include "engine/scene/render_sorter.h"

#include <algorithm>

#include "engine/scene/light.h"
#include "engine/scene/mesh.h"

namespace halcyon {

bool RenderSorter::ungroupedOpaque = false;
bool RenderSorter::skipOpaque = false;

void RenderSorter::add(Mesh* mesh) {
  if (!mesh) return;
  const Material& material = mesh->getMaterial();
  const float distance = length(mesh->worldBounds().centre() - camera.position());
  if (material.needsAlpha()) {
    transparent_.push_back({distance, uint32_t(transparent_.size()), mesh});
    return;
  }
  const Texture* key = ungroupedOpaque ? nullptr : material.stages[0].texture;
  auto [it, made] = bucketOf_.try_emplace(key, opaque_.size());
  if (made) opaque_.push_back({key, {}, std::numeric_limits<float>::infinity()});
  Bucket& bucket = opaque_[it->second];
  bucket.meshes.push_back(mesh);
  bucket.nearest = std::min(bucket.nearest, distance);
}

size_t RenderSorter::opaqueBucketCount() const {
  size_t n = 0;
  for (const Bucket& b : opaque_) n += b.meshes.empty() ? 0 : 1;
  return n;
}

bool RenderSorter::flush() {
  if (lights_) lights_->applyAll();
  bool ok = true;
  if (!skipOpaque) {
    drawOrder_.clear();
    for (size_t i = 0; i < opaque_.size(); ++i)
      if (!opaque_[i].meshes.empty()) drawOrder_.push_back(i);
    std::stable_sort(drawOrder_.begin(), drawOrder_.end(),
                     [this](size_t a, size_t b) { return opaque_[a].nearest < opaque_[b].nearest; });
    for (size_t i : drawOrder_)
      for (Mesh* mesh : opaque_[i].meshes) ok = mesh->draw(&camera) && ok;
  }
  // Farthest first; equal distances keep the order in which they came.
  std::sort(transparent_.begin(), transparent_.end(), [](const Far& a, const Far& b) {
    if (a.distance != b.distance) return a.distance > b.distance;
    return a.order < b.order;
  });
  for (const Far& far : transparent_) ok = far.mesh->draw(&camera) && ok;
  if (lights_) lights_->finish();
  return ok;
}

void RenderSorter::clear() {
  for (Bucket& b : opaque_) {
    b.meshes.clear();
    b.nearest = std::numeric_limits<float>::infinity();
  }
  transparent_.clear();
}

}  // namespace halcyon
