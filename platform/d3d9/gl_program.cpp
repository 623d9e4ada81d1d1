#include "platform/d3d9/gl_device.h"

#include <algorithm>
#include <cmath>

#include "platform/d3d9/gl_enums.h"

namespace {

// Normals go through the inverse of the world-view matrix's rotation and scale (the shader's
// column vectors see the device's row-vector matrix transposed, which makes this the familiar
// inverse transpose). Computed once a draw instead of once a vertex; a matrix that flattens
// space keeps its adjugate, which still points the normals the right way.
struct NormalMatrix {
  float m[9];
};

NormalMatrix normalMatrixOf(const D3DMATRIX& t) {
  auto a = [&](int r, int c) { return t.m[r][c]; };
  NormalMatrix adj{};
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) {
      const int r1 = (c + 1) % 3, r2 = (c + 2) % 3, c1 = (r + 1) % 3, c2 = (r + 2) % 3;
      adj.m[r * 3 + c] = a(r1, c1) * a(r2, c2) - a(r1, c2) * a(r2, c1);
    }
  const float det = a(0, 0) * adj.m[0] + a(0, 1) * adj.m[3] + a(0, 2) * adj.m[6];
  if (det != 0.0f)
    for (float& v : adj.m) v /= det;
  return adj;
}

D3DMATRIX multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
  D3DMATRIX r{};
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      float s = 0;
      for (int k = 0; k < 4; ++k) s += a.m[i][k] * b.m[k][j];
      r.m[i][j] = s;
    }
  return r;
}

}  // namespace

GLDevice::Program* GLDevice::programFor(const FixedFunctionKey& key) {
  ++lookups_;
  auto it = programs_.find(key);
  if (it != programs_.end()) return it->second.id ? &it->second : nullptr;
  return makeProgram(key);
}

std::vector<FixedFunctionKey> GLDevice::litVariantsOf(const FixedFunctionKey& key, const bool bound[kMaxTextureStages],
                                                      const D3DLIGHTTYPE* lights, unsigned lightCount) const {
  // The factors a program may have left out because they were black: the texture factor and
  // each stage's constant. Every mix of them lit gives a variant.
  DeviceState lit = state_;
  std::vector<DWORD*> black;
  if ((lit.renderStates[D3DRS_TEXTUREFACTOR] & 0x00FFFFFF) == 0)
    black.push_back(&lit.renderStates[D3DRS_TEXTUREFACTOR]);
  for (UINT s = 0; s < kMaxTextureStages && key.stages[s].colorOp != D3DTOP_DISABLE && key.stages[s].colorOp != 0; ++s)
    if ((lit.stageStates[s][D3DTSS_CONSTANT] & 0x00FFFFFF) == 0) black.push_back(&lit.stageStates[s][D3DTSS_CONSTANT]);
  std::vector<FixedFunctionKey> variants;
  const size_t mixes = black.size() < 4 ? size_t{1} << black.size() : 16;
  for (size_t mix = 1; mix < mixes; ++mix) {
    for (size_t i = 0; i < black.size(); ++i)
      *black[i] = (mix >> i & 1) ? (*black[i] | 0x00010101u) : (*black[i] & 0xFF000000u);
    const FixedFunctionKey variant = buildFixedFunctionKey(lit, keyFvf_, bound, lights, lightCount);
    if (variant == key || std::find(variants.begin(), variants.end(), variant) != variants.end()) continue;
    variants.push_back(variant);
  }
  return variants;
}

void GLDevice::warmVariants(const std::function<void()>& draw) {
  // A draw that covers no pixel still has the driver build the code of a program for the state
  // at hand, which is what takes the time: the variants a flash or the lamp's flicker switch
  // to are made with the first draw of their material, not in the middle of a tour.
  std::vector<FixedFunctionKey> variants;
  variants.swap(pendingVariants_);
  glEnable(GL_SCISSOR_TEST);
  glScissor(0, 0, 0, 0);
  for (const FixedFunctionKey& key : variants) {
    const auto made = programs_.find(key);
    if (const Program* variant = made != programs_.end() ? (made->second.id ? &made->second : nullptr)
                                                         : makeProgram(key)) {
      glUseProgram(variant->id);
      draw();
    }
  }
  glDisable(GL_SCISSOR_TEST);
  // The next draw sets its own scissor again.
  renderDirty_ = true;
  glUseProgram(current_ ? current_->id : 0);
}

GLDevice::Program* GLDevice::makeProgram(const FixedFunctionKey& key) {
  const GeneratedShaders source = generateFixedFunctionShaders(key);
  Program p{};
  p.id = linkProgram(source.vertex, source.fragment);
  if (p.id) {
    auto loc = [&](const char* name) { return glGetUniformLocation(p.id, name); };
    p.worldView = loc("uWorldView");
    p.projection = loc("uProjection");
    p.screen = loc("uScreen");
    p.pixelOffset = loc("uPixelOffset");
    p.texMatrix = loc("uTexMatrix");
    p.normalMatrix = loc("uNormalMatrix");
    p.matDiffuse = loc("uMatDiffuse");
    p.matAmbient = loc("uMatAmbient");
    p.matSpecular = loc("uMatSpecular");
    p.matEmissive = loc("uMatEmissive");
    p.matPower = loc("uMatPower");
    p.globalAmbient = loc("uGlobalAmbient");
    p.lightDiffuse = loc("uLightDiffuse");
    p.lightSpecular = loc("uLightSpecular");
    p.lightAmbient = loc("uLightAmbient");
    p.lightPosition = loc("uLightPosition");
    p.lightDirection = loc("uLightDirection");
    p.lightAttenuation = loc("uLightAttenuation");
    p.lightSpot = loc("uLightSpot");
    p.lightRange = loc("uLightRange");
    p.tfactor = loc("uTFactor");
    p.constant = loc("uConstant");
    p.alphaRef = loc("uAlphaRef");
    p.fogColor = loc("uFogColor");
    p.fogStart = loc("uFogStart");
    p.fogEnd = loc("uFogEnd");
    p.fogDensity = loc("uFogDensity");
    for (UINT s = 0; s < kMaxTextureStages; ++s) p.samplers[s] = loc(("uSampler" + std::to_string(s)).c_str());
    glUseProgram(p.id);
    for (UINT s = 0; s < kMaxTextureStages; ++s)
      if (p.samplers[s] >= 0) glUniform1i(p.samplers[s], static_cast<GLint>(s));
  }
  // A program that failed to build is remembered too, so it is not rebuilt every draw.
  auto [placed, inserted] = programs_.emplace(key, p);
  (void)inserted;
  return placed->second.id ? &placed->second : nullptr;
}

void GLDevice::uploadUniforms(Program& p) {
  const auto due = [&](UniformGroup group) {
    if (p.sent[group] == groupStamps_[group]) return false;
    p.sent[group] = groupStamps_[group];
    return true;
  };
  const auto& rs = state_.renderStates;
  const D3DMATRIX& view = state_.transforms[D3DTS_VIEW];
  if (due(kWorldViewValues)) {
    const D3DMATRIX worldView = multiply(state_.transforms[D3DTS_WORLD], view);
    glUniformMatrix4fv(p.worldView, 1, GL_FALSE, &worldView.m[0][0]);
    if (p.normalMatrix >= 0) {
      const NormalMatrix n = normalMatrixOf(worldView);
      glUniformMatrix3fv(p.normalMatrix, 1, GL_TRUE, n.m);
    }
  }
  if (due(kProjectionValues))
    glUniformMatrix4fv(p.projection, 1, GL_FALSE, &state_.transforms[D3DTS_PROJECTION].m[0][0]);
  if (due(kViewportValues)) {
    const D3DVIEWPORT9& vp = state_.viewport;
    glUniform4f(p.screen, static_cast<float>(vp.X), static_cast<float>(vp.Y), static_cast<float>(vp.Width),
                static_cast<float>(vp.Height));
    glUniform2f(p.pixelOffset, 1.0f / static_cast<float>(vp.Width), 1.0f / static_cast<float>(vp.Height));
  }
  if (due(kTextureMatrixValues) && p.texMatrix >= 0)
    glUniformMatrix4fv(p.texMatrix, kMaxTextureStages, GL_FALSE, &state_.transforms[D3DTS_TEXTURE0].m[0][0]);
  if (due(kMaterialValues)) {
    const D3DMATERIAL9& m = state_.material;
    glUniform4f(p.matDiffuse, m.Diffuse.r, m.Diffuse.g, m.Diffuse.b, m.Diffuse.a);
    glUniform4f(p.matAmbient, m.Ambient.r, m.Ambient.g, m.Ambient.b, m.Ambient.a);
    glUniform4f(p.matSpecular, m.Specular.r, m.Specular.g, m.Specular.b, m.Specular.a);
    glUniform4f(p.matEmissive, m.Emissive.r, m.Emissive.g, m.Emissive.b, m.Emissive.a);
    glUniform1f(p.matPower, m.Power);
  }
  if (due(kLightValues) && p.lightDiffuse >= 0) uploadLights(p, view);
  float c[4];
  if (due(kRenderStateValues)) {
    colourToFloats(rs[D3DRS_AMBIENT], c);
    glUniform4fv(p.globalAmbient, 1, c);
    colourToFloats(rs[D3DRS_TEXTUREFACTOR], c);
    glUniform4fv(p.tfactor, 1, c);
    glUniform1f(p.alphaRef, static_cast<float>(rs[D3DRS_ALPHAREF] & 0xFF));
    colourToFloats(rs[D3DRS_FOGCOLOR], c);
    glUniform4fv(p.fogColor, 1, c);
    glUniform1f(p.fogStart, dwordToFloat(rs[D3DRS_FOGSTART]));
    glUniform1f(p.fogEnd, dwordToFloat(rs[D3DRS_FOGEND]));
    glUniform1f(p.fogDensity, dwordToFloat(rs[D3DRS_FOGDENSITY]));
  }
  if (due(kStageConstantValues) && p.constant >= 0) {
    float constants[32];
    for (UINT s = 0; s < kMaxTextureStages; ++s)
      colourToFloats(state_.stageStates[s][D3DTSS_CONSTANT], constants + s * 4);
    glUniform4fv(p.constant, 8, constants);
  }
  p.uploadedStamp = uniformStamp_;
}

void GLDevice::uploadLights(Program& p, const D3DMATRIX& view) {
  float diffuse[32] = {}, specular[32] = {}, ambient[32] = {}, position[24] = {}, direction[24] = {}, att[24] = {},
        spot[24] = {}, range[8] = {};
  UINT n = 0;
  for (const auto& [index, enabled] : state_.lightEnabled) {
    if (!enabled || n >= kMaxActiveLights) continue;
    const D3DLIGHT9& l = state_.lights.at(index);
    auto put4 = [&](float* a, const D3DCOLORVALUE& v) {
      a[n * 4] = v.r;
      a[n * 4 + 1] = v.g;
      a[n * 4 + 2] = v.b;
      a[n * 4 + 3] = v.a;
    };
    put4(diffuse, l.Diffuse);
    put4(specular, l.Specular);
    put4(ambient, l.Ambient);
    // Lights are given in world space; lighting is done in view space.
    const D3DVECTOR& P = l.Position;
    for (int j = 0; j < 3; ++j)
      position[n * 3 + j] = P.x * view.m[0][j] + P.y * view.m[1][j] + P.z * view.m[2][j] + view.m[3][j];
    float d[3];
    for (int j = 0; j < 3; ++j)
      d[j] = l.Direction.x * view.m[0][j] + l.Direction.y * view.m[1][j] + l.Direction.z * view.m[2][j];
    const float len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    for (int j = 0; j < 3; ++j) direction[n * 3 + j] = len > 0 ? d[j] / len : 0.0f;
    att[n * 3] = l.Attenuation0;
    att[n * 3 + 1] = l.Attenuation1;
    att[n * 3 + 2] = l.Attenuation2;
    spot[n * 3] = std::cos(l.Theta * 0.5f);
    spot[n * 3 + 1] = std::cos(l.Phi * 0.5f);
    spot[n * 3 + 2] = l.Falloff;
    range[n] = l.Range;
    ++n;
  }
  glUniform4fv(p.lightDiffuse, 8, diffuse);
  glUniform4fv(p.lightSpecular, 8, specular);
  glUniform4fv(p.lightAmbient, 8, ambient);
  glUniform3fv(p.lightPosition, 8, position);
  glUniform3fv(p.lightDirection, 8, direction);
  glUniform3fv(p.lightAttenuation, 8, att);
  glUniform3fv(p.lightSpot, 8, spot);
  glUniform1fv(p.lightRange, 8, range);
}
