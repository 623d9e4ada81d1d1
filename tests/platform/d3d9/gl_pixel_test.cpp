// Pixels drawn by the OpenGL device against a CPU evaluation of the fixed-function formulas.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "platform/d3d9/gl_device.h"
#include "tests/platform/d3d9/gl_fixture.h"

namespace {

struct Vec4 {
  float r = 0, g = 0, b = 0, a = 0;
};

Vec4 fromColour(D3DCOLOR c) {
  return {static_cast<float>((c >> 16) & 0xFF) / 255.0f, static_cast<float>((c >> 8) & 0xFF) / 255.0f,
          static_cast<float>(c & 0xFF) / 255.0f, static_cast<float>(c >> 24) / 255.0f};
}

D3DCOLOR toColour(const Vec4& v) {
  auto byte = [](float f) { return static_cast<DWORD>(std::lround(std::clamp(f, 0.0f, 1.0f) * 255.0f)); };
  return D3DCOLOR_ARGB(byte(v.a), byte(v.r), byte(v.g), byte(v.b));
}

Vec4 clamp01(Vec4 v) {
  return {std::clamp(v.r, 0.0f, 1.0f), std::clamp(v.g, 0.0f, 1.0f), std::clamp(v.b, 0.0f, 1.0f),
          std::clamp(v.a, 0.0f, 1.0f)};
}

// ---- the texture-stage formulas, one channel at a time ----

struct Inputs {
  Vec4 diffuse, current, texture, factor, specular, temp;
};

Vec4 argument(DWORD arg, const Inputs& in) {
  Vec4 v;
  switch (arg & D3DTA_SELECTMASK) {
    case D3DTA_DIFFUSE: v = in.diffuse; break;
    case D3DTA_CURRENT: v = in.current; break;
    case D3DTA_TEXTURE: v = in.texture; break;
    case D3DTA_TFACTOR: v = in.factor; break;
    case D3DTA_SPECULAR: v = in.specular; break;
    case D3DTA_TEMP: v = in.temp; break;
  }
  if (arg & D3DTA_COMPLEMENT) v = {1 - v.r, 1 - v.g, 1 - v.b, 1 - v.a};
  if (arg & D3DTA_ALPHAREPLICATE) v = {v.a, v.a, v.a, v.a};
  return v;
}

// One channel of an operation; `x0..x2` are the channel of the arguments, `xa1` and `xa2`
// the alpha of arguments 1 and 2 (for the operations that mix in alpha).
float channel(DWORD op, float x0, float x1, float x2, float a1, const Inputs& in) {
  switch (op) {
    case D3DTOP_SELECTARG1: return x1;
    case D3DTOP_SELECTARG2: return x2;
    case D3DTOP_MODULATE: return x1 * x2;
    case D3DTOP_MODULATE2X: return 2 * x1 * x2;
    case D3DTOP_MODULATE4X: return 4 * x1 * x2;
    case D3DTOP_ADD: return x1 + x2;
    case D3DTOP_ADDSIGNED: return x1 + x2 - 0.5f;
    case D3DTOP_ADDSIGNED2X: return 2 * (x1 + x2 - 0.5f);
    case D3DTOP_SUBTRACT: return x1 - x2;
    case D3DTOP_ADDSMOOTH: return x1 + x2 - x1 * x2;
    case D3DTOP_BLENDDIFFUSEALPHA: return x1 * in.diffuse.a + x2 * (1 - in.diffuse.a);
    case D3DTOP_BLENDTEXTUREALPHA: return x1 * in.texture.a + x2 * (1 - in.texture.a);
    case D3DTOP_BLENDFACTORALPHA: return x1 * in.factor.a + x2 * (1 - in.factor.a);
    case D3DTOP_BLENDTEXTUREALPHAPM: return x1 + x2 * (1 - in.texture.a);
    case D3DTOP_BLENDCURRENTALPHA: return x1 * in.current.a + x2 * (1 - in.current.a);
    case D3DTOP_PREMODULATE: return x1;
    case D3DTOP_MODULATEALPHA_ADDCOLOR: return x1 + a1 * x2;
    case D3DTOP_MODULATECOLOR_ADDALPHA: return x1 * x2 + a1;
    case D3DTOP_MODULATEINVALPHA_ADDCOLOR: return (1 - a1) * x2 + x1;
    case D3DTOP_MODULATEINVCOLOR_ADDALPHA: return (1 - x1) * x2 + a1;
    case D3DTOP_MULTIPLYADD: return x0 + x1 * x2;
    case D3DTOP_LERP: return x0 * x1 + (1 - x0) * x2;
  }
  return 0;
}

struct Stage {
  DWORD colorOp, colorArg0, colorArg1, colorArg2, alphaOp, alphaArg0, alphaArg1, alphaArg2, result = D3DTA_CURRENT;
};

// Runs one stage; returns the result and updates current or temp.
Vec4 evaluateStage(const Stage& s, Inputs& in) {
  const Vec4 c0 = argument(s.colorArg0, in), c1 = argument(s.colorArg1, in), c2 = argument(s.colorArg2, in);
  Vec4 out;
  if (s.colorOp == D3DTOP_DOTPRODUCT3) {
    const float d = 4 * ((c1.r - 0.5f) * (c2.r - 0.5f) + (c1.g - 0.5f) * (c2.g - 0.5f) + (c1.b - 0.5f) * (c2.b - 0.5f));
    out = clamp01({d, d, d, d});
  } else {
    out.r = channel(s.colorOp, c0.r, c1.r, c2.r, c1.a, in);
    out.g = channel(s.colorOp, c0.g, c1.g, c2.g, c1.a, in);
    out.b = channel(s.colorOp, c0.b, c1.b, c2.b, c1.a, in);
    if (s.alphaOp == D3DTOP_DISABLE) {
      out.a = in.current.a;
    } else {
      const Vec4 x0 = argument(s.alphaArg0, in), x1 = argument(s.alphaArg1, in), x2 = argument(s.alphaArg2, in);
      if (s.alphaOp == D3DTOP_DOTPRODUCT3) {
        out.a = 4 * ((x1.r - 0.5f) * (x2.r - 0.5f) + (x1.g - 0.5f) * (x2.g - 0.5f) + (x1.b - 0.5f) * (x2.b - 0.5f));
      } else {
        out.a = channel(s.alphaOp, x0.a, x1.a, x2.a, x1.a, in);
      }
    }
    out = clamp01(out);
  }
  if ((s.result & D3DTA_SELECTMASK) == D3DTA_TEMP) in.temp = out;
  else
    in.current = out;
  return out;
}

struct QuadVertex {
  float x, y, z, rhw;
  D3DCOLOR diffuse, specular;
  float u, v;
};

class TextureStagePixels : public GLDeviceFixture {
 protected:
  static constexpr D3DCOLOR kTexture = 0x90C04020, kDiffuse = 0x60305080, kFactor = 0xA0FF8010, kSpecular = 0x70204060;

  void SetUp() override {
    GLDeviceFixture::SetUp();
    if (HasFatalFailure()) return;
    texture_ = solidTexture(kTexture);
    device_->SetTexture(0, texture_);
    device_->SetRenderState(D3DRS_ZENABLE, FALSE);
    device_->SetRenderState(D3DRS_TEXTUREFACTOR, kFactor);
    device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX1);
  }
  void TearDown() override {
    safeRelease(texture_);
    GLDeviceFixture::TearDown();
  }

  D3DCOLOR drawStages(const std::vector<Stage>& stages) {
    for (DWORD i = 0; i < stages.size(); ++i) {
      const Stage& s = stages[i];
      device_->SetTextureStageState(i, D3DTSS_COLOROP, s.colorOp);
      device_->SetTextureStageState(i, D3DTSS_COLORARG0, s.colorArg0);
      device_->SetTextureStageState(i, D3DTSS_COLORARG1, s.colorArg1);
      device_->SetTextureStageState(i, D3DTSS_COLORARG2, s.colorArg2);
      device_->SetTextureStageState(i, D3DTSS_ALPHAOP, s.alphaOp);
      device_->SetTextureStageState(i, D3DTSS_ALPHAARG0, s.alphaArg0);
      device_->SetTextureStageState(i, D3DTSS_ALPHAARG1, s.alphaArg1);
      device_->SetTextureStageState(i, D3DTSS_ALPHAARG2, s.alphaArg2);
      device_->SetTextureStageState(i, D3DTSS_RESULTARG, s.result);
    }
    device_->SetTextureStageState(static_cast<DWORD>(stages.size()), D3DTSS_COLOROP, D3DTOP_DISABLE);
    device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
    const float s = static_cast<float>(kSize);
    const QuadVertex quad[4] = {{0, 0, 0.5f, 1, kDiffuse, kSpecular, 0, 0},
                                {s, 0, 0.5f, 1, kDiffuse, kSpecular, 1, 0},
                                {0, s, 0.5f, 1, kDiffuse, kSpecular, 0, 1},
                                {s, s, 0.5f, 1, kDiffuse, kSpecular, 1, 1}};
    EXPECT_EQ(device_->BeginScene(), D3D_OK);
    EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(QuadVertex)), D3D_OK);
    device_->EndScene();
    return pixel(kSize / 2, kSize / 2);
  }

  D3DCOLOR expected(const std::vector<Stage>& stages) {
    Inputs in{fromColour(kDiffuse), fromColour(kDiffuse),  fromColour(kTexture),
              fromColour(kFactor),  fromColour(kSpecular), {}};
    for (const Stage& s : stages) evaluateStage(s, in);
    return toColour(in.current);
  }

  IDirect3DTexture9* texture_ = nullptr;
};

class EveryOperation : public TextureStagePixels, public ::testing::WithParamInterface<DWORD> {};

TEST_P(EveryOperation, MatchesTheFormulaForColourAndAlpha) {
  const DWORD op = GetParam();
  const std::vector<Stage> stages = {
      {op, D3DTA_TFACTOR, D3DTA_TEXTURE, D3DTA_DIFFUSE, op, D3DTA_TFACTOR, D3DTA_TEXTURE, D3DTA_DIFFUSE}};
  const D3DCOLOR got = drawStages(stages), want = expected(stages);
  EXPECT_LE(channelDistance(got, want), 2) << "operation " << op << std::hex << " got " << got << " want " << want;
}

INSTANTIATE_TEST_SUITE_P(
    TextureOperations, EveryOperation,
    ::testing::Values(D3DTOP_SELECTARG1, D3DTOP_SELECTARG2, D3DTOP_MODULATE, D3DTOP_MODULATE2X, D3DTOP_MODULATE4X,
                      D3DTOP_ADD, D3DTOP_ADDSIGNED, D3DTOP_ADDSIGNED2X, D3DTOP_SUBTRACT, D3DTOP_ADDSMOOTH,
                      D3DTOP_BLENDDIFFUSEALPHA, D3DTOP_BLENDTEXTUREALPHA, D3DTOP_BLENDFACTORALPHA,
                      D3DTOP_BLENDTEXTUREALPHAPM, D3DTOP_BLENDCURRENTALPHA, D3DTOP_PREMODULATE,
                      D3DTOP_MODULATEALPHA_ADDCOLOR, D3DTOP_MODULATECOLOR_ADDALPHA, D3DTOP_MODULATEINVALPHA_ADDCOLOR,
                      D3DTOP_MODULATEINVCOLOR_ADDALPHA, D3DTOP_DOTPRODUCT3, D3DTOP_MULTIPLYADD, D3DTOP_LERP));

struct ArgumentCase {
  DWORD source;
  DWORD modifiers;
};

class EveryArgument : public TextureStagePixels, public ::testing::WithParamInterface<ArgumentCase> {};

TEST_P(EveryArgument, SelectsTheSourceWithItsModifiers) {
  const DWORD arg = GetParam().source | GetParam().modifiers;
  std::vector<Stage> stages;
  if ((arg & D3DTA_SELECTMASK) == D3DTA_TEMP || (arg & D3DTA_SELECTMASK) == D3DTA_CURRENT) {
    // The first stage leaves the texture in the temporary register and the diffuse colour as
    // the current one; the second reads one of them.
    stages.push_back({D3DTOP_SELECTARG1, 0, D3DTA_TEXTURE, 0, D3DTOP_SELECTARG1, 0, D3DTA_TEXTURE, 0, D3DTA_TEMP});
    stages.push_back({D3DTOP_MODULATE, 0, arg, D3DTA_TFACTOR, D3DTOP_MODULATE, 0, arg, D3DTA_TFACTOR});
  } else {
    stages.push_back({D3DTOP_SELECTARG1, 0, arg, 0, D3DTOP_SELECTARG1, 0, arg, 0});
  }
  const D3DCOLOR got = drawStages(stages), want = expected(stages);
  EXPECT_LE(channelDistance(got, want), 2) << "argument " << std::hex << arg << " got " << got << " want " << want;
}

std::vector<ArgumentCase> allArguments() {
  std::vector<ArgumentCase> cases;
  for (DWORD source : {D3DTA_DIFFUSE, D3DTA_CURRENT, D3DTA_TEXTURE, D3DTA_TFACTOR, D3DTA_SPECULAR, D3DTA_TEMP})
    for (DWORD modifiers : {0u, D3DTA_COMPLEMENT, D3DTA_ALPHAREPLICATE, D3DTA_COMPLEMENT | D3DTA_ALPHAREPLICATE})
      cases.push_back({source, modifiers});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(TextureArguments, EveryArgument, ::testing::ValuesIn(allArguments()));

TEST_F(TextureStagePixels, AlphaOperationDisabledKeepsTheIncomingAlpha) {
  const std::vector<Stage> stages = {{D3DTOP_SELECTARG1, 0, D3DTA_TEXTURE, 0, D3DTOP_DISABLE, 0, 0, 0}};
  const D3DCOLOR got = drawStages(stages);
  EXPECT_EQ(got >> 24, kDiffuse >> 24);
  EXPECT_LE(channelDistance(got, (kTexture & 0xFFFFFF) | (kDiffuse & 0xFF000000u)), 1);
}

TEST_F(TextureStagePixels, FormatsWithoutAlphaSampleOpaque) {
  IDirect3DTexture9* opaque = solidTexture(0x00102030, D3DFMT_X8R8G8B8);
  device_->SetTexture(0, opaque);
  const D3DCOLOR got = drawStages({{D3DTOP_SELECTARG1, 0, D3DTA_TEXTURE, 0, D3DTOP_SELECTARG1, 0, D3DTA_TEXTURE, 0}});
  EXPECT_EQ(got, 0xFF102030u);
  opaque->Release();
}

// ---- lighting ----

struct V3 {
  float x, y, z;
};
V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
float dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
V3 scale(V3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
V3 normalise(V3 a) {
  const float l = std::sqrt(dot(a, a));
  return l > 0 ? scale(a, 1 / l) : a;
}

// The device's per-vertex lighting in view space with a local viewer at the origin.
D3DCOLOR litColour(const D3DMATERIAL9& m, D3DCOLOR ambientState, const D3DLIGHT9& light, V3 P, V3 N) {
  const Vec4 ga = fromColour(ambientState);
  float att = 1;
  V3 L;
  if (light.Type == D3DLIGHT_DIRECTIONAL) {
    L = scale(normalise({light.Direction.x, light.Direction.y, light.Direction.z}), -1);
  } else {
    const V3 toLight = V3{light.Position.x, light.Position.y, light.Position.z} - P;
    const float d = std::sqrt(dot(toLight, toLight));
    L = scale(toLight, 1 / d);
    att = d > light.Range ? 0 : 1 / (light.Attenuation0 + light.Attenuation1 * d + light.Attenuation2 * d * d);
    if (light.Type == D3DLIGHT_SPOT) {
      const float rho = dot(normalise({light.Direction.x, light.Direction.y, light.Direction.z}), scale(L, -1));
      const float cosTheta = std::cos(light.Theta / 2), cosPhi = std::cos(light.Phi / 2);
      float spot = 0;
      if (rho > cosTheta) spot = 1;
      else if (rho > cosPhi)
        spot = std::pow((rho - cosPhi) / (cosTheta - cosPhi), light.Falloff);
      att *= spot;
    }
  }
  const float NdotL = dot(N, L);
  const V3 V = normalise(scale(P, -1));
  const V3 H = normalise(V + L);
  const float diffuse = NdotL > 0 ? att * NdotL : 0;
  const float specular = NdotL > 0 ? att * std::pow(std::max(dot(N, H), 0.0f), m.Power) : 0;
  auto one = [&](float md, float ma, float ms, float me, float ld, float la, float ls, float g) {
    const float colour = std::clamp(me + ma * (g + att * la) + md * ld * diffuse, 0.0f, 1.0f);
    return std::clamp(colour + std::clamp(ms * ls * specular, 0.0f, 1.0f), 0.0f, 1.0f);
  };
  Vec4 out;
  out.r = one(m.Diffuse.r, m.Ambient.r, m.Specular.r, m.Emissive.r, light.Diffuse.r, light.Ambient.r, light.Specular.r,
              ga.r);
  out.g = one(m.Diffuse.g, m.Ambient.g, m.Specular.g, m.Emissive.g, light.Diffuse.g, light.Ambient.g, light.Specular.g,
              ga.g);
  out.b = one(m.Diffuse.b, m.Ambient.b, m.Specular.b, m.Emissive.b, light.Diffuse.b, light.Ambient.b, light.Specular.b,
              ga.b);
  out.a = std::clamp(m.Diffuse.a, 0.0f, 1.0f);
  return toColour(out);
}

class LightingPixels : public GLDeviceFixture, public ::testing::WithParamInterface<D3DLIGHTTYPE> {};

TEST_P(LightingPixels, EachVertexMatchesTheLightingFormula) {
  D3DMATERIAL9 m{};
  m.Diffuse = {0.8f, 0.6f, 0.4f, 0.75f};
  m.Ambient = {0.3f, 0.5f, 0.7f, 1};
  m.Specular = {0.5f, 0.5f, 0.5f, 1};
  m.Emissive = {0.05f, 0.0f, 0.1f, 0};
  m.Power = 8;
  const D3DCOLOR ambient = 0xFF202830;
  D3DLIGHT9 light{};
  light.Type = GetParam();
  light.Diffuse = {0.9f, 0.8f, 0.7f, 1};
  light.Specular = {0.6f, 0.7f, 0.8f, 1};
  light.Ambient = {0.1f, 0.2f, 0.1f, 1};
  light.Position = {0.2f, 0.1f, -1.0f};
  light.Direction = {0.3f, -0.2f, 1.0f};
  light.Range = 1.6f;
  light.Attenuation0 = 0.5f;
  light.Attenuation1 = 0.4f;
  light.Attenuation2 = 0.1f;
  light.Theta = 0.6f;
  light.Phi = 1.4f;
  light.Falloff = 2.0f;

  device_->SetMaterial(&m);
  device_->SetLight(0, &light);
  device_->LightEnable(0, TRUE);
  device_->SetRenderState(D3DRS_LIGHTING, TRUE);
  device_->SetRenderState(D3DRS_AMBIENT, ambient);
  device_->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
  device_->SetRenderState(D3DRS_NORMALIZENORMALS, TRUE);
  device_->SetRenderState(D3DRS_ZENABLE, FALSE);
  device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
  device_->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
  device_->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
  device_->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL);

  // Points on a grid of pixels, each with its own normal; world, view and projection are
  // identity, so view space is the clip space the points are given in.
  struct Point {
    float x, y, z, nx, ny, nz;
  };
  std::vector<Point> points;
  std::vector<std::pair<UINT, UINT>> where;
  const V3 normals[] = {{0, 0, -1}, {0.5f, 0.3f, -0.8f}, {-0.6f, 0.2f, -0.7f}, {0.1f, -0.9f, -0.4f}, {0, 0, 1}};
  for (UINT gy = 0; gy < 5; ++gy)
    for (UINT gx = 0; gx < 5; ++gx) {
      const UINT px = 8 + gx * 12, py = 8 + gy * 12;
      const float x = 2.0f * px / kSize - 1.0f, y = 1.0f - 2.0f * py / kSize;
      const V3 n = normalise(normals[(gx + gy) % 5]);
      points.push_back({x, y, 0.5f, n.x, n.y, n.z});
      where.push_back({px, py});
    }
  device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
  device_->BeginScene();
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_POINTLIST, static_cast<UINT>(points.size()), points.data(), sizeof(Point)),
            D3D_OK);
  device_->EndScene();
  const std::vector<D3DCOLOR> pixels = backBuffer();
  int lit = 0;
  for (size_t i = 0; i < points.size(); ++i) {
    const Point& p = points[i];
    const D3DCOLOR want = litColour(m, ambient, light, {p.x, p.y, p.z}, {p.nx, p.ny, p.nz});
    const D3DCOLOR got = pixels[where[i].second * kSize + where[i].first];
    EXPECT_LE(channelDistance(got, want), 2) << "point " << i << std::hex << " got " << got << " want " << want;
    if (channelDistance(want,
                        litColour(m, ambient, D3DLIGHT9{GetParam(), {}, {}, {}, {}, {0, 0, 1}, 0, 0, 1, 0, 0, 0, 0},
                                  {p.x, p.y, p.z}, {p.nx, p.ny, p.nz})) > 8)
      ++lit;
  }
  EXPECT_GT(lit, 3) << "the light must actually reach several points";
}

INSTANTIATE_TEST_SUITE_P(LightTypes, LightingPixels,
                         ::testing::Values(D3DLIGHT_DIRECTIONAL, D3DLIGHT_POINT, D3DLIGHT_SPOT));

TEST_F(GLDeviceFixture, NormalsFollowTheInverseTransposeOfAScalingWorld) {
  // A point drawn through a world that squashes and turns space must be lit as the same point
  // given in view space with its normal turned by the inverse transpose.
  D3DMATERIAL9 m{};
  m.Diffuse = {1, 1, 1, 1};
  D3DLIGHT9 light{};
  light.Type = D3DLIGHT_DIRECTIONAL;
  light.Diffuse = {1, 1, 1, 1};
  light.Direction = {-0.6f, -0.3f, 0.74f};
  device_->SetMaterial(&m);
  device_->SetLight(0, &light);
  device_->LightEnable(0, TRUE);
  device_->SetRenderState(D3DRS_LIGHTING, TRUE);
  device_->SetRenderState(D3DRS_NORMALIZENORMALS, TRUE);
  device_->SetRenderState(D3DRS_ZENABLE, FALSE);
  device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
  device_->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL);
  struct Point {
    float x, y, z, nx, ny, nz;
  };
  // Row vectors: scale (2, 0.5, 1), then a turn of 30 degrees about z.
  const float c = std::cos(0.5236f), s = std::sin(0.5236f);
  D3DMATRIX world{};
  world.m[0][0] = 2 * c, world.m[0][1] = 2 * s;
  world.m[1][0] = -0.5f * s, world.m[1][1] = 0.5f * c;
  world.m[2][2] = world.m[3][3] = 1;
  const Point through{0.1f, 0.2f, 0.5f, 0.6f, 0.3f, -0.74f};
  const float px = through.x * world.m[0][0] + through.y * world.m[1][0],
              py = through.x * world.m[0][1] + through.y * world.m[1][1];
  // The inverse transpose turns n by the same angle after scaling it by (1/2, 2, 1).
  const float sx = through.nx / 2, sy = through.ny * 2;
  const Point direct{px, py, 0.5f, sx * c - sy * s, sx * s + sy * c, through.nz};
  device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
  device_->SetTransform(D3DTS_WORLD, &world);
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_POINTLIST, 1, &through, sizeof(Point)), D3D_OK);
  // The brightest pixel around where the point lands (the device's pixel centres sit half a
  // pixel off GL's).
  auto at = [&](const Point& p) {
    const std::vector<D3DCOLOR> pixels = backBuffer();
    const int cx = static_cast<int>((p.x + 1) * kSize / 2), cy = static_cast<int>((1 - p.y) * kSize / 2);
    D3DCOLOR best = 0;
    for (int y = cy - 1; y <= cy + 1; ++y)
      for (int x = cx - 1; x <= cx + 1; ++x) best = std::max(best, pixels[y * kSize + x] & 0xFFFFFF);
    return best;
  };
  const D3DCOLOR turned = at(direct);
  D3DMATRIX identity{};
  identity.m[0][0] = identity.m[1][1] = identity.m[2][2] = identity.m[3][3] = 1;
  device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
  device_->SetTransform(D3DTS_WORLD, &identity);
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_POINTLIST, 1, &direct, sizeof(Point)), D3D_OK);
  const D3DCOLOR given = at(direct);
  EXPECT_GT(given & 0xFF, 40u) << "the light reaches the point";
  EXPECT_LE(channelDistance(turned, given, false), 2) << std::hex << turned << " " << given;
}

// ---- frame composition pieces ----

TEST_F(GLDeviceFixture, FadeQuadDarkensTheFrameByTheFactorAlpha) {
  device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_XRGB(200, 120, 40), 1.0f, 0);
  struct FadeVertex {
    float x, y, z, rhw;
    D3DCOLOR colour;
  };
  const float s = static_cast<float>(kSize);
  const FadeVertex quad[6] = {{0, 0, 0.1f, 1, 0}, {s, 0, 0.1f, 1, 0}, {0, s, 0.1f, 1, 0},
                              {s, 0, 0.1f, 1, 0}, {s, s, 0.1f, 1, 0}, {0, s, 0.1f, 1, 0}};
  const float opacity = 0.3f;
  const DWORD alpha = static_cast<DWORD>(opacity * 255);
  device_->SetRenderState(D3DRS_TEXTUREFACTOR, (alpha << 24) | 0x00FFFFFF);
  device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
  device_->SetRenderState(D3DRS_ZENABLE, FALSE);
  device_->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
  device_->SetRenderState(D3DRS_LIGHTING, FALSE);
  device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
  device_->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
  device_->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TFACTOR);
  device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
  device_->BeginScene();
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, quad, sizeof(FadeVertex)), D3D_OK);
  device_->EndScene();
  const float keep = 1.0f - static_cast<float>(alpha) / 255.0f;
  const D3DCOLOR want = D3DCOLOR_XRGB(std::lround(200 * keep), std::lround(120 * keep), std::lround(40 * keep));
  for (auto [x, y] : {std::pair{0u, 0u}, {kSize - 1, kSize - 1}, {kSize / 2, kSize / 3}})
    EXPECT_LE(channelDistance(pixel(x, y), want, false), 2) << "pixel " << x << "," << y;
}

TEST_F(GLDeviceFixture, GammaRampChangesThePresentedPixels) {
  DeviceControl* control = deviceControl(device_);
  ASSERT_NE(control, nullptr);
  control->setPresentCapture(true);
  device_->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_XRGB(100, 150, 200), 1.0f, 0);
  ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  std::vector<D3DCOLOR> pixels;
  UINT w = 0, h = 0;
  ASSERT_TRUE(control->presentedPixels(pixels, w, h));
  ASSERT_EQ(w * h, pixels.size());
  EXPECT_LE(channelDistance(pixels[pixels.size() / 2], D3DCOLOR_XRGB(100, 150, 200), false), 1) << "identity ramp";

  // The brightening ramp a lightning flash uses: every entry raised by a fixed amount.
  D3DGAMMARAMP ramp{};
  for (int i = 0; i < 256; ++i) {
    const int v = std::clamp(40 * 200 + i * 256, 0, 65535);
    ramp.red[i] = ramp.green[i] = ramp.blue[i] = static_cast<WORD>(v);
  }
  device_->SetGammaRamp(0, D3DSGR_CALIBRATE, &ramp);
  device_->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_XRGB(100, 150, 200), 1.0f, 0);
  ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  ASSERT_TRUE(control->presentedPixels(pixels, w, h));
  auto through = [&](int c) { return static_cast<DWORD>(std::lround(ramp.red[c] / 65535.0 * 255.0)); };
  EXPECT_LE(channelDistance(pixels[pixels.size() / 2], D3DCOLOR_XRGB(through(100), through(150), through(200)), false),
            1);
  EXPECT_EQ(pixel(kSize / 2, kSize / 2) & 0xFFFFFF, 0x6496C8u) << "the back buffer itself is untouched";
}

// Every level 0..255 in red and blue (and its complement in green), each in a 4x4 block.
void clearToEveryLevel(IDirect3DDevice9* device) {
  for (LONG level = 0; level < 256; ++level) {
    const LONG x = (level % 16) * 4, y = (level / 16) * 4;
    const D3DRECT block{x, y, x + 4, y + 4};
    device->Clear(1, &block, D3DCLEAR_TARGET, D3DCOLOR_XRGB(level, 255 - level, level), 1.0f, 0);
  }
}

// The levels the presented picture shows where clearToEveryLevel put level 0..255 (red).
std::vector<D3DCOLOR> presentedLevels(IDirect3DDevice9* device) {
  DeviceControl* control = deviceControl(device);
  control->setPresentCapture(true);
  EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  std::vector<D3DCOLOR> pixels, levels;
  UINT w = 0, h = 0;
  if (!control->presentedPixels(pixels, w, h) || w < 64 || h < 64) return levels;
  for (UINT level = 0; level < 256; ++level)
    levels.push_back(pixels[((level / 16) * 4 + 1) * w + (level % 16) * 4 + 1] & 0xFFFFFF);
  return levels;
}

TEST_F(GLDeviceFixture, FinalPassKeepsEveryLevelUnderTheBaseRampAndMapsEntriesByTheirHighByte) {
  // The identity (i * 257) and the base ramp (i * 256) both show every level as it is.
  for (int step : {257, 256}) {
    D3DGAMMARAMP ramp{};
    for (int i = 0; i < 256; ++i) ramp.red[i] = ramp.green[i] = ramp.blue[i] = static_cast<WORD>(i * step);
    device_->SetGammaRamp(0, D3DSGR_CALIBRATE, &ramp);
    clearToEveryLevel(device_);
    const std::vector<D3DCOLOR> levels = presentedLevels(device_);
    ASSERT_EQ(levels.size(), 256u);
    for (DWORD i = 0; i < 256; ++i)
      ASSERT_EQ(levels[i], D3DCOLOR_XRGB(i, 255 - i, i) & 0xFFFFFF) << "level " << i << " step " << step;
  }
  // A ramp that really changes the picture goes through the look-up: each level shows the
  // high byte of its entry, white reaching 255 where the entry saturates.
  D3DGAMMARAMP ramp{};
  for (int i = 0; i < 256; ++i) {
    ramp.red[i] = ramp.blue[i] = static_cast<WORD>(std::clamp(8000 + i * 256, 0, 65535));
    ramp.green[i] = static_cast<WORD>(i * 256);
  }
  device_->SetGammaRamp(0, D3DSGR_CALIBRATE, &ramp);
  clearToEveryLevel(device_);
  const std::vector<D3DCOLOR> levels = presentedLevels(device_);
  ASSERT_EQ(levels.size(), 256u);
  for (DWORD i = 0; i < 256; ++i) {
    const DWORD raised = ramp.red[i] >> 8;
    ASSERT_EQ(levels[i], D3DCOLOR_XRGB(raised, 255 - i, raised) & 0xFFFFFF) << "level " << i;
  }
  EXPECT_EQ(levels[255] >> 16, 255u);
}

// A device whose back buffer has no alpha channel, which the window can hold.
class WindowFormatPixels : public GLDeviceFixture {
 protected:
  void SetUp() override {
    GLDeviceFixture::SetUp();
    if (HasFatalFailure()) return;
    safeRelease(device_);
    D3DPRESENT_PARAMETERS p = windowedPresentParameters(window_, kSize, kSize, D3DFMT_X8R8G8B8);
    ASSERT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, window_, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &device_),
              D3D_OK);
  }

  // Sets `ramp` and, over two frames, expects the back buffer to keep the frame as drawn and
  // every presented level to come out as the high byte of its ramp entry.
  void expectEveryLevelThroughTheRamp(const D3DGAMMARAMP& ramp, const std::string& label) {
    device_->SetGammaRamp(0, D3DSGR_CALIBRATE, &ramp);
    for (int frame = 0; frame < 2; ++frame) {
      clearToEveryLevel(device_);
      EXPECT_EQ(pixel(5, 5) & 0xFFFFFF, D3DCOLOR_XRGB(17, 238, 17) & 0xFFFFFF) << "the back buffer before the ramp";
      const std::vector<D3DCOLOR> levels = presentedLevels(device_);
      ASSERT_EQ(levels.size(), 256u);
      for (DWORD i = 0; i < 256; ++i)
        ASSERT_EQ(levels[i], D3DCOLOR_XRGB(ramp.red[i] >> 8, ramp.green[255 - i] >> 8, ramp.blue[i] >> 8) & 0xFFFFFF)
            << "level " << i << " " << label << " frame " << frame;
    }
  }
};

TEST_F(WindowFormatPixels, FrameDrawnStraightIntoTheWindowReadsBackAndPresentsUpright) {
  // A back buffer without alpha, shown through the identity ramp, is drawn in the window.
  for (int frame = 0; frame < 2; ++frame) {
    clearToEveryLevel(device_);
    const D3DRECT top{0, 0, kSize, 2};
    device_->Clear(1, &top, D3DCLEAR_TARGET, D3DCOLOR_XRGB(255, 255, 255), 1.0f, 0);
    EXPECT_EQ(pixel(5, 0) & 0xFFFFFF, 0xFFFFFFu) << "the top rows, read back";
    EXPECT_EQ(pixel(5, 5) & 0xFFFFFF, D3DCOLOR_XRGB(17, 238, 17) & 0xFFFFFF);
    const std::vector<D3DCOLOR> levels = presentedLevels(device_);
    ASSERT_EQ(levels.size(), 256u);
    EXPECT_EQ(levels[0], 0xFFFFFFu) << "frame " << frame;
    for (DWORD i = 16; i < 256; ++i) ASSERT_EQ(levels[i], D3DCOLOR_XRGB(i, 255 - i, i) & 0xFFFFFF) << "level " << i;
  }
}

TEST_F(WindowFormatPixels, BrightnessRampsMoveEveryLevelByTheirStepWithoutTheLookUp) {
  // The brightness setting's ramps (Gamma * 200 + i * 256) raise or lower every level by one
  // step, clamped; one colour may go up while another goes down. Each level must come out
  // as the high byte of its entry, as through the look-up.
  struct Steps {
    int red, green, blue;
  };
  for (const Steps& gamma : {Steps{35, 35, 35}, Steps{-35, -35, -35}, Steps{100, 0, -100}, Steps{0, 0, 0}}) {
    D3DGAMMARAMP ramp{};
    for (int i = 0; i < 256; ++i) {
      ramp.red[i] = static_cast<WORD>(std::clamp(gamma.red * 200 + i * 256, 0, 65535));
      ramp.green[i] = static_cast<WORD>(std::clamp(gamma.green * 200 + i * 256, 0, 65535));
      ramp.blue[i] = static_cast<WORD>(std::clamp(gamma.blue * 200 + i * 256, 0, 65535));
    }
    expectEveryLevelThroughTheRamp(ramp, "step " + std::to_string(gamma.red));
  }
}

TEST_F(WindowFormatPixels, FlashRampsShowEveryLevelAsTheLookUpDoes) {
  // A lightning flash scales and raises every level at once (no single step), and a ramp may
  // treat the colours differently; each level must still come out as the high byte of its
  // entry, the back buffer keeping the frame as drawn, in every frame the ramp stays.
  for (const float strength : {0.4f, 1.0f}) {
    D3DGAMMARAMP ramp{};
    for (int i = 0; i < 256; ++i) {
      const float v = strength * 32768.0f + float(i) * (strength * 256.0f + 256.0f);
      ramp.red[i] = ramp.blue[i] = static_cast<WORD>(std::min(v, 65535.0f));
      ramp.green[i] = static_cast<WORD>(255 - i) * 256;
    }
    expectEveryLevelThroughTheRamp(ramp, "strength " + std::to_string(strength));
  }
  auto* gl = dynamic_cast<GLDevice*>(device_);
  ASSERT_NE(gl, nullptr);
  if (epoxy_has_gl_extension("GL_EXT_shader_framebuffer_fetch")) {
    EXPECT_FALSE(gl->holdsOffscreenTarget()) << "every frame went to the window, no offscreen target was made";
  }
  // Back to the identity, the next frame shows its levels untouched.
  D3DGAMMARAMP identity{};
  for (int i = 0; i < 256; ++i) identity.red[i] = identity.green[i] = identity.blue[i] = static_cast<WORD>(i * 257);
  device_->SetGammaRamp(0, D3DSGR_CALIBRATE, &identity);
  clearToEveryLevel(device_);
  const std::vector<D3DCOLOR> levels = presentedLevels(device_);
  ASSERT_EQ(levels.size(), 256u);
  for (DWORD i = 0; i < 256; ++i) ASSERT_EQ(levels[i], D3DCOLOR_XRGB(i, 255 - i, i) & 0xFFFFFF) << "level " << i;
}

TEST_F(GLDeviceFixture, CullModesFollowTheWindingSeenOnScreen) {
  struct V {
    float x, y, z, rhw;
    D3DCOLOR c;
  };
  // Clockwise on screen (y grows downwards).
  const V clockwise[3] = {{8, 8, 0.5f, 1, 0xFFFF0000}, {56, 8, 0.5f, 1, 0xFFFF0000}, {8, 56, 0.5f, 1, 0xFFFF0000}};
  device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
  device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
  device_->SetRenderState(D3DRS_ZENABLE, FALSE);
  for (auto [mode, drawn] : {std::pair{D3DCULL_CCW, true}, {D3DCULL_CW, false}, {D3DCULL_NONE, true}}) {
    device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
    device_->SetRenderState(D3DRS_CULLMODE, mode);
    device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, clockwise, sizeof(V));
    EXPECT_EQ((pixel(16, 16) & 0xFFFFFF) == 0xFF0000u, drawn) << "cull mode " << mode;
  }
}

TEST_F(GLDeviceFixture, ScissorTestKeepsDrawsAndClearsInsideTheRectangleWithRowsFromTheTop) {
  struct V {
    float x, y, z, rhw;
    D3DCOLOR c;
  };
  const float s = static_cast<float>(kSize);
  const V red[4] = {{0, 0, 0.5f, 1, 0xFFFF0000},
                    {s, 0, 0.5f, 1, 0xFFFF0000},
                    {0, s, 0.5f, 1, 0xFFFF0000},
                    {s, s, 0.5f, 1, 0xFFFF0000}};
  device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
  device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
  device_->SetRenderState(D3DRS_ZENABLE, FALSE);
  device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
  const RECT inside{16, 8, 48, 24};
  ASSERT_EQ(device_->SetScissorRect(&inside), D3D_OK);
  device_->SetRenderState(D3DRS_SCISSORTESTENABLE, TRUE);
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, red, sizeof(V)), D3D_OK);
  const auto rgb = [&](UINT x, UINT y) { return pixel(x, y) & 0xFFFFFF; };
  EXPECT_EQ(rgb(16, 8), 0xFF0000u);
  EXPECT_EQ(rgb(47, 23), 0xFF0000u);
  for (auto [x, y] : {std::pair{15u, 8u}, {48u, 23u}, {16u, 7u}, {47u, 24u}, {4u, 60u}})
    EXPECT_EQ(rgb(x, y), 0u) << "outside at " << x << "," << y;

  // A clear keeps to the rectangle as well; with the test off both cover everything again.
  device_->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_XRGB(0, 255, 0), 1.0f, 0);
  EXPECT_EQ(rgb(20, 10), 0x00FF00u);
  EXPECT_EQ(rgb(4, 4), 0u);
  device_->SetRenderState(D3DRS_SCISSORTESTENABLE, FALSE);
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, red, sizeof(V)), D3D_OK);
  EXPECT_EQ(rgb(4, 60), 0xFF0000u);
  EXPECT_EQ(rgb(20, 10), 0xFF0000u);
}

TEST_F(GLDeviceFixture, TextureRowsAndScreenRowsRunTopDown) {
  IDirect3DTexture9* t = quadrantTexture();
  ASSERT_NE(t, nullptr);
  device_->SetTexture(0, t);
  device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
  drawScreenQuad(device_, kSize, kSize);
  EXPECT_EQ(pixel(4, 4) & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(pixel(kSize - 4, 4) & 0xFFFFFF, 0x00FF00u);
  EXPECT_EQ(pixel(4, kSize - 4) & 0xFFFFFF, 0x0000FFu);
  t->Release();
}

}  // namespace
