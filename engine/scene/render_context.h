#pragma once
// What one traversal of the node tree carries down: flags, the explicit time or the frame's
// clock, the current world and bind matrices, the camera for the frustum test and an optional
// render sorter.
#include <cstdint>

#include "engine/scene/camera.h"
#include "engine/scene/matrix.h"

namespace halcyon {

class RenderSorter;

// The camera shared by traversals and sorters.
struct RenderView {
  Camera camera;
};

struct RenderContext : RenderView {
  enum Flag : uint32_t {
    kExplicitTime = 1,   // evaluate animation at `time` instead of each controller's clock
    kNoFrustumTest = 2,  // draw every mesh
    kComposeOnly = 4,    // compose transforms, draw nothing
    kFrameClock = 8,     // the controllers play by `clockMs` instead of reading the clock
  };

  uint32_t flags = 0;
  float time = 0.0f;
  int64_t clockMs = 0;  // the frame's millisecond clock
  Matrix world = Matrix::identity();
  Matrix bind = Matrix::identity();
  RenderSorter* sorter = nullptr;  // not owned
};

}  // namespace halcyon
