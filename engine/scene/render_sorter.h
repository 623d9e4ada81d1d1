#pragma once
// Collects the visible meshes of one traversal and draws them in an order that suits the
// fixed-function pipeline: opaque meshes grouped by their first texture, the group nearest the
// camera first (so that the depth test rejects what lies behind it before it is shaded), then
// the meshes that need alpha from the farthest to the nearest.
#include <cstddef>
#include <cstdint>
#include <limits>
#include <unordered_map>
#include <vector>

#include "engine/scene/render_context.h"

namespace halcyon {

class LightList;
class Mesh;
class Texture;

class RenderSorter : public RenderView {
 public:
  // Engine-wide switches: every opaque mesh in the bucket without texture; draw no opaque mesh.
  static bool ungroupedOpaque;
  static bool skipOpaque;

  void add(Mesh* mesh);
  // Draws everything collected; true only when every draw succeeded.
  bool flush();
  // Empties both collections (their storage is kept for the next frame).
  void clear();
  void setLights(LightList* lights) { lights_ = lights; }
  bool ready() const { return ready_; }

  size_t opaqueBucketCount() const;
  size_t transparentCount() const { return transparent_.size(); }

 private:
  struct Bucket {
    const Texture* texture;
    std::vector<Mesh*> meshes;
    float nearest;  // distance of its nearest mesh this frame
  };
  struct Far {
    float distance;
    uint32_t order;
    Mesh* mesh;
  };

  std::vector<Bucket> opaque_;  // buckets in order of first use
  std::unordered_map<const Texture*, size_t> bucketOf_;
  std::vector<size_t> drawOrder_;  // opaque buckets, nearest first
  std::vector<Far> transparent_;
  LightList* lights_ = nullptr;
  bool ready_ = true;
};

}  // namespace halcyon
