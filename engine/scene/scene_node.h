#pragma once
// One node of the scene tree: a name and kind, its children, the controllers that compose
// its local matrix, its animations and transform sets by scene name, the matrices of the last
// traversal, and an optional mesh.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/scene/animation.h"
#include "engine/scene/controller.h"
#include "engine/scene/matrix.h"
#include "engine/scene/render_context.h"
#include "engine/scene/transform.h"

namespace halcyon {

class Mesh;

class SceneNode {
 public:
  explicit SceneNode(std::string name = {}, std::string kind = {});
  ~SceneNode();
  SceneNode(const SceneNode&) = delete;
  SceneNode& operator=(const SceneNode&) = delete;

  const std::string& name() const { return name_; }
  const std::string& kind() const { return kind_; }
  // Renames in place: the node keeps its position among its parent's children.
  void setName(std::string name) { name_ = std::move(name); }
  // Kind "bone" in any letter case.
  bool isBone() const { return bone_; }

  SceneNode* parent() const { return parent_; }
  const std::vector<std::unique_ptr<SceneNode>>& children() const { return children_; }
  // Appends and takes ownership; returns the child.
  SceneNode* addChild(std::unique_ptr<SceneNode> child);
  // Takes a direct child out of the list and hands it over; null when it is not a child.
  std::unique_ptr<SceneNode> detachChild(SceneNode* child);
  // This node when its name matches without regard to ASCII case, else the first match of a
  // depth-first search of the children in order.
  SceneNode* findByName(std::string_view name);

  // --- controllers ---
  const std::map<int, std::unique_ptr<Controller>>& controllers() const { return controllers_; }
  Controller* getController(int id);
  void setController(int id, std::unique_ptr<Controller> controller);
  // Replaces controller 100 by the part controllers 96 to 99 (or back); the local matrix stays
  // the same until a part controller is replaced.
  void driveTransformByParts(bool byParts);
  // Starts the named animation from its beginning on controller `id` (made when absent).
  // The empty name, when nothing is registered under it, means the node's first animation.
  // True when this node (or, recursive, any node below) found the animation.
  bool playAnimation(int id, std::string_view name, bool recursive);
  // Controller settings for controller `id`, or for every controller with id -1.
  void setControllerSpeed(int id, float speed, bool recursive);
  void setControllerFlags(int id, uint32_t flags, bool recursive);
  void setControllerRange(int id, float start, float end, bool recursive);
  void startController(int id, bool recursive);
  void stopController(int id, bool recursive);

  // --- animations and transform sets, registered by scene name ---
  // Makes (or replaces) the animation under the name.
  Animation& addAnimation(const std::string& name);
  Animation* findAnimation(std::string_view name);
  // The union of the time ranges of every animation in this subtree.
  bool getTimeRange(float& start, float& end) const;
  // Registers (or replaces) a set; the first set ever registered is applied at once.
  void registerTransformSet(const std::string& name, const Transform& local, const Transform& object);
  // Copies the parts of the sets registered under the name into the active transforms.
  void applyTransformSet(const std::string& name);
  Transform& localTransform() { return local_; }
  Transform& objectTransform() { return object_; }

  // --- matrices of the last traversal (or of the loaded pose) ---
  const Matrix& world() const { return world_; }
  const Matrix& objectWorld() const { return objectWorld_; }
  const Matrix& bindInverse() const { return bindInverse_; }
  const Matrix& boneMatrix() const { return boneMatrix_; }
  Vec3 worldPosition() const { return world_.getTranslation(); }
  // Records the loaded pose: world matrix and its inverse.
  void setPose(const Matrix& world);

  Mesh* getMesh() const { return mesh_.get(); }
  void setMesh(std::unique_ptr<Mesh> mesh);

  // Composes the matrices of this subtree and draws (or hands to the context's sorter) each
  // visible mesh. False when an immediate draw failed somewhere in the subtree.
  bool render(RenderContext& context);

 private:
  template <typename Fn>
  void forControllers(int id, bool recursive, Fn fn);

  std::string name_;
  std::string kind_;
  bool bone_;
  SceneNode* parent_ = nullptr;
  std::vector<std::unique_ptr<SceneNode>> children_;
  std::map<int, std::unique_ptr<Controller>> controllers_;
  std::vector<std::pair<std::string, std::unique_ptr<Animation>>> animations_;  // registration order
  std::map<std::string, Transform> localSets_;
  std::map<std::string, Transform> objectSets_;
  bool hasTransformSet_ = false;
  Transform local_;
  Transform object_;
  Matrix world_ = Matrix::identity();
  Matrix objectWorld_ = Matrix::identity();
  Matrix bindInverse_ = Matrix::identity();
  Matrix boneMatrix_ = Matrix::identity();
  std::unique_ptr<Mesh> mesh_;
};

// ASCII case-insensitive equality, as node names are compared.
bool equalNoCase(std::string_view a, std::string_view b);

}  // namespace halcyon
