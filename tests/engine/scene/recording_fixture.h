#pragma once
// An application on the recording runtime, its device the engine's current one for the life
// of a test, and small meshes built straight from geometry.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "engine/device/application.h"
#include "engine/device/state_cache.h"
#include "engine/device/texture.h"
#include "engine/scene/mesh.h"
#include "platform/d3d9/recording.h"
#include "tests/support/headless_engine_window.h"

namespace scenetest {

class RecordingScene : public ::testing::Test {
 protected:
  void SetUp() override {
    halcyon::Application::setDirect3DLoader([this] { return d3d_ = new RecordingDirect3D9(); });
    app_ = std::make_unique<halcyon::Application>();
    ASSERT_TRUE(app_->create(nullptr, &window_));
    ASSERT_TRUE(app_->setMode(false));
    device_ = d3d_->lastDevice();
    ASSERT_EQ(halcyon::stateCache().device(), device_);
    device_->clearCalls();
  }
  void TearDown() override {
    meshes_.clear();
    buffers_.clear();
    halcyon::textureManager().clear();
    app_.reset();
    halcyon::Application::setDirect3DLoader(nullptr);
  }

  // A triangle (FVF XYZ, no indices) with its corners at the given positions.
  halcyon::Mesh* triangle(const halcyon::Material& material, halcyon::Vec3 a, halcyon::Vec3 b, halcyon::Vec3 c) {
    auto g = std::make_unique<halcyon::Geometry>();
    g->fvf = D3DFVF_XYZ;
    g->vertexCount = 3;
    g->stride = 12;
    for (halcyon::Vec3 v : {a, b, c}) {
      const float f[3] = {v.x, v.y, v.z};
      const auto* p = reinterpret_cast<const uint8_t*>(f);
      g->vertices.insert(g->vertices.end(), p, p + 12);
    }
    g->computeBounds();
    halcyon::BufferDescription d;
    d.format = D3DFVF_XYZ;
    d.stride = 12;
    d.usage = D3DUSAGE_WRITEONLY;
    d.byteSize = 36;
    auto buffer = std::make_unique<halcyon::DeviceBuffer>(d);
    EXPECT_TRUE(buffer->create());
    halcyon::BufferRegion region{buffer.get(), 0, 36, 3};
    auto mesh = std::make_unique<halcyon::Mesh>(material, g.get(), region, halcyon::BufferRegion{}, 12);
    halcyon::Mesh* out = mesh.get();
    geometries_.push_back(std::move(g));
    buffers_.push_back(std::move(buffer));
    meshes_.push_back(std::move(mesh));
    return out;
  }

  // Calls of `name` whose arguments are exactly `args`.
  size_t countCall(std::string_view name, std::vector<uint64_t> args) const {
    size_t n = 0;
    for (const auto& c : device_->calls())
      if (c.name == name && c.args == args) ++n;
    return n;
  }

  using Window = testsupport::HeadlessEngineWindow;

  Window window_;
  std::unique_ptr<halcyon::Application> app_;
  RecordingDirect3D9* d3d_ = nullptr;
  RecordingDevice* device_ = nullptr;
  std::vector<std::unique_ptr<halcyon::Geometry>> geometries_;
  std::vector<std::unique_ptr<halcyon::DeviceBuffer>> buffers_;
  std::vector<std::unique_ptr<halcyon::Mesh>> meshes_;
};

}  // namespace scenetest
