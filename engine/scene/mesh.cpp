#include "engine/scene/mesh.h"

#include <cmath>
#include <cstring>

#include "engine/scene/camera.h"
#include "engine/scene/device_glue.h"
#include "engine/scene/render_sorter.h"
#include "engine/scene/scene_node.h"

namespace halcyon {

namespace {

uint32_t componentSize(DWORD bit) {
  switch (bit) {
    case D3DFVF_XYZ: return 12;
    case D3DFVF_XYZRHW: return 16;
    case D3DFVF_NORMAL: return 12;
    case D3DFVF_DIFFUSE:
    case D3DFVF_SPECULAR: return 4;
    case 0x100:
    case 0x200: return 8;
    default: return 0;
  }
}

float readFloat(const uint8_t* p) {
  float f;
  std::memcpy(&f, p, 4);
  return f;
}

void writeVec3(uint8_t* p, Vec3 v) {
  std::memcpy(p, &v.x, 4);
  std::memcpy(p + 4, &v.y, 4);
  std::memcpy(p + 8, &v.z, 4);
}

}  // namespace

uint32_t vertexLayoutSize(DWORD fvf) {
  uint32_t size = 0;
  for (DWORD bit = 1; bit <= 0x200; bit <<= 1)
    if (fvf & bit) size += componentSize(bit);
  return size;
}

Vec3 Geometry::position(uint32_t vertex) const {
  const uint8_t* p = vertices.data() + size_t(vertex) * stride;
  return {readFloat(p), readFloat(p + 4), readFloat(p + 8)};
}

void Geometry::computeBounds() {
  bounds = Box{};
  if (!(fvf & (D3DFVF_XYZ | D3DFVF_XYZRHW)) || stride < 12) return;
  for (uint32_t i = 0; i < vertexCount; ++i) bounds.extend(position(i));
}

// --- Mesh --------------------------------------------------------------------------------------

Mesh::Mesh(const Material& material, Geometry* geometry, BufferRegion vertices, BufferRegion indices,
           uint32_t deviceStride)
    : material_(material), geometry_(geometry), vertices_(vertices), indices_(indices), deviceStride_(deviceStride) {
  updateBounds();
}

Mesh::~Mesh() = default;

void Mesh::updateBounds() { worldBounds_ = geometry_ ? geometry_->bounds.transformed(world_) : Box{}; }

void Mesh::submit(RenderSorter& sorter) { sorter.add(this); }

bool Mesh::canShareStates(const Mesh& other) const {
  auto same = [](const BufferRegion& a, const BufferRegion& b) {
    if (!a.buffer || !b.buffer) return a.buffer == b.buffer;
    return a.buffer->description() == b.buffer->description();
  };
  return same(vertices_, other.vertices_) && same(indices_, other.indices_);
}

bool Mesh::applyMaterial() { return applyMaterialStates(material_, geometry_ ? geometry_->fvf : 0); }

bool Mesh::bakeTransform(const Matrix& matrix) {
  if (baked_) return true;
  // The bake lives on in the kept copy, which a buffer filled again after a device loss takes.
  if (!geometry_ || geometry_->copiesReleased || !vertices_.buffer || !(geometry_->fvf & D3DFVF_XYZ)) return false;
  const Matrix m = world_ * matrix;
  uint8_t* data = vertices_.buffer->lock(vertices_.offset, vertices_.size, 0);
  if (!data) return false;
  const bool normals = (geometry_->fvf & D3DFVF_NORMAL) != 0;
  auto bake = [&](uint8_t* v) {
    writeVec3(v, m.transformCoord({readFloat(v), readFloat(v + 4), readFloat(v + 8)}));
    if (normals) {
      uint8_t* n = v + 12;
      writeVec3(n, normalize(m.transformNormal({readFloat(n), readFloat(n + 4), readFloat(n + 8)})));
    }
  };
  for (uint32_t i = 0; i < vertices_.count; ++i) bake(data + size_t(i) * deviceStride_);
  vertices_.buffer->unlock();
  // The kept copy follows, so that a buffer refilled after a device loss keeps the bake.
  for (uint32_t i = 0; i < geometry_->vertexCount; ++i)
    bake(geometry_->vertices.data() + size_t(i) * geometry_->stride);
  geometry_->computeBounds();
  updateBounds();
  baked_ = true;
  return true;
}

bool Mesh::drawRange(uint32_t first, uint32_t count, const Camera* camera) {
  hasRange_ = true;
  rangeFirst_ = first;
  rangeCount_ = count;
  return draw(camera);
}

void Mesh::setScissor(const RECT* rect) {
  scissored_ = rect != nullptr;
  if (rect) scissor_ = *rect;
}

bool Mesh::draw(const Camera* camera) {
  if (hidden) {
    hasRange_ = false;
    return true;
  }
  IDirect3DDevice9* device = scenedevice::device();
  DeviceBuffer* vb = vertices_.buffer;
  if (!device || !vb || !vb->vertices() || deviceStride_ == 0 || !geometry_) {
    hasRange_ = false;
    return false;
  }
  applyMaterial();
  const DWORD fvf = geometry_->fvf;
  const bool unlitForDraw = (fvf & D3DFVF_XYZRHW) && scenedevice::getRenderState(D3DRS_LIGHTING);
  if (unlitForDraw) scenedevice::setRenderState(D3DRS_LIGHTING, 0);
  if (flags & kSetWorld) scenedevice::setTransform(D3DTS_WORLD, world_);
  if (camera && (flags & kSetView)) scenedevice::setTransform(D3DTS_VIEW, camera->view());
  if (camera && (flags & kSetProjection)) scenedevice::setTransform(D3DTS_PROJECTION, camera->projection());

  if (scissored_) {
    device->SetScissorRect(&scissor_);
    scenedevice::setRenderState(D3DRS_SCISSORTESTENABLE, TRUE);
  }
  device->SetFVF(fvf);
  device->SetStreamSource(0, vb->vertices(), 0, deviceStride_);
  HRESULT hr;
  DeviceBuffer* ib = indices_.buffer;
  if (ib && ib->indices() && indices_.count > 0) {
    const uint32_t indexSize = ib->description().format == D3DFMT_INDEX16 ? 2 : 4;
    uint32_t start = indices_.offset / indexSize;
    uint32_t count = indices_.count;
    if (hasRange_) {
      // A range outside the region draws nothing rather than reading other meshes' indices.
      const uint32_t first = std::min(rangeFirst_, indices_.count);
      start += first;
      count = std::min(rangeCount_, indices_.count - first);
    }
    device->SetIndices(ib->indices());
    hr = count / 3 ? device->DrawIndexedPrimitive(primitiveType, 0, 0, vertices_.count, start, count / 3) : S_OK;
  } else {
    hr = vertices_.count / 3
             ? device->DrawPrimitive(primitiveType, vertices_.offset / deviceStride_, vertices_.count / 3)
             : S_OK;
  }
  if (unlitForDraw) scenedevice::setRenderState(D3DRS_LIGHTING, 1);
  if (scissored_) scenedevice::setRenderState(D3DRS_SCISSORTESTENABLE, FALSE);
  hasRange_ = false;
  return SUCCEEDED(hr);
}

// --- SkinnedMesh -------------------------------------------------------------------------------

SkinnedMesh::SkinnedMesh(const Material& material, Geometry* geometry, BufferRegion vertices, BufferRegion indices,
                         uint32_t deviceStride, std::unique_ptr<halcyon::Skin> skin)
    : Mesh(material, geometry, vertices, indices, deviceStride), skin_(std::move(skin)) {}

SkinnedMesh::~SkinnedMesh() = default;

bool SkinnedMesh::bindBones(SceneNode& root) {
  bones_.clear();
  std::vector<SceneNode*> found;
  for (const std::string& name : skin_->boneNames) {
    SceneNode* bone = root.findByName(name);
    if (!bone) return false;
    found.push_back(bone);
  }
  bones_ = std::move(found);
  return true;
}

bool SkinnedMesh::deform() {
  if (bones_.empty() || !geometry_ || !vertices_.buffer) return false;
  uint8_t* data = vertices_.buffer->lock(vertices_.offset, vertices_.size, 0);
  if (!data) return false;
  std::vector<Matrix> matrices;
  matrices.reserve(bones_.size());
  for (SceneNode* bone : bones_) matrices.push_back(pendingOffset_ * bone->boneMatrix());
  pendingOffset_ = Matrix::identity();

  const Skin& skin = *skin_;
  size_t next = 0;  // influences are consumed strictly in sequence
  const uint32_t n = std::min<uint32_t>(vertices_.count, uint32_t(skin.counts.size()));
  for (uint32_t i = 0; i < n; ++i) {
    const Vec3 p = geometry_->position(i);
    Vec3 sum{0.0f, 0.0f, 0.0f};
    const int32_t count = skin.counts[i];
    for (int32_t k = 0; k < count && next < skin.influences.size(); ++k, ++next) {
      const Skin::Influence& inf = skin.influences[next];
      if (inf.bone < 0 || size_t(inf.bone) >= matrices.size()) continue;
      sum = sum + matrices[size_t(inf.bone)].transformCoord(p) * inf.weight;
    }
    writeVec3(data + size_t(i) * deviceStride_, sum);
  }
  vertices_.buffer->unlock();
  return true;
}

bool SkinnedMesh::draw(const Camera* camera) {
  if (hidden) return Mesh::draw(camera);
  if (!deform()) return false;
  return Mesh::draw(camera);
}

}  // namespace halcyon
