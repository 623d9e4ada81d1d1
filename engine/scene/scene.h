#pragma once
// A loaded world: the material library, the geometry registry, the pool of device buffers,
// the camera root and the scene root, and the light list. Load reads a scene file in the
// binary data language and builds nodes, meshes, lights and animations from it; loading a
// second file reuses the nodes it names.
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/fs/file_ref.h"
#include "engine/scene/light.h"
#include "engine/scene/material.h"
#include "engine/scene/mesh.h"
#include "engine/scene/scene_node.h"

namespace halcyon {

class UdfRecord;

class Scene {
 public:
  Scene();
  virtual ~Scene();
  Scene(const Scene&) = delete;
  Scene& operator=(const Scene&) = delete;

  // False when the file cannot be opened or its top level read, or when a skinned mesh
  // misses a bone; what was built before a failure stays. A record that cannot be read is
  // left out and the rest loads. Node structures that list an ancestor are skipped, and the
  // depth, the number of node structures read and the loads of one shared subtree are
  // bounded, so no file can make loading recurse without end or take exponential time.
  bool Load(FileRef file);

  static constexpr int kMaxNodeDepth = 128;
  static constexpr size_t kMaxNodeReads = size_t(1) << 16;
  static constexpr int kMaxReadsPerRecord = 4;

  const std::string& Name() const { return name_; }
  SceneNode& Root() { return *root_; }
  SceneNode& CameraRoot() { return *cameraRoot_; }
  LightList& Lights() { return lights_; }
  // Where textures named by scene files are looked for (each loaded file's folder is added).
  SearchPaths& Paths() { return paths_; }

  void LoadMaterials(const UdfRecord& materials);
  std::optional<Material> FindMaterial(const std::string& name) const;
  Geometry* FindGeometry(const std::string& name);
  bool LoadLights(const UdfRecord& lights);

  // Copies a geometry's vertices (or indices) into a reserved buffer region.
  virtual bool UploadGeometry(const Geometry& geometry, const BufferRegion& region, uint32_t deviceStride);
  // Applies the mesh keys to a copy of the material, places the geometry in device buffers
  // and attaches the mesh to the node. False when a device buffer could not be made.
  virtual bool CreateMesh(const UdfRecord& node, SceneNode& target, const Material* material, Geometry* geometry,
                          std::unique_ptr<Skin> skin);
  virtual bool AddLight(const UdfRecord& light, std::unique_ptr<Light> made);
  // Registers the node and object matrices as the node's transform set under the scene name.
  virtual bool SetNodeTransform(const UdfRecord& node, SceneNode& target, const Matrix& nodeTM,
                                const Matrix& objectTM);

  size_t BufferCount() const { return pool_.size(); }
  // Device loss: every buffer of the pool released, then made and filled again.
  void InvalidateBuffers();
  bool RestoreBuffers();

 private:
  struct NodeLoad;
  void LoadNode(const UdfRecord& record, SceneNode& parent, NodeLoad& load, bool underRoot);
  void ReadMesh(const UdfRecord& record, SceneNode& node);
  void ReadAnimation(const UdfRecord& record, SceneNode& node);
  void ReadStandardMaterial(const UdfRecord& record, Material& material);
  BufferRegion PlaceBuffer(Geometry& geometry, const BufferDescription& description, uint32_t count);

  std::string name_;
  std::unique_ptr<SceneNode> root_;
  std::unique_ptr<SceneNode> cameraRoot_;
  std::map<std::string, Material> materials_;
  std::map<std::string, std::unique_ptr<Geometry>> geometries_;
  std::vector<std::unique_ptr<DeviceBuffer>> pool_;
  std::vector<SkinnedMesh*> toBind_;
  std::vector<Texture*> textures_;  // references taken from the texture manager
  LightList lights_;
  SearchPaths paths_;
};

}  // namespace halcyon
