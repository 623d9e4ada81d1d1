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
class UdfBinaryReader;

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
  bool load(FileRef file);

  static constexpr int kMaxNodeDepth = 128;
  static constexpr size_t kMaxNodeReads = size_t(1) << 16;
  static constexpr int kMaxReadsPerRecord = 4;

  const std::string& name() const { return name_; }
  SceneNode& root() { return *root_; }
  SceneNode& cameraRoot() { return *cameraRoot_; }
  LightList& lights() { return lights_; }
  // Where textures named by scene files are looked for (each loaded file's folder is added).
  SearchPaths& paths() { return paths_; }

  // Whether the maps of sub-materials 1-3 of a material that has a sub-material 1 (its light
  // map, the light of a flash and the lamp's share) load with their full-size level alone:
  // for a scene that samples its light maps without mip levels, whose levels would only
  // take memory. Set before the load.
  void loadLightMapsWithoutLevels(bool without) { lightMapsWithoutLevels_ = without; }
  void loadMaterials(const UdfRecord& materials);
  std::optional<Material> findMaterial(const std::string& name) const;
  Geometry* findGeometry(const std::string& name);
  bool loadLights(const UdfRecord& lights);

  // Copies a geometry's vertices (or indices) into a reserved buffer region.
  virtual bool uploadGeometry(const Geometry& geometry, const BufferRegion& region, uint32_t deviceStride);
  // Applies the mesh keys to a copy of the material, places the geometry in device buffers
  // and attaches the mesh to the node. False when a device buffer could not be made.
  virtual bool createMesh(const UdfRecord& node, SceneNode& target, const Material* material, Geometry* geometry,
                          std::unique_ptr<Skin> skin);
  virtual bool addLight(const UdfRecord& light, std::unique_ptr<Light> made);
  // Registers the node and object matrices as the node's transform set under the scene name.
  virtual bool setNodeTransform(const UdfRecord& node, SceneNode& target, const Matrix& nodeTM, const Matrix& objectTM);

  // Lets go of the vertices and indices of every geometry that is not skinned (skinning
  // reads them every frame), once nothing else needs them: the device buffers hold them, and
  // buffers made or filled again later (after a device loss) read them from the scene file.
  // A mesh whose geometry's copies went cannot be baked any more.
  void releaseGeometryCopies();

  size_t bufferCount() const { return pool_.size(); }
  // Device loss: every buffer of the pool released, then made and filled again.
  void invalidateBuffers();
  bool restoreBuffers();

 private:
  struct NodeLoad;
  void loadNode(const UdfRecord& record, SceneNode& parent, NodeLoad& load, bool underRoot);
  void readMesh(const UdfRecord& record, SceneNode& node);
  void readAnimation(const UdfRecord& record, SceneNode& node);
  // `levels` as acquireTexture takes them.
  void readStandardMaterial(const UdfRecord& record, Material& material, unsigned levels = 0);
  BufferRegion placeBuffer(Geometry& geometry, const BufferDescription& description, uint32_t count);
  // The geometry's vertices and indices read again from the file it came from; nothing when
  // the file cannot be read or no longer holds that geometry as it was.
  std::optional<Geometry> rereadGeometry(const Geometry& geometry) const;

  std::string name_;
  std::unique_ptr<SceneNode> root_;
  std::unique_ptr<SceneNode> cameraRoot_;
  std::map<std::string, Material> materials_;
  std::map<std::string, std::unique_ptr<Geometry>> geometries_;
  std::map<const Geometry*, FileRef> geometrySources_;  // the file each geometry was read from
  std::vector<const Geometry*> skinnedGeometries_;
  FileRef loadingFile_;
  // Scene files read again while buffers are restored, by name.
  struct RereadFile {
    std::unique_ptr<UdfBinaryReader> reader;
    UdfRecord* top = nullptr;
  };
  std::unique_ptr<std::map<std::string, RereadFile>> rereading_;
  std::vector<std::unique_ptr<DeviceBuffer>> pool_;
  std::vector<SkinnedMesh*> toBind_;
  std::vector<Texture*> textures_;  // references taken from the texture manager
  LightList lights_;
  SearchPaths paths_;
  bool lightMapsWithoutLevels_ = false;
};

}  // namespace halcyon
