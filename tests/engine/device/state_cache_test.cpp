#include <gtest/gtest.h>

#include "engine/device/state_cache.h"
#include "platform/d3d9/recording.h"
#include "tests/support/recording_device.h"

namespace {

using halcyon::StateCache;

class StateCacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
    d3d_ = new RecordingDirect3D9();
    device_ = testsupport::createRecordingDevice(*d3d_);
    ASSERT_NE(device_, nullptr);
    cache_.setDevice(device_);
  }
  void TearDown() override {
    safeRelease(device_);
    safeRelease(d3d_);
  }
  RecordingDirect3D9* d3d_ = nullptr;
  RecordingDevice* device_ = nullptr;
  StateCache cache_;
};

D3DMATRIX translation(float x) {
  D3DMATRIX m = identityMatrix();
  m.m[3][0] = x;
  return m;
}

TEST_F(StateCacheTest, RepeatedValuesReachTheDeviceOnceUntilInvalidated) {
  EXPECT_TRUE(cache_.setRenderState(D3DRS_ZENABLE, TRUE));
  EXPECT_TRUE(cache_.setRenderState(D3DRS_ZENABLE, TRUE));
  EXPECT_EQ(device_->countRenderState(D3DRS_ZENABLE), 1u);
  EXPECT_TRUE(cache_.setRenderState(D3DRS_ZENABLE, FALSE));
  EXPECT_EQ(device_->countRenderState(D3DRS_ZENABLE), 2u);

  cache_.setTextureStageState(1, D3DTSS_COLOROP, D3DTOP_ADD);
  cache_.setTextureStageState(1, D3DTSS_COLOROP, D3DTOP_ADD);
  cache_.setTextureStageState(2, D3DTSS_COLOROP, D3DTOP_ADD);  // another stage is another entry
  EXPECT_EQ(device_->count("SetTextureStageState"), 2u);
  cache_.setSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
  cache_.setSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
  EXPECT_EQ(device_->count("SetSamplerState"), 1u);
  const D3DMATRIX m = translation(5);
  cache_.setWorld(&m);
  cache_.setTransform(D3DTS_WORLD, &m);
  cache_.setView(&m);
  EXPECT_EQ(device_->count("SetTransform"), 2u);
  D3DMATERIAL9 mat{};
  mat.Power = 3;
  cache_.setMaterial(&mat);
  cache_.setMaterial(&mat);
  EXPECT_EQ(device_->count("SetMaterial"), 1u);

  // After a reset the device holds its defaults again, so every value must be sent anew.
  cache_.invalidate();
  cache_.setRenderState(D3DRS_ZENABLE, FALSE);
  cache_.setWorld(&m);
  cache_.setMaterial(&mat);
  EXPECT_EQ(device_->countRenderState(D3DRS_ZENABLE), 3u);
  EXPECT_EQ(device_->count("SetTransform"), 3u);
  EXPECT_EQ(device_->count("SetMaterial"), 2u);
  EXPECT_GT(cache_.hits(), 0u);
}

TEST_F(StateCacheTest, TransformsAndMaterialCompareEveryByte) {
  D3DMATRIX a = identityMatrix();
  D3DMATRIX b = a;
  b.m[3][3] = -1.0f;
  cache_.setProjection(&a);
  cache_.setProjection(&b);
  EXPECT_EQ(device_->count("SetTransform"), 2u) << "the last element differs";
  D3DMATERIAL9 m1{}, m2{};
  m2.Power = 0.5f;  // the 68th byte region
  cache_.setMaterial(&m1);
  cache_.setMaterial(&m2);
  EXPECT_EQ(device_->count("SetMaterial"), 2u);
}

TEST_F(StateCacheTest, WithoutADeviceSettersFailAndLeaveTheCache) {
  cache_.setRenderState(D3DRS_LIGHTING, FALSE);
  cache_.setDevice(nullptr);
  EXPECT_FALSE(cache_.setRenderState(D3DRS_LIGHTING, TRUE));
  EXPECT_TRUE(cache_.setRenderState(D3DRS_LIGHTING, FALSE)) << "equal to the valid cached value";
  const D3DMATRIX m = translation(1);
  EXPECT_FALSE(cache_.setWorld(&m));
  DWORD v = 7;
  EXPECT_TRUE(cache_.getRenderState(D3DRS_LIGHTING, &v));
  EXPECT_EQ(v, static_cast<DWORD>(FALSE)) << "the failed set left the old value";
  D3DMATRIX out{};
  EXPECT_FALSE(cache_.getTransform(D3DTS_WORLD, &out)) << "never valid and no device to ask";
  cache_.setDevice(device_);
  EXPECT_TRUE(cache_.setRenderState(D3DRS_LIGHTING, TRUE));
  EXPECT_EQ(device_->countRenderState(D3DRS_LIGHTING), 2u);
}

TEST_F(StateCacheTest, GettersAskTheDeviceOnceAndCacheTheAnswer) {
  DWORD v = 0;
  EXPECT_TRUE(cache_.getRenderState(D3DRS_CULLMODE, &v));
  EXPECT_EQ(v, static_cast<DWORD>(D3DCULL_CCW));
  EXPECT_TRUE(cache_.getRenderState(D3DRS_CULLMODE, &v));
  EXPECT_EQ(device_->count("GetRenderState"), 1u);
  EXPECT_TRUE(cache_.setRenderState(D3DRS_CULLMODE, D3DCULL_CCW));
  EXPECT_EQ(device_->countRenderState(D3DRS_CULLMODE), 0u) << "the answer made the entry valid";

  IDirect3DTexture9* texture = nullptr;
  ASSERT_EQ(device_->CreateTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
  device_->SetTexture(3, texture);
  IDirect3DBaseTexture9* bound = nullptr;
  EXPECT_TRUE(cache_.getTexture(3, &bound));
  EXPECT_EQ(bound, texture);
  texture->Release();
  EXPECT_EQ(device_->liveTextures(), 1) << "the cache took no reference of its own";
  device_->SetTexture(3, nullptr);
  EXPECT_EQ(device_->liveTextures(), 0);
}

TEST_F(StateCacheTest, OutOfRangeEntriesAreRefused) {
  EXPECT_FALSE(cache_.setRenderState(static_cast<D3DRENDERSTATETYPE>(1024), 1));
  EXPECT_FALSE(cache_.setTextureStageState(8, D3DTSS_COLOROP, 1));
  EXPECT_FALSE(cache_.setSamplerState(0, static_cast<D3DSAMPLERSTATETYPE>(16), 1));
  EXPECT_FALSE(cache_.setTransform(static_cast<D3DTRANSFORMSTATETYPE>(512), nullptr));
  EXPECT_TRUE(device_->calls().empty());
  const D3DMATRIX m = translation(2);
  EXPECT_TRUE(cache_.setTransform(D3DTS_WORLDMATRIX(255), &m)) << "the last world matrix is covered";
}

}  // namespace
