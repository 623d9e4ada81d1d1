#include "clock/picture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "engine/core/trace.h"
#include "engine/fs/stream.h"
#include "engine/scene/material.h"

namespace brassmoor {

namespace {

float readFloat(const uint8_t* p) {
  float v = 0.0f;
  std::memcpy(&v, p, sizeof v);
  return v;
}

uint32_t readIndex(const halcyon::Geometry& g, uint32_t i) {
  if (g.indexSize == 2) {
    uint16_t v = 0;
    std::memcpy(&v, g.indices.data() + size_t{i} * 2, 2);
    return v;
  }
  uint32_t v = 0;
  std::memcpy(&v, g.indices.data() + size_t{i} * 4, 4);
  return v;
}

void sayPictureRefused(const std::string& path, const char* why) {
  halcyon::logLine("Picture " + path + " not used: " + why + "\n");
  std::fprintf(stderr, "brassmoor: the picture %s %s; the frame keeps its painting\n", path.c_str(), why);
}

}  // namespace

PictureSize pictureTextureSize(UINT w, UINT h) {
  // Halving steps: JPEG's scaled transform and PNG's block averaging give exactly these
  // sizes, so a large photo is decoded straight to its texture size and never resampled.
  UINT step = 1;
  auto part = [&step](UINT side) { return (side + step - 1) / step; };
  while (std::max(part(w), part(h)) > kPictureLongSide) step *= 2;
  return {std::max(1u, part(w)), std::max(1u, part(h))};
}

float frameAspect(const halcyon::Geometry& g, const halcyon::Matrix& objectWorld, uint32_t coordSet) {
  const uint32_t texSets = (g.fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
  const uint32_t offset = halcyon::vertexLayoutSize(g.fvf & ~static_cast<DWORD>(D3DFVF_TEXCOUNT_MASK)) + 8 * coordSet;
  if (coordSet >= texSets || g.stride < offset + 8 || g.vertices.size() < size_t{g.vertexCount} * g.stride) return 0.0f;
  const bool indexed = g.indexCount > 0 && (g.indexSize == 2 || g.indexSize == 4) &&
                       g.indices.size() >= size_t{g.indexCount} * g.indexSize;
  const uint32_t corners = indexed ? g.indexCount : g.vertexCount;
  double along = 0.0, across = 0.0;
  for (uint32_t t = 0; t + 2 < corners; t += 3) {
    uint32_t v[3];
    for (int k = 0; k < 3; ++k) v[k] = indexed ? readIndex(g, t + k) : t + k;
    if (v[0] >= g.vertexCount || v[1] >= g.vertexCount || v[2] >= g.vertexCount) continue;
    auto uv = [&](uint32_t i, int axis) {
      return readFloat(g.vertices.data() + size_t{i} * g.stride + offset + 4 * axis);
    };
    const halcyon::Vec3 e1 = g.position(v[1]) - g.position(v[0]), e2 = g.position(v[2]) - g.position(v[0]);
    const float du1 = uv(v[1], 0) - uv(v[0], 0), dv1 = uv(v[1], 1) - uv(v[0], 1);
    const float du2 = uv(v[2], 0) - uv(v[0], 0), dv2 = uv(v[2], 1) - uv(v[0], 1);
    const float r = du1 * dv2 - du2 * dv1;
    if (std::fabs(r) < 1e-8f) continue;
    // How far the surface runs per unit of u and per unit of v, in the world.
    const halcyon::Vec3 perU = objectWorld.transformNormal((e1 * dv2 - e2 * dv1) * (1.0f / r));
    const halcyon::Vec3 perV = objectWorld.transformNormal((e2 * du1 - e1 * du2) * (1.0f / r));
    const double area = std::fabs(r);
    along += area * halcyon::length(perU);
    across += area * halcyon::length(perV);
  }
  return across > 0.0 && along > 0.0 ? static_cast<float>(along / across) : 0.0f;
}

D3DMATRIX fillAndCentre(float imageAspect, float frameAspect) {
  D3DMATRIX m{};
  m.m[0][0] = m.m[1][1] = m.m[2][2] = m.m[3][3] = 1.0f;
  if (!(imageAspect > 0.0f) || !(frameAspect > 0.0f)) return m;
  // Texture coordinates (u, v, 1) run through the matrix's first three rows: a scale about
  // the middle keeps the part of the image that has the frame's shape.
  const float su = imageAspect > frameAspect ? frameAspect / imageAspect : 1.0f;
  const float sv = imageAspect > frameAspect ? 1.0f : imageAspect / frameAspect;
  m.m[0][0] = su;
  m.m[1][1] = sv;
  m.m[2][0] = (1.0f - su) / 2.0f;
  m.m[2][1] = (1.0f - sv) / 2.0f;
  return m;
}

halcyon::Texture* putPictureInFrame(const std::string& path, halcyon::SceneNode& root) {
  if (path.empty()) return nullptr;
  // A full path is that file; it is never looked for under the working folder or the media.
  if (path[0] == '/' && !halcyon::DiskStream().open(path, halcyon::Read)) {
    sayPictureRefused(path, "cannot be opened");
    return nullptr;
  }
  D3DXIMAGE_INFO info{};
  const HRESULT read = D3DXGetImageInfoFromFileA(path.c_str(), &info);
  if (FAILED(read)) {
    sayPictureRefused(path, read == D3DERR_NOTFOUND ? "cannot be opened" : "is not an image this saver reads");
    return nullptr;
  }
  const PictureSize size = pictureTextureSize(info.Width, info.Height);
  halcyon::TextureRequest request;
  request.file = halcyon::FileRef(path);
  request.flags = halcyon::TextureRequest::Size | halcyon::TextureRequest::Levels;
  request.width = size.width;
  request.height = size.height;
  request.levels = 0;  // a whole mip chain: the frame is seen small from across the room
  // The picture's crop is its own: a media texture of the same file must not share it.
  request.alwaysCreateNew = true;
  halcyon::Texture* picture = halcyon::textureManager().get(request);
  if (!picture) {
    sayPictureRefused(path, "is damaged or too large");
    return nullptr;
  }
  halcyon::SceneNode* node = root.findByName("Picture");
  halcyon::Mesh* mesh = node ? node->getMesh() : nullptr;
  if (!mesh) return picture;
  halcyon::TextureStage& stage = mesh->getMaterial().stages[0];
  const float frame = mesh->getGeometry()
                          ? frameAspect(*mesh->getGeometry(), node->objectWorld(), stage.texCoordIndex & 0xFFFF)
                          : 0.0f;
  picture->setTransform(fillAndCentre(static_cast<float>(info.Width) / static_cast<float>(info.Height), frame));
  stage.texture = picture;
  return picture;
}

}  // namespace brassmoor
