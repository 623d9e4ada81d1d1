#pragma once
// A recording device installed as the engine's current device for the life of a test, and
// small meshes built straight from geometry.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "engine/device/state_cache.h"
#include "engine/scene/mesh.h"
#include "platform/d3d9/recording.h"

namespace scenetest {

class RecordingScene : public ::testing::Test {
 protected:
  void SetUp() override {
    d3d_ = new RecordingDirect3D9();
    D3DPRESENT_PARAMETERS p{};
    p.BackBufferWidth = 64;
    p.BackBufferHeight = 64;
    p.Windowed = TRUE;
    IDirect3DDevice9* made = nullptr;
    ASSERT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, 0x40, &p, &made), D3D_OK);
    device_ = static_cast<RecordingDevice*>(made);
    halcyon::stateCache().setDevice(device_);
    halcyon::stateCache().Invalidate();
  }
  void TearDown() override {
    meshes_.clear();
    buffers_.clear();
    halcyon::stateCache().setDevice(nullptr);
    halcyon::stateCache().Invalidate();
    safeRelease(device_);
    safeRelease(d3d_);
  }

  // A triangle (FVF XYZ, no indices) with its corners at the given positions.
  halcyon::Mesh* Triangle(const halcyon::Material& material, halcyon::Vec3 a, halcyon::Vec3 b, halcyon::Vec3 c) {
    auto g = std::make_unique<halcyon::Geometry>();
    g->fvf = D3DFVF_XYZ;
    g->vertexCount = 3;
    g->stride = 12;
    for (halcyon::Vec3 v : {a, b, c}) {
      const float f[3] = {v.x, v.y, v.z};
      const auto* p = reinterpret_cast<const uint8_t*>(f);
      g->vertices.insert(g->vertices.end(), p, p + 12);
    }
    g->ComputeBounds();
    halcyon::BufferDescription d;
    d.format = D3DFVF_XYZ;
    d.stride = 12;
    d.usage = D3DUSAGE_WRITEONLY;
    d.byteSize = 36;
    auto buffer = std::make_unique<halcyon::DeviceBuffer>(d);
    EXPECT_TRUE(buffer->Create());
    halcyon::BufferRegion region{buffer.get(), 0, 36, 3};
    auto mesh = std::make_unique<halcyon::Mesh>(material, g.get(), region, halcyon::BufferRegion{}, 12);
    halcyon::Mesh* out = mesh.get();
    geometries_.push_back(std::move(g));
    buffers_.push_back(std::move(buffer));
    meshes_.push_back(std::move(mesh));
    return out;
  }

  // Calls of `name` whose arguments are exactly `args`.
  size_t CountCall(std::string_view name, std::vector<uint64_t> args) const {
    size_t n = 0;
    for (const auto& c : device_->calls())
      if (c.name == name && c.args == args) ++n;
    return n;
  }

  RecordingDirect3D9* d3d_ = nullptr;
  RecordingDevice* device_ = nullptr;
  std::vector<std::unique_ptr<halcyon::Geometry>> geometries_;
  std::vector<std::unique_ptr<halcyon::DeviceBuffer>> buffers_;
  std::vector<std::unique_ptr<halcyon::Mesh>> meshes_;
};

}  // namespace scenetest
