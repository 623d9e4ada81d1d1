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

  const std::string& Name() const { return name_; }
  const std::string& Kind() const { return kind_; }
  // Renames in place: the node keeps its position among its parent's children.
  void SetName(std::string name) { name_ = std::move(name); }
  // Kind "bone" in any letter case.
  bool IsBone() const { return bone_; }

  SceneNode* Parent() const { return parent_; }
  const std::vector<std::unique_ptr<SceneNode>>& Children() const { return children_; }
  // Appends and takes ownership; returns the child.
  SceneNode* AddChild(std::unique_ptr<SceneNode> child);
  // Takes a direct child out of the list and hands it over; null when it is not a child.
  std::unique_ptr<SceneNode> DetachChild(SceneNode* child);
  // This node when its name matches without regard to ASCII case, else the first match of a
  // depth-first search of the children in order.
  SceneNode* FindByName(std::string_view name);

  // --- controllers ---
  const std::map<int, std::unique_ptr<Controller>>& Controllers() const { return controllers_; }
  Controller* GetController(int id);
  void SetController(int id, std::unique_ptr<Controller> controller);
  // Replaces controller 100 by the part controllers 96 to 99 (or back); the local matrix stays
  // the same until a part controller is replaced.
  void DriveTransformByParts(bool byParts);
  // Starts the named animation from its beginning on controller `id` (made when absent).
  // The empty name, when nothing is registered under it, means the node's first animation.
  // True when this node (or, recursive, any node below) found the animation.
  bool PlayAnimation(int id, std::string_view name, bool recursive);
  // Controller settings for controller `id`, or for every controller with id -1.
  void SetControllerSpeed(int id, float speed, bool recursive);
  void SetControllerFlags(int id, uint32_t flags, bool recursive);
  void SetControllerRange(int id, float start, float end, bool recursive);
  void StartController(int id, bool recursive);
  void StopController(int id, bool recursive);

  // --- animations and transform sets, registered by scene name ---
  // Makes (or replaces) the animation under the name.
  Animation& AddAnimation(const std::string& name);
  Animation* FindAnimation(std::string_view name);
  // The union of the time ranges of every animation in this subtree.
  bool GetTimeRange(float& start, float& end) const;
  // Registers (or replaces) a set; the first set ever registered is applied at once.
  void RegisterTransformSet(const std::string& name, const Transform& local, const Transform& object);
  // Copies the parts of the sets registered under the name into the active transforms.
  void ApplyTransformSet(const std::string& name);
  Transform& LocalTransform() { return local_; }
  Transform& ObjectTransform() { return object_; }

  // --- matrices of the last traversal (or of the loaded pose) ---
  const Matrix& World() const { return world_; }
  const Matrix& ObjectWorld() const { return objectWorld_; }
  const Matrix& BindInverse() const { return bindInverse_; }
  const Matrix& BoneMatrix() const { return boneMatrix_; }
  Vec3 WorldPosition() const { return world_.GetTranslation(); }
  // Records the loaded pose: world matrix and its inverse.
  void SetPose(const Matrix& world);

  Mesh* GetMesh() const { return mesh_.get(); }
  void SetMesh(std::unique_ptr<Mesh> mesh);

  // Composes the matrices of this subtree and draws (or hands to the context's sorter) each
  // visible mesh. False when an immediate draw failed somewhere in the subtree.
  bool Render(RenderContext& context);

 private:
  template <typename Fn>
  void ForControllers(int id, bool recursive, Fn fn);

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
  Matrix world_ = Matrix::Identity();
  Matrix objectWorld_ = Matrix::Identity();
  Matrix bindInverse_ = Matrix::Identity();
  Matrix boneMatrix_ = Matrix::Identity();
  std::unique_ptr<Mesh> mesh_;
};

// ASCII case-insensitive equality, as node names are compared.
bool EqualNoCase(std::string_view a, std::string_view b);

}  // namespace halcyon
