#pragma once
// Meshes: geometry read from scene files (shared by name), the device buffers it is placed
// in (re-made after a device loss), per-mesh render settings, the draw call, and skinned
// meshes whose positions follow bone nodes, deformed on the CPU each draw.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/scene/material.h"
#include "engine/scene/matrix.h"
#include "engine/scene/device_buffer.h"

namespace halcyon {

class Camera;
class RenderSorter;
class SceneNode;

// Bytes that a vertex format's components take, in bit order: XYZ 12, XYZRHW 16, NORMAL 12,
// DIFFUSE 4, SPECULAR 4, and 8 for each of the bits 0x100 and 0x200 (a texture pair each).
uint32_t vertexLayoutSize(DWORD fvf);

struct Geometry {
  std::string name;
  DWORD fvf = 0;
  uint32_t vertexCount = 0;
  uint32_t stride = 0;  // of the source data
  std::vector<uint8_t> vertices;
  uint32_t indexCount = 0;
  uint32_t indexSize = 0;  // 2 or 4
  std::vector<uint8_t> indices;
  Box bounds;                          // over the positions
  std::vector<DeviceBuffer*> buffers;  // made for this geometry, owned by the scene's pool
  uint32_t highestIndex = 0;           // as loaded, for buffers made after the copies went
  // The copies above were let go (Scene::releaseGeometryCopies): the scene file holds them.
  bool copiesReleased = false;

  void computeBounds();
  Vec3 position(uint32_t vertex) const;
};

struct Skin {
  std::vector<int32_t> offsets;  // first influence per vertex (kept; influences run in order)
  std::vector<int32_t> counts;   // influences per vertex
  struct Influence {
    int32_t bone;
    float weight;
  };
  std::vector<Influence> influences;
  std::vector<std::string> boneNames;
};

class Mesh {
 public:
  enum Flag : uint32_t { kSetWorld = 1, kSetView = 2, kSetProjection = 4 };

  Mesh(const Material& material, Geometry* geometry, BufferRegion vertices, BufferRegion indices,
       uint32_t deviceStride);
  virtual ~Mesh();
  Mesh(const Mesh&) = delete;
  Mesh& operator=(const Mesh&) = delete;

  // The geometry's box carried by the world matrix.
  virtual void updateBounds();
  // Queues into a sorter.
  virtual void submit(RenderSorter& sorter);
  // Whether both meshes draw from buffers of equal descriptions.
  virtual bool canShareStates(const Mesh& other) const;
  // Moves the vertex data once, in place, by world × matrix; later calls return true at once.
  // False when the geometry's copies were let go.
  virtual bool bakeTransform(const Matrix& matrix);
  virtual bool draw(const Camera* camera);
  virtual void setSortFlag(bool on) { sortFlag_ = on; }
  virtual bool applyMaterial();

  // Draws `count` indices from `first` once.
  bool drawRange(uint32_t first, uint32_t count, const Camera* camera);
  // Keeps the draws inside `rect`, in pixels of the back buffer, until set again: for what is
  // seen only through an opening whose place on the screen is known. Null draws everywhere.
  void setScissor(const RECT* rect);
  const RECT* scissor() const { return scissored_ ? &scissor_ : nullptr; }

  Material& getMaterial() { return material_; }
  const Material& getMaterial() const { return material_; }
  void setWorld(const Matrix& world) { world_ = world; }
  const Matrix& world() const { return world_; }
  const Box& worldBounds() const { return worldBounds_; }
  const Geometry* getGeometry() const { return geometry_; }
  const BufferRegion& vertexRegion() const { return vertices_; }
  const BufferRegion& indexRegion() const { return indices_; }
  uint32_t deviceStride() const { return deviceStride_; }
  uint32_t flags = kSetWorld;
  bool hidden = false;
  D3DPRIMITIVETYPE primitiveType = D3DPT_TRIANGLELIST;

 protected:
  Material material_;
  Geometry* geometry_;
  BufferRegion vertices_;
  BufferRegion indices_;
  uint32_t deviceStride_;
  Matrix world_ = Matrix::identity();
  Box worldBounds_;
  bool sortFlag_ = false;
  bool baked_ = false;
  bool hasRange_ = false;
  uint32_t rangeFirst_ = 0, rangeCount_ = 0;
  bool scissored_ = false;
  RECT scissor_{};
};

class SkinnedMesh : public Mesh {
 public:
  SkinnedMesh(const Material& material, Geometry* geometry, BufferRegion vertices, BufferRegion indices,
              uint32_t deviceStride, std::unique_ptr<Skin> skin);
  ~SkinnedMesh() override;

  // Finds every bone by name from `root`; a missing bone leaves the mesh without bones.
  bool bindBones(SceneNode& root);
  const std::vector<SceneNode*>& bones() const { return bones_; }
  const Skin& getSkin() const { return *skin_; }
  // Applied in front of every bone matrix at the next draw only.
  void setPendingOffset(const Matrix& offset) { pendingOffset_ = offset; }

  bool draw(const Camera* camera) override;
  // Writes the deformed positions into the vertex buffer.
  bool deform();

 private:
  std::unique_ptr<Skin> skin_;
  std::vector<SceneNode*> bones_;
  Matrix pendingOffset_ = Matrix::identity();
};

}  // namespace halcyon
