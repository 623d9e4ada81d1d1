#pragma once
// The view out of the window: the night outside and the rain lie beyond the wall that holds
// it, so from inside the room they show only through its panes. Drawn inside the panes'
// rectangle on the screen they look the same, and the rasteriser is spared the many pixels
// the wall hides anyway.
#include <optional>

#include "engine/scene/matrix.h"
#include "platform/d3d9/d3d9.h"

namespace halcyon {
class Camera;
class Mesh;
class SceneNode;
}  // namespace halcyon

namespace brassmoor {

// The smallest rectangle of back-buffer pixels, inside the viewport, that holds every point
// of `box` as seen through `viewProjection` (row vectors, as the device's transforms), grown
// by a pixel for the rasteriser's rounding. None when a corner lies on or behind the plane of
// the eye: the corners' images then do not bound the box's.
std::optional<RECT> screenRectOf(const halcyon::Box& box, const halcyon::Matrix& viewProjection,
                                 const D3DVIEWPORT9& viewport);

// Whether `box` lies wholly on the far side of the pane `window` from `inside`, across the
// pane's thinnest extent (the normal of the wall it sits in). False when `inside` lies within
// that extent, or either box is empty.
bool liesBeyond(const halcyon::Box& box, const halcyon::Box& window, halcyon::Vec3 inside);

// Keeps what lies beyond a window pane inside the pane's rectangle on the screen while the
// camera is in the room. The room is learnt from a traversal that placed every mesh (the
// first drawn frame): its middle is the inside, and the box of what lies on that side of the
// pane is where the walls hold the eye.
class WindowView {
 public:
  // The pane the view shows through; null draws everything whole.
  void setPane(const halcyon::Mesh* pane);
  // Learns the room from the meshes under `root` as last placed; returns whether it could.
  bool learnRoom(halcyon::SceneNode& root);
  bool knowsRoom() const { return knowsRoom_; }

  // The rectangle for this camera, or none while the room is not known, the eye is outside
  // the room or the pane's corners do not all lie before the eye.
  std::optional<RECT> clipFor(const halcyon::Camera& camera, const D3DVIEWPORT9& viewport) const;
  // Every mesh under `top` that lies beyond the pane draws inside `clip`; the others, and all
  // of them without a clip, draw everywhere.
  void clipBeyond(halcyon::SceneNode& top, const std::optional<RECT>& clip) const;

 private:
  const halcyon::Mesh* pane_ = nullptr;
  bool knowsRoom_ = false;
  halcyon::Vec3 inside_{0.0f, 0.0f, 0.0f};
  halcyon::Box room_;
};

}  // namespace brassmoor
