#pragma once
// What a loaded scene is put through wherever loading is hammered with damaged files (the
// robustness test and the fuzz target): whatever was built must animate and draw.
#include "engine/scene/render_sorter.h"
#include "engine/scene/scene.h"

namespace scenetest {

// Plays the first animation of every node, looping; draws the tree once through a sorter
// (blended meshes wait for the flush) and once at an explicit time, straight to the device.
inline void playAndDraw(halcyon::Scene& scene) {
  scene.root().playAnimation(0, "", true);
  halcyon::RenderSorter sorter;
  halcyon::RenderContext ctx;
  ctx.flags = halcyon::RenderContext::kNoFrustumTest;
  ctx.sorter = &sorter;
  scene.root().render(ctx);
  sorter.flush();
  ctx.flags |= halcyon::RenderContext::kExplicitTime;
  ctx.time = 1234.5f;
  ctx.sorter = nullptr;
  scene.root().render(ctx);
}

}  // namespace scenetest
