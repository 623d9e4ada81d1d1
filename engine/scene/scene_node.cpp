#include "engine/scene/scene_node.h"

#include <algorithm>

#include "engine/core/clock.h"
#include "engine/scene/mesh.h"
#include "engine/scene/render_sorter.h"

namespace halcyon {

bool equalNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = char(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = char(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

SceneNode::SceneNode(std::string name, std::string kind)
    : name_(std::move(name)), kind_(std::move(kind)), bone_(equalNoCase(kind_, "bone")) {
  controllers_[kTransformControllerId] = std::make_unique<TransformController>(&local_, TransformController::kWhole);
}

SceneNode::~SceneNode() = default;

SceneNode* SceneNode::addChild(std::unique_ptr<SceneNode> child) {
  if (!child) return nullptr;
  child->parent_ = this;
  children_.push_back(std::move(child));
  return children_.back().get();
}

std::unique_ptr<SceneNode> SceneNode::detachChild(SceneNode* child) {
  auto it = std::find_if(children_.begin(), children_.end(), [&](const auto& c) { return c.get() == child; });
  if (it == children_.end()) return nullptr;
  std::unique_ptr<SceneNode> out = std::move(*it);
  children_.erase(it);
  out->parent_ = nullptr;
  return out;
}

SceneNode* SceneNode::findByName(std::string_view name) {
  if (equalNoCase(name_, name)) return this;
  for (auto& child : children_)
    if (SceneNode* found = child->findByName(name)) return found;
  return nullptr;
}

// --- controllers -------------------------------------------------------------------------------

Controller* SceneNode::getController(int id) {
  auto it = controllers_.find(id);
  return it == controllers_.end() ? nullptr : it->second.get();
}

void SceneNode::setController(int id, std::unique_ptr<Controller> controller) {
  if (controller) {
    controllers_[id] = std::move(controller);
  } else {
    controllers_.erase(id);
  }
}

void SceneNode::driveTransformByParts(bool byParts) {
  if (byParts) {
    controllers_.erase(kTransformControllerId);
    controllers_[kBaseControllerId] = std::make_unique<TransformController>(&local_, TransformController::kBase);
    controllers_[kScaleControllerId] = std::make_unique<TransformController>(&local_, TransformController::kScale);
    controllers_[kRotationControllerId] = std::make_unique<TransformController>(&local_,
                                                                                TransformController::kRotation);
    controllers_[kTranslationControllerId] = std::make_unique<TransformController>(&local_,
                                                                                   TransformController::kTranslation);
  } else {
    for (int id = kBaseControllerId; id <= kTranslationControllerId; ++id) controllers_.erase(id);
    controllers_[kTransformControllerId] = std::make_unique<TransformController>(&local_, TransformController::kWhole);
  }
}

bool SceneNode::playAnimation(int id, std::string_view name, bool recursive) {
  bool found = false;
  if (Animation* animation = findAnimation(name)) {
    auto* controller = dynamic_cast<AnimationController*>(getController(id));
    if (!controller) {
      auto made = std::make_unique<AnimationController>();
      controller = made.get();
      controllers_[id] = std::move(made);
    }
    controller->play(animation);
    found = true;
  }
  if (recursive)
    for (auto& child : children_) found = child->playAnimation(id, name, true) || found;
  return found;
}

template <typename Fn>
void SceneNode::forControllers(int id, bool recursive, Fn fn) {
  if (id == -1) {
    for (auto& entry : controllers_) fn(*entry.second);
  } else if (Controller* c = getController(id)) {
    fn(*c);
  }
  if (recursive)
    for (auto& child : children_) child->forControllers(id, true, fn);
}

void SceneNode::setControllerSpeed(int id, float speed, bool recursive) {
  forControllers(id, recursive, [&](Controller& c) { c.setSpeed(speed); });
}
void SceneNode::setControllerFlags(int id, uint32_t flags, bool recursive) {
  forControllers(id, recursive, [&](Controller& c) { c.setFlags(flags); });
}
void SceneNode::setControllerRange(int id, float start, float end, bool recursive) {
  forControllers(id, recursive, [&](Controller& c) { c.setPlayRange(start, end); });
}
void SceneNode::startController(int id, bool recursive) {
  forControllers(id, recursive, [](Controller& c) { c.start(); });
}
void SceneNode::stopController(int id, bool recursive) {
  forControllers(id, recursive, [](Controller& c) { c.stop(); });
}

// --- animations and transform sets -------------------------------------------------------------

Animation& SceneNode::addAnimation(const std::string& name) {
  for (auto& entry : animations_) {
    if (entry.first == name) {
      // Controllers may point at the old one: reuse the object, replace its content.
      *entry.second = Animation();
      return *entry.second;
    }
  }
  animations_.emplace_back(name, std::make_unique<Animation>());
  return *animations_.back().second;
}

Animation* SceneNode::findAnimation(std::string_view name) {
  for (auto& entry : animations_)
    if (entry.first == name) return entry.second.get();
  if (name.empty() && !animations_.empty()) return animations_.front().second.get();
  return nullptr;
}

bool SceneNode::getTimeRange(float& start, float& end) const {
  bool any = false;
  for (const auto& entry : animations_) widenTimeRange(*entry.second, start, end, any);
  for (const auto& child : children_) widenTimeRange(*child, start, end, any);
  return any;
}

void SceneNode::registerTransformSet(const std::string& name, const Transform& local, const Transform& object) {
  localSets_[name].copyFrom(local);
  objectSets_[name].copyFrom(object);
  if (!hasTransformSet_) {
    hasTransformSet_ = true;
    applyTransformSet(name);
  }
}

void SceneNode::applyTransformSet(const std::string& name) {
  if (auto it = localSets_.find(name); it != localSets_.end()) local_.copyFrom(it->second);
  if (auto it = objectSets_.find(name); it != objectSets_.end()) object_.copyFrom(it->second);
}

void SceneNode::setPose(const Matrix& world) {
  world_ = world;
  objectWorld_ = object_.getMatrix() * world;
  if (!world.inverse(bindInverse_)) bindInverse_ = Matrix::identity();
}

void SceneNode::setMesh(std::unique_ptr<Mesh> mesh) { mesh_ = std::move(mesh); }

// --- traversal ---------------------------------------------------------------------------------

bool SceneNode::render(RenderContext& context) {
  const float* explicitTime = (context.flags & RenderContext::kExplicitTime) ? &context.time : nullptr;
  const int64_t nowMs = (context.flags & RenderContext::kFrameClock) ? context.clockMs : millisecondClock();
  Matrix local = Matrix::identity();
  for (auto& entry : controllers_) {
    Matrix m;
    if (entry.second->getMatrixAt(explicitTime, nowMs, m)) local = local * m;
  }

  const Matrix savedWorld = context.world;
  const Matrix savedBind = context.bind;
  world_ = local * context.world;
  context.world = world_;
  objectWorld_ = object_.getMatrix() * world_;
  // The bind chain follows the unanimated pose, so that a bone's matrix is its motion away
  // from where the skin was modelled.
  context.bind = local_.getMatrix() * context.bind;
  if (isBone()) {
    Matrix inverse;
    boneMatrix_ = context.bind.inverse(inverse) ? inverse * objectWorld_ : objectWorld_;
  }

  bool ok = true;
  if (!(context.flags & RenderContext::kComposeOnly) && mesh_) {
    mesh_->setWorld(objectWorld_);
    mesh_->updateBounds();
    const bool visible = (context.flags & RenderContext::kNoFrustumTest) ||
                         context.camera.boxVisible(mesh_->worldBounds());
    if (visible) {
      if (context.sorter) {
        mesh_->submit(*context.sorter);
      } else {
        ok = mesh_->draw(&context.camera) && ok;
      }
    }
  }
  for (auto& child : children_) ok = child->render(context) && ok;

  context.world = savedWorld;
  context.bind = savedBind;
  return ok;
}

}  // namespace halcyon
