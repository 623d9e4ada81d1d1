// One frame of the scene pass: traversal of a 300-node tree holding 50k triangles in meshes
// of a few materials (some transparent), hand-off to the sorter, and the flush that applies
// every material's states through the state cache and draws on the recording device.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "engine/device/state_cache.h"
#include "engine/scene/light.h"
#include "engine/scene/mesh.h"
#include "engine/scene/render_sorter.h"
#include "engine/scene/scene_node.h"
#include "platform/d3d9/recording.h"

namespace {

using namespace halcyon;

constexpr int kNodes = 300;
constexpr int kTriangles = 50'000;
constexpr int kPerMesh = kTriangles / kNodes;  // 166 triangles, 498 indices

struct Fixture {
  RecordingDirect3D9* d3d = nullptr;
  RecordingDevice* device = nullptr;
  std::vector<std::unique_ptr<Geometry>> geometries;
  std::vector<std::unique_ptr<DeviceBuffer>> buffers;
  SceneNode root;
  LightList lights;

  Fixture() {
    d3d = new RecordingDirect3D9();
    D3DPRESENT_PARAMETERS p{};
    p.BackBufferWidth = 64;
    p.BackBufferHeight = 64;
    p.Windowed = TRUE;
    IDirect3DDevice9* made = nullptr;
    d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, 0x40, &p, &made);
    device = static_cast<RecordingDevice*>(made);
    stateCache().setDevice(device);
    stateCache().invalidate();

    lights.add(std::make_unique<PointLight>(Vec3{0, 200, 0}));
    lights.add(std::make_unique<DirLight>(Vec3{0, -1, 0}));

    Material materials[4];
    materials[1].stages[1].colorOp = D3DTOP_MODULATE2X;  // light-mapped
    materials[1].stages[1].colorArg1 = D3DTA_CURRENT;
    materials[2].cullMode = D3DCULL_NONE;
    materials[3].opacity = 0.4f;  // glass
    materials[3].setAlphaUse(1);

    // Ten groups of thirty nodes in a ring around the camera, each node a small grid.
    SceneNode* group = nullptr;
    for (int i = 0; i < kNodes; ++i) {
      if (i % 30 == 0) {
        group = root.addChild(std::make_unique<SceneNode>("group" + std::to_string(i / 30), "Dummy"));
        const float a = float(i / 30) * 0.628f;
        group->localTransform().setTranslation({300.0f * std::cos(a), 0.0f, 300.0f * std::sin(a)});
      }
      SceneNode* node = group->addChild(std::make_unique<SceneNode>("mesh" + std::to_string(i), "Mesh"));
      node->localTransform().setTranslation({float(i % 30) * 4.0f, float(i % 7) * 3.0f, 0.0f});
      node->setMesh(makeMesh(materials[i % 4]));
    }
  }

  std::unique_ptr<Mesh> makeMesh(const Material& material) {
    auto g = std::make_unique<Geometry>();
    g->fvf = 0x312;
    g->stride = 40;
    g->vertexCount = 2 * (kPerMesh / 2 + 1) + 2;
    g->vertices.assign(size_t(g->vertexCount) * 40, 0);
    for (uint32_t v = 0; v < g->vertexCount; ++v) {
      const float pos[3] = {float(v / 2), float(v % 2), 0.0f};
      std::memcpy(&g->vertices[size_t(v) * 40], pos, 12);
    }
    g->indexSize = 2;
    g->indexCount = kPerMesh * 3;
    g->computeBounds();
    BufferDescription vd{BufferDescription::kVertex, 0x312, 40, D3DUSAGE_WRITEONLY, D3DPOOL_DEFAULT,
                         g->vertexCount * 40,        0};
    BufferDescription id{BufferDescription::kIndex, D3DFMT_INDEX16,    2, D3DUSAGE_WRITEONLY,
                         D3DPOOL_DEFAULT,           g->indexCount * 2, 0};
    auto vb = std::make_unique<DeviceBuffer>(vd);
    auto ib = std::make_unique<DeviceBuffer>(id);
    vb->create();
    ib->create();
    if (uint8_t* out = ib->lock(0, id.byteSize, 0)) {
      for (uint32_t t = 0; t < uint32_t(kPerMesh); ++t) {
        const uint16_t tri[3] = {uint16_t(t), uint16_t(t + 1), uint16_t(t + 2)};
        std::memcpy(out + 6 * size_t(t), tri, 6);
      }
      ib->unlock();
    }
    auto mesh = std::make_unique<Mesh>(material, g.get(), BufferRegion{vb.get(), 0, vd.byteSize, g->vertexCount},
                                       BufferRegion{ib.get(), 0, id.byteSize, g->indexCount}, 40);
    geometries.push_back(std::move(g));
    buffers.push_back(std::move(vb));
    buffers.push_back(std::move(ib));
    return mesh;
  }

  ~Fixture() {
    stateCache().setDevice(nullptr);
    stateCache().invalidate();
    safeRelease(device);
    safeRelease(d3d);
  }
};

void BM_SceneFrame(benchmark::State& state) {
  Fixture f;
  RenderSorter sorter;
  sorter.camera.setProjection(1.22f, 4.0f / 3.0f, 0.1f, 1000.0f);
  sorter.camera.setPose({0, 100, 0}, {1, -0.2f, 0.3f}, {0, 1, 0});
  sorter.setLights(&f.lights);
  RenderContext ctx;
  ctx.camera = sorter.camera;
  ctx.sorter = &sorter;
  size_t draws = 0, calls = 0;
  for (auto _ : state) {
    f.root.render(ctx);
    sorter.flush();
    sorter.clear();
    draws += f.device->draws().size();
    calls += f.device->calls().size();
    f.device->clearCalls();
  }
  state.counters["draws/frame"] = benchmark::Counter(double(draws), benchmark::Counter::kAvgIterations);
  state.counters["device calls/frame"] = benchmark::Counter(double(calls), benchmark::Counter::kAvgIterations);
  state.counters["cache hits"] = double(stateCache().hits());
}
BENCHMARK(BM_SceneFrame)->Unit(benchmark::kMicrosecond);

// Traversal alone (compose every matrix, draw nothing).
void BM_SceneCompose(benchmark::State& state) {
  Fixture f;
  RenderContext ctx;
  ctx.flags = RenderContext::kComposeOnly;
  for (auto _ : state) {
    f.root.render(ctx);
    benchmark::DoNotOptimize(ctx.world);
  }
}
BENCHMARK(BM_SceneCompose)->Unit(benchmark::kMicrosecond);

}  // namespace
