#include "clock/window_view.h"

#include <algorithm>
#include <cmath>

#include "engine/scene/camera.h"
#include "engine/scene/mesh.h"
#include "engine/scene/scene_node.h"

namespace brassmoor {

namespace {

float axis(halcyon::Vec3 v, int a) { return a == 0 ? v.x : (a == 1 ? v.y : v.z); }

template <typename Fn>
void eachMesh(halcyon::SceneNode& node, const Fn& fn) {
  if (halcyon::Mesh* mesh = node.getMesh()) fn(*mesh);
  for (const auto& child : node.children()) eachMesh(*child, fn);
}

bool holds(const halcyon::Box& box, halcyon::Vec3 p) {
  return !box.empty() && p.x > box.min.x && p.x < box.max.x && p.y > box.min.y && p.y < box.max.y && p.z > box.min.z &&
         p.z < box.max.z;
}

}  // namespace

std::optional<RECT> screenRectOf(const halcyon::Box& box, const halcyon::Matrix& viewProjection,
                                 const D3DVIEWPORT9& viewport) {
  if (box.empty()) return RECT{0, 0, 0, 0};
  halcyon::Vec3 corners[8];
  box.corners(corners);
  const float(&m)[4][4] = viewProjection.m;
  float left = INFINITY, top = INFINITY, right = -INFINITY, bottom = -INFINITY;
  for (const halcyon::Vec3& c : corners) {
    const float w = c.x * m[0][3] + c.y * m[1][3] + c.z * m[2][3] + m[3][3];
    if (!(w > 1e-6f)) return std::nullopt;
    const float x = (c.x * m[0][0] + c.y * m[1][0] + c.z * m[2][0] + m[3][0]) / w;
    const float y = (c.x * m[0][1] + c.y * m[1][1] + c.z * m[2][1] + m[3][1]) / w;
    // Device rows run downwards from the viewport's top.
    const float px = float(viewport.X) + (x + 1.0f) * 0.5f * float(viewport.Width);
    const float py = float(viewport.Y) + (1.0f - y) * 0.5f * float(viewport.Height);
    left = std::min(left, px);
    right = std::max(right, px);
    top = std::min(top, py);
    bottom = std::max(bottom, py);
  }
  const float x0 = float(viewport.X), y0 = float(viewport.Y);
  const float x1 = x0 + float(viewport.Width), y1 = y0 + float(viewport.Height);
  const auto clampTo = [](float v, float lo, float hi) { return std::clamp(v, lo, hi); };
  RECT r;
  r.left = LONG(clampTo(std::floor(left) - 1.0f, x0, x1));
  r.top = LONG(clampTo(std::floor(top) - 1.0f, y0, y1));
  r.right = LONG(clampTo(std::ceil(right) + 1.0f, x0, x1));
  r.bottom = LONG(clampTo(std::ceil(bottom) + 1.0f, y0, y1));
  r.right = std::max(r.right, r.left);
  r.bottom = std::max(r.bottom, r.top);
  return r;
}

bool liesBeyond(const halcyon::Box& box, const halcyon::Box& window, halcyon::Vec3 inside) {
  if (box.empty() || window.empty()) return false;
  const halcyon::Vec3 extent = window.max - window.min;
  int normal = 0;
  for (int a = 1; a < 3; ++a)
    if (axis(extent, a) < axis(extent, normal)) normal = a;
  const float near = axis(window.min, normal), far = axis(window.max, normal), eye = axis(inside, normal);
  if (eye < near) return axis(box.min, normal) >= far;
  if (eye > far) return axis(box.max, normal) <= near;
  return false;
}

void WindowView::setPane(const halcyon::Mesh* pane) {
  pane_ = pane;
  knowsRoom_ = false;
}

bool WindowView::learnRoom(halcyon::SceneNode& root) {
  if (!pane_ || pane_->worldBounds().empty()) return false;
  halcyon::Box all;
  eachMesh(root, [&](const halcyon::Mesh& mesh) {
    const halcyon::Box& b = mesh.worldBounds();
    if (b.empty()) return;
    all.extend(b.min);
    all.extend(b.max);
  });
  if (all.empty()) return false;
  inside_ = all.centre();
  room_ = halcyon::Box{};
  eachMesh(root, [&](const halcyon::Mesh& mesh) {
    const halcyon::Box& b = mesh.worldBounds();
    if (b.empty() || liesBeyond(b, pane_->worldBounds(), inside_)) return;
    room_.extend(b.min);
    room_.extend(b.max);
  });
  // A pane that does not divide the room from anything leaves nothing to clip.
  knowsRoom_ = holds(room_, inside_) && !liesBeyond(room_, pane_->worldBounds(), inside_);
  return knowsRoom_;
}

std::optional<RECT> WindowView::clipFor(const halcyon::Camera& camera, const D3DVIEWPORT9& viewport) const {
  if (!knowsRoom_ || !holds(room_, camera.position())) return std::nullopt;
  return screenRectOf(pane_->worldBounds(), camera.view() * camera.projection(), viewport);
}

void WindowView::clipBeyond(halcyon::SceneNode& top, const std::optional<RECT>& clip) const {
  eachMesh(top, [&](halcyon::Mesh& mesh) {
    const bool beyond = clip && knowsRoom_ && liesBeyond(mesh.worldBounds(), pane_->worldBounds(), inside_);
    mesh.setScissor(beyond ? &*clip : nullptr);
  });
}

}  // namespace brassmoor
