#pragma once
// The user's picture in the frame: the texture it gets (upright, no larger than the frame can
// show) and how it is fitted to the frame's shape (filled and centred, the overflow cut off,
// never stretched).
#include <string>

#include "engine/device/texture.h"
#include "engine/scene/matrix.h"
#include "engine/scene/mesh.h"
#include "engine/scene/scene_node.h"

namespace brassmoor {

// The frame never shows more texels than this along the picture's long side.
constexpr UINT kPictureLongSide = 2048;

struct PictureSize {
  UINT width = 0, height = 0;
};

// The texture size for an image of w x h: the image halved as often as needed to bring its
// long side to at most kPictureLongSide (rounding up); a smaller image keeps its size.
PictureSize pictureTextureSize(UINT w, UINT h);

// The frame's width over its height in the world: how far the canvas runs per unit of the
// texture coordinates of set `coordSet`, area-weighted over its triangles. 0 when the
// geometry does not tell (no such coordinates, or all triangles degenerate).
float frameAspect(const halcyon::Geometry& geometry, const halcyon::Matrix& objectWorld, uint32_t coordSet);

// The texture transform that shows the middle of an image of `imageAspect` in a frame of
// `frameAspect`: the image fills the frame and what overflows on one axis is cut off equally
// on both sides. Identity when either aspect is unknown (0) or they agree.
D3DMATRIX fillAndCentre(float imageAspect, float frameAspect);

// Puts the image at `path` (a full path, opened as written and nowhere else) on the first
// stage of the node "Picture" below `root`, fitted to its frame. Returns the texture, with
// a reference the caller releases, or null when the path names nothing readable as an
// image; then the node keeps its painting and the reason is said on stderr.
halcyon::Texture* putPictureInFrame(const std::string& path, halcyon::SceneNode& root);

}  // namespace brassmoor
