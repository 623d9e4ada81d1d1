#include "platform/d3d9/gl_device.h"

#include <algorithm>
#include <cstring>

#include "platform/d3d9/gl_enums.h"

GLDevice::GLDevice(IDirect3D9* direct3d, const D3DPRESENT_PARAMETERS& params, const D3DCAPS9& caps,
                   std::shared_ptr<GLContextHolder> context)
    : BaseDevice(direct3d, params, caps), context_(std::move(context)) {
  if (!createPresentPass()) return;
  glGenVertexArrays(1, &vao_);
  glGenBuffers(1, &upVertexBuffer_);
  glGenBuffers(1, &upIndexBuffer_);
  glGenSamplers(kMaxTextureStages, samplers_);
  windowHoldsFrames_ = windowHasDepthAndStencil();
  // The extension list is long and searched by string: once per device is enough.
  anisotropic_ = epoxy_has_gl_extension("GL_EXT_texture_filter_anisotropic") ||
                 epoxy_has_gl_extension("GL_ARB_texture_filter_anisotropic");
  if (anisotropic_) glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &maxAnisotropy_);
  maxAnisotropy_ = std::max(1.0f, maxAnisotropy_);
  applyWindowMode();
  valid_ = createTargets();
}

GLDevice::~GLDevice() {
  context_->use();
  // Bound resources are released by the base class; GL objects of the device go here.
  for (auto& [key, program] : programs_) glDeleteProgram(program.id);
  destroyTargets();
  destroyPresentPass();
  glDeleteVertexArrays(1, &vao_);
  glDeleteBuffers(1, &upVertexBuffer_);
  glDeleteBuffers(1, &upIndexBuffer_);
  glDeleteSamplers(kMaxTextureStages, samplers_);
}

void GLDevice::stateChanged(Changed what, UINT index) {
  switch (what) {
    case Changed::RenderState:
      renderDirty_ = true;
      switch (index) {
        case D3DRS_LIGHTING:
        case D3DRS_LOCALVIEWER:
        case D3DRS_NORMALIZENORMALS:
        case D3DRS_COLORVERTEX:
        case D3DRS_DIFFUSEMATERIALSOURCE:
        case D3DRS_AMBIENTMATERIALSOURCE:
        case D3DRS_SPECULARMATERIALSOURCE:
        case D3DRS_EMISSIVEMATERIALSOURCE:
        case D3DRS_SPECULARENABLE:
        case D3DRS_FOGENABLE:
        case D3DRS_FOGTABLEMODE:
        case D3DRS_FOGVERTEXMODE:
        case D3DRS_RANGEFOGENABLE:
        case D3DRS_ALPHATESTENABLE:
        case D3DRS_ALPHAFUNC: keyDirty_ = true; break;
        case D3DRS_TEXTUREFACTOR:
          // A black factor leaves the texture it scales out of the program.
          keyDirty_ = true;
          uniformsChanged(kRenderStateValues);
          break;
        case D3DRS_AMBIENT:
        case D3DRS_ALPHAREF:
        case D3DRS_FOGCOLOR:
        case D3DRS_FOGSTART:
        case D3DRS_FOGEND:
        case D3DRS_FOGDENSITY: uniformsChanged(kRenderStateValues); break;
        default: break;
      }
      break;
    case Changed::StageState:
      keyDirty_ = true;
      uniformsChanged(kStageConstantValues);
      break;
    case Changed::Texture:
      keyDirty_ = true;
      texturesDirty_ = true;
      break;
    case Changed::SamplerState: samplersDirty_ = true; break;
    case Changed::Light:
      keyDirty_ = true;
      uniformsChanged(kLightValues);
      break;
    case Changed::Vertices: keyDirty_ = true; break;
    case Changed::Gamma: rampChanged(); break;
    case Changed::Viewport:
      renderDirty_ = true;
      uniformsChanged(kViewportValues);
      break;
    case Changed::Scissor: renderDirty_ = true; break;
    case Changed::Transform:
      if (index == D3DTS_WORLD) {
        uniformsChanged(kWorldViewValues);
      } else if (index == D3DTS_VIEW) {
        // Lights are given in world space and lit in view space.
        uniformsChanged(kWorldViewValues);
        uniformsChanged(kLightValues);
      } else if (index == D3DTS_PROJECTION) {
        uniformsChanged(kProjectionValues);
      } else {
        uniformsChanged(kTextureMatrixValues);
      }
      break;
    case Changed::Material: uniformsChanged(kMaterialValues); break;
  }
}

HRESULT GLDevice::GetDisplayMode(UINT, D3DDISPLAYMODE* mode) {
  if (!mode) return D3DERR_INVALIDCALL;
  SDL_DisplayMode m{};
  const int display = std::max(0, SDL_GetWindowDisplayIndex(context_->window));
  if (SDL_GetCurrentDisplayMode(display, &m) != 0) return D3DERR_NOTAVAILABLE;
  *mode = D3DDISPLAYMODE{static_cast<UINT>(m.w), static_cast<UINT>(m.h),
                         m.refresh_rate > 0 ? static_cast<UINT>(m.refresh_rate) : 60u, D3DFMT_X8R8G8B8};
  return D3D_OK;
}

HRESULT GLDevice::Reset(D3DPRESENT_PARAMETERS* params) {
  context_->use();
  if (!params) return D3DERR_INVALIDCALL;
  if (const HRESULT hr = resetAllowed(); hr != D3D_OK) return hr;
  D3DPRESENT_PARAMETERS used = *params;
  if (used.Windowed && (used.BackBufferWidth == 0 || used.BackBufferHeight == 0)) {
    int w = 0, h = 0;
    SDL_GL_GetDrawableSize(context_->window, &w, &h);
    if (used.BackBufferWidth == 0) used.BackBufferWidth = static_cast<UINT>(std::max(1, w));
    if (used.BackBufferHeight == 0) used.BackBufferHeight = static_cast<UINT>(std::max(1, h));
  }
  if (used.BackBufferFormat == D3DFMT_UNKNOWN) used.BackBufferFormat = D3DFMT_X8R8G8B8;
  if (used.BackBufferWidth > 16384 || used.BackBufferHeight > 16384) return D3DERR_INVALIDCALL;
  *params = used;
  destroyTargets();
  resetState(used);
  applyWindowMode();
  if (!createTargets()) return D3DERR_NOTAVAILABLE;
  windowTakesCopies_ = true;
  keyDirty_ = renderDirty_ = texturesDirty_ = samplersDirty_ = true;
  forgetBindings();
  for (int group = 0; group < kUniformGroups; ++group) uniformsChanged(static_cast<UniformGroup>(group));
  return D3D_OK;
}

HRESULT GLDevice::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                IDirect3DTexture9** texture, HANDLE*) {
  if (!texture) return D3DERR_INVALIDCALL;
  *texture = nullptr;
  if (width > caps_.MaxTextureWidth || height > caps_.MaxTextureHeight) return D3DERR_INVALIDCALL;
  auto* made = new GLTexture(this, context_, width, height, levels, usage, format, pool);
  if (!made->valid()) {
    made->Release();
    return D3DERR_INVALIDCALL;
  }
  *texture = made;
  return D3D_OK;
}

HRESULT GLDevice::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool, IDirect3DVertexBuffer9** buffer,
                                     HANDLE*) {
  if (!buffer) return D3DERR_INVALIDCALL;
  *buffer = nullptr;
  if (length == 0 || length > (1u << 28)) return D3DERR_INVALIDCALL;
  *buffer = new GLVertexBuffer(this, context_, length, usage, fvf, pool);
  return D3D_OK;
}

HRESULT GLDevice::CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                    IDirect3DIndexBuffer9** buffer, HANDLE*) {
  if (!buffer) return D3DERR_INVALIDCALL;
  *buffer = nullptr;
  if (length == 0 || length > (1u << 28) || (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32))
    return D3DERR_INVALIDCALL;
  *buffer = new GLIndexBuffer(this, context_, length, usage, format, pool);
  return D3D_OK;
}

HRESULT GLDevice::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR colour, float z, DWORD stencil) {
  context_->use();
  if (loss() != Loss::None) return D3D_OK;
  if ((count > 0 && !rects) || flags == 0) return D3DERR_INVALIDCALL;
  glBindFramebuffer(GL_FRAMEBUFFER, frameTarget());
  GLbitfield mask = 0;
  if (flags & D3DCLEAR_TARGET) {
    float c[4];
    colourToFloats(colour, c);
    if (!formatHasAlphaChannel(params_.BackBufferFormat)) c[3] = 1.0f;
    glClearColor(c[0], c[1], c[2], c[3]);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    mask |= GL_COLOR_BUFFER_BIT;
  }
  if (flags & D3DCLEAR_ZBUFFER) {
    glClearDepth(std::clamp(z, 0.0f, 1.0f));
    glDepthMask(GL_TRUE);
    mask |= GL_DEPTH_BUFFER_BIT;
  }
  if (flags & D3DCLEAR_STENCIL) {
    glClearStencil(static_cast<GLint>(stencil & 0xFF));
    glStencilMask(0xFF);
    mask |= GL_STENCIL_BUFFER_BIT;
  }
  // Clearing covers the viewport (or the given rectangles inside it), and no more than the
  // scissor rectangle while its test is on, as on the device.
  const D3DVIEWPORT9& vp = state_.viewport;
  RECT bounds{static_cast<LONG>(vp.X), static_cast<LONG>(vp.Y), static_cast<LONG>(vp.X + vp.Width),
              static_cast<LONG>(vp.Y + vp.Height)};
  if (state_.renderStates[D3DRS_SCISSORTESTENABLE]) bounds = intersection(bounds, state_.scissor);
  glEnable(GL_SCISSOR_TEST);
  auto clearRect = [&](LONG x1, LONG y1, LONG x2, LONG y2) {
    x1 = std::max<LONG>(x1, bounds.left);
    y1 = std::max<LONG>(y1, bounds.top);
    x2 = std::min<LONG>(x2, bounds.right);
    y2 = std::min<LONG>(y2, bounds.bottom);
    if (x2 <= x1 || y2 <= y1) return;
    // GL counts rows from the bottom.
    glScissor(x1, static_cast<GLint>(params_.BackBufferHeight) - y2, x2 - x1, y2 - y1);
    glClear(mask);
  };
  if (count == 0) {
    clearRect(static_cast<LONG>(vp.X), static_cast<LONG>(vp.Y), static_cast<LONG>(vp.X + vp.Width),
              static_cast<LONG>(vp.Y + vp.Height));
  } else {
    for (DWORD i = 0; i < count; ++i) clearRect(rects[i].x1, rects[i].y1, rects[i].x2, rects[i].y2);
  }
  glDisable(GL_SCISSOR_TEST);
  renderDirty_ = true;
  return D3D_OK;
}

void GLDevice::applyRenderStates() {
  const auto& rs = state_.renderStates;
  const D3DVIEWPORT9& vp = state_.viewport;
  glBindFramebuffer(GL_FRAMEBUFFER, frameTarget());
  // GL counts rows from the bottom, the device from the top.
  glViewport(static_cast<GLint>(vp.X),
             static_cast<GLint>(params_.BackBufferHeight) - static_cast<GLint>(vp.Y + vp.Height),
             static_cast<GLsizei>(vp.Width), static_cast<GLsizei>(vp.Height));
  glDepthRange(vp.MinZ, vp.MaxZ);
  if (rs[D3DRS_ZENABLE] != D3DZB_FALSE) {
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(glValueOf(kGLCompareFunctions, rs[D3DRS_ZFUNC]));
  } else {
    glDisable(GL_DEPTH_TEST);
  }
  glDepthMask(rs[D3DRS_ZWRITEENABLE] ? GL_TRUE : GL_FALSE);
  // Culling is decided by the winding as seen on screen, which GL's upward rows keep.
  switch (rs[D3DRS_CULLMODE]) {
    case D3DCULL_CW:
      glEnable(GL_CULL_FACE);
      glFrontFace(GL_CCW);
      glCullFace(GL_BACK);
      break;
    case D3DCULL_CCW:
      glEnable(GL_CULL_FACE);
      glFrontFace(GL_CCW);
      glCullFace(GL_FRONT);
      break;
    default: glDisable(GL_CULL_FACE); break;
  }
  glPolygonMode(GL_FRONT_AND_BACK, glValueOf(kGLFillModes, rs[D3DRS_FILLMODE]));
  if (rs[D3DRS_SCISSORTESTENABLE]) {
    const RECT r = intersection(state_.scissor, RECT{0, 0, static_cast<LONG>(params_.BackBufferWidth),
                                                     static_cast<LONG>(params_.BackBufferHeight)});
    glEnable(GL_SCISSOR_TEST);
    glScissor(r.left, static_cast<GLint>(params_.BackBufferHeight) - r.bottom, r.right - r.left, r.bottom - r.top);
  } else {
    glDisable(GL_SCISSOR_TEST);
  }
  if (rs[D3DRS_ALPHABLENDENABLE]) {
    glEnable(GL_BLEND);
    // The two "both" factors name the source's and the destination's at once.
    GLenum src = GL_SRC_ALPHA, dst = GL_ONE_MINUS_SRC_ALPHA;
    if (rs[D3DRS_SRCBLEND] == D3DBLEND_BOTHINVSRCALPHA) {
      src = GL_ONE_MINUS_SRC_ALPHA;
      dst = GL_SRC_ALPHA;
    } else if (rs[D3DRS_SRCBLEND] != D3DBLEND_BOTHSRCALPHA) {
      src = glValueOf(kGLBlendFactors, rs[D3DRS_SRCBLEND]);
      dst = glValueOf(kGLBlendFactors, rs[D3DRS_DESTBLEND]);
    }
    if (rs[D3DRS_SEPARATEALPHABLENDENABLE]) {
      glBlendFuncSeparate(src, dst, glValueOf(kGLBlendFactors, rs[D3DRS_SRCBLENDALPHA]),
                          glValueOf(kGLBlendFactors, rs[D3DRS_DESTBLENDALPHA]));
      glBlendEquationSeparate(glValueOf(kGLBlendOps, rs[D3DRS_BLENDOP]),
                              glValueOf(kGLBlendOps, rs[D3DRS_BLENDOPALPHA]));
    } else {
      glBlendFunc(src, dst);
      glBlendEquation(glValueOf(kGLBlendOps, rs[D3DRS_BLENDOP]));
    }
    float f[4];
    colourToFloats(rs[D3DRS_BLENDFACTOR], f);
    glBlendColor(f[0], f[1], f[2], f[3]);
  } else {
    glDisable(GL_BLEND);
  }
  const DWORD writes = rs[D3DRS_COLORWRITEENABLE];
  glColorMask((writes & 1) != 0, (writes & 2) != 0, (writes & 4) != 0,
              (writes & 8) != 0 && formatHasAlphaChannel(params_.BackBufferFormat));
  if (rs[D3DRS_STENCILENABLE]) {
    glEnable(GL_STENCIL_TEST);
    glStencilFunc(glValueOf(kGLCompareFunctions, rs[D3DRS_STENCILFUNC]),
                  static_cast<GLint>(rs[D3DRS_STENCILREF] & 0xFF), rs[D3DRS_STENCILMASK]);
    glStencilOp(glValueOf(kGLStencilOps, rs[D3DRS_STENCILFAIL]), glValueOf(kGLStencilOps, rs[D3DRS_STENCILZFAIL]),
                glValueOf(kGLStencilOps, rs[D3DRS_STENCILPASS]));
    glStencilMask(rs[D3DRS_STENCILWRITEMASK]);
  } else {
    glDisable(GL_STENCIL_TEST);
  }
  const float bias = dwordToFloat(rs[D3DRS_DEPTHBIAS]), slope = dwordToFloat(rs[D3DRS_SLOPESCALEDEPTHBIAS]);
  if (bias != 0.0f || slope != 0.0f) {
    glEnable(GL_POLYGON_OFFSET_FILL);
    glPolygonOffset(slope, bias * 16777215.0f);
  } else {
    glDisable(GL_POLYGON_OFFSET_FILL);
  }
  renderDirty_ = false;
}

GLDevice::SamplerParams GLDevice::samplerParamsFor(UINT stage, bool mips) const {
  const auto& ss = state_.samplerStates[stage];
  SamplerParams p;
  p.wrapS = static_cast<GLint>(glValueOf(kGLAddressModes, ss[D3DSAMP_ADDRESSU]));
  p.wrapT = static_cast<GLint>(glValueOf(kGLAddressModes, ss[D3DSAMP_ADDRESSV]));
  const bool minLinear = ss[D3DSAMP_MINFILTER] >= D3DTEXF_LINEAR;
  const DWORD mip = mips ? ss[D3DSAMP_MIPFILTER] : D3DTEXF_NONE;
  p.minFilter = minLinear ? GL_LINEAR : GL_NEAREST;
  if (mip == D3DTEXF_POINT) p.minFilter = minLinear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
  else if (mip >= D3DTEXF_LINEAR)
    p.minFilter = minLinear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
  p.magFilter = ss[D3DSAMP_MAGFILTER] >= D3DTEXF_LINEAR ? GL_LINEAR : GL_NEAREST;
  p.lodBias = dwordToFloat(ss[D3DSAMP_MIPMAPLODBIAS]);
  p.minLod = static_cast<float>(ss[D3DSAMP_MAXMIPLEVEL]);
  p.border = ss[D3DSAMP_BORDERCOLOR];
  p.anisotropy = ss[D3DSAMP_MINFILTER] == D3DTEXF_ANISOTROPIC
                     ? std::min(maxAnisotropy_, static_cast<float>(std::max<DWORD>(1, ss[D3DSAMP_MAXANISOTROPY])))
                     : 1.0f;
  return p;
}

void GLDevice::applySampler(UINT stage, const SamplerParams& p) {
  SamplerParams& was = samplerParams_[stage];
  const bool all = !samplerKnown_[stage];
  const GLuint sampler = samplers_[stage];
  if (all || p.wrapS != was.wrapS) glSamplerParameteri(sampler, GL_TEXTURE_WRAP_S, p.wrapS);
  if (all || p.wrapT != was.wrapT) glSamplerParameteri(sampler, GL_TEXTURE_WRAP_T, p.wrapT);
  if (all || p.minFilter != was.minFilter) glSamplerParameteri(sampler, GL_TEXTURE_MIN_FILTER, p.minFilter);
  if (all || p.magFilter != was.magFilter) glSamplerParameteri(sampler, GL_TEXTURE_MAG_FILTER, p.magFilter);
  if (all || p.lodBias != was.lodBias) glSamplerParameterf(sampler, GL_TEXTURE_LOD_BIAS, p.lodBias);
  if (all || p.minLod != was.minLod) glSamplerParameterf(sampler, GL_TEXTURE_MIN_LOD, p.minLod);
  if (all || p.border != was.border) {
    float border[4];
    colourToFloats(p.border, border);
    glSamplerParameterfv(sampler, GL_TEXTURE_BORDER_COLOR, border);
  }
  if (anisotropic_ && (all || p.anisotropy != was.anisotropy))
    glSamplerParameterf(sampler, GL_TEXTURE_MAX_ANISOTROPY_EXT, p.anisotropy);
  was = p;
  samplerKnown_[stage] = true;
}

void GLDevice::applyTextures() {
  if (!texturesDirty_ && !samplersDirty_) return;
  if (texturesDeletedSeen_ != glTexturesDeleted()) {
    texturesDeletedSeen_ = glTexturesDeleted();
    for (GLuint& name : boundTextures_) name = ~GLuint(0);
  }
  for (UINT s = 0; s < kMaxTextureStages; ++s) {
    auto* t = dynamic_cast<GLTexture*>(state_.textures[s]);
    const GLuint name = t ? t->glName() : 0;
    if (t) t->zeroUnwrittenLevels();
    if (boundTextures_[s] != name) {
      glActiveTexture(GL_TEXTURE0 + s);
      glBindTexture(GL_TEXTURE_2D, name);
      boundTextures_[s] = name;
    }
    // Only stages with a texture sample; the others keep whatever their sampler held.
    if (t) applySampler(s, samplerParamsFor(s, t->GetLevelCount() > 1));
    if (!samplerBound_[s]) {
      glBindSampler(s, samplers_[s]);
      samplerBound_[s] = true;
    }
  }
  texturesDirty_ = samplersDirty_ = false;
}

void GLDevice::forgetBindings() {
  for (UINT i = 0; i < kMaxTextureStages; ++i) {
    boundTextures_[i] = ~GLuint(0);
    samplerBound_[i] = samplerKnown_[i] = false;
  }
  vaoBound_ = attributesSet_ = false;
  boundElements_ = ~GLuint(0);
}

uint64_t GLDevice::pairingOf(const FixedFunctionKey& key) const {
  uint64_t h = FixedFunctionKeyHash{}(key);
  const auto mix = [&h](uint64_t v) { h = (h ^ v) * 0x100000001B3ull; };
  for (UINT s = 0; s < kMaxTextureStages; ++s) {
    if (!state_.textures[s]) continue;
    mix(reinterpret_cast<uintptr_t>(state_.textures[s]));
    for (const DWORD v : state_.samplerStates[s]) mix(v);
  }
  return h;
}

void GLDevice::bindElements(GLuint buffer) {
  if (boundElements_ == buffer && buffersDeletedSeen_ == glBuffersDeleted()) return;
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffer);
  boundElements_ = buffer;
}

void GLDevice::setVertexAttributes(GLuint buffer, size_t base, UINT stride) {
  const DWORD fvf = drawFvf_;
  if (!vaoBound_) {
    glBindVertexArray(vao_);
    vaoBound_ = true;
  }
  // The vertex array keeps its pointers, so a draw from the same place in the same buffer, in
  // the same layout, sets nothing.
  const AttributeSource source{buffer, base, stride, fvf};
  if (attributesSet_ && source == attributes_ && buffersDeletedSeen_ == glBuffersDeleted()) return;
  if (buffersDeletedSeen_ != glBuffersDeleted()) {
    buffersDeletedSeen_ = glBuffersDeleted();
    boundElements_ = 0;
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
  }
  attributes_ = source;
  attributesSet_ = true;
  glBindBuffer(GL_ARRAY_BUFFER, buffer);
  uint32_t wanted = 0;
  auto at = [&](size_t offset) { return reinterpret_cast<const void*>(base + offset); };
  size_t offset = 0;
  const GLsizei s = static_cast<GLsizei>(stride);
  switch (fvf & D3DFVF_POSITION_MASK) {
    case D3DFVF_XYZRHW:
    case D3DFVF_XYZW:
      wanted |= 1u << kAttribPosition;
      glVertexAttribPointer(kAttribPosition, 4, GL_FLOAT, GL_FALSE, s, at(0));
      offset = 16;
      break;
    default:
      wanted |= 1u << kAttribPosition;
      glVertexAttribPointer(kAttribPosition, 3, GL_FLOAT, GL_FALSE, s, at(0));
      // Blend weights follow the position; skinning is done before the device sees vertices.
      offset = fvfVertexSize(fvf & D3DFVF_POSITION_MASK);
      break;
  }
  if (fvf & D3DFVF_NORMAL) {
    wanted |= 1u << kAttribNormal;
    glVertexAttribPointer(kAttribNormal, 3, GL_FLOAT, GL_FALSE, s, at(offset));
    offset += 12;
  }
  if (fvf & D3DFVF_PSIZE) offset += 4;
  if (fvf & D3DFVF_DIFFUSE) {
    wanted |= 1u << kAttribDiffuse;
    glVertexAttribPointer(kAttribDiffuse, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, s, at(offset));
    offset += 4;
  }
  if (fvf & D3DFVF_SPECULAR) {
    wanted |= 1u << kAttribSpecular;
    glVertexAttribPointer(kAttribSpecular, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, s, at(offset));
    offset += 4;
  }
  const UINT sets = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
  for (UINT i = 0; i < sets && i < 8; ++i) {
    const UINT n = fvfTexCoordSize(fvf, i);
    wanted |= 1u << (kAttribTexCoord0 + i);
    glVertexAttribPointer(kAttribTexCoord0 + i, static_cast<GLint>(n), GL_FLOAT, GL_FALSE, s, at(offset));
    offset += n * 4;
  }
  for (GLuint i = 0; i < 12; ++i) {
    const uint32_t bit = 1u << i;
    if ((wanted & bit) == (enabledAttributes_ & bit)) continue;
    if (wanted & bit) glEnableVertexAttribArray(i);
    else
      glDisableVertexAttribArray(i);
  }
  enabledAttributes_ = wanted;
}

bool GLDevice::prepareDraw(GLuint buffer, size_t base, UINT stride) {
  context_->use();
  drawFvf_ = drawableFvf(stride);
  if (renderDirty_) applyRenderStates();
  if (keyDirty_ || !current_ || drawFvf_ != keyFvf_) {
    bool bound[kMaxTextureStages];
    for (UINT s = 0; s < kMaxTextureStages; ++s) bound[s] = dynamic_cast<GLTexture*>(state_.textures[s]) != nullptr;
    D3DLIGHTTYPE types[kMaxActiveLights];
    unsigned n = 0;
    for (const auto& [index, enabled] : state_.lightEnabled)
      if (enabled && n < kMaxActiveLights) types[n++] = state_.lights.at(index).Type;
    const FixedFunctionKey key = buildFixedFunctionKey(state_, drawFvf_, bound, types, n);
    keyFvf_ = drawFvf_;
    Program* program = programFor(key);
    if (!program) return false;
    // The driver builds code for each program with each kind of texture and sampler it meets,
    // so the lit variants are drawn once with every new pairing of program and textures.
    if (warmedPairings_.insert(pairingOf(key)).second) pendingVariants_ = litVariantsOf(key, bound, types, n);
    if (program != current_) glUseProgram(program->id);
    current_ = program;
    keyDirty_ = false;
  } else {
    ++lookups_;
  }
  if (current_->uploadedStamp != uniformStamp_) uploadUniforms(*current_);
  applyTextures();
  setVertexAttributes(buffer, base, stride);
  if (coverNothing_) {
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, 0, 0);
  }
  return true;
}

bool GLDevice::setDrawsCoverNothing(bool on) {
  coverNothing_ = on;
  // Each draw sets its scissor again: the scene's own once this is off.
  renderDirty_ = true;
  return true;
}

HRESULT GLDevice::DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) {
  auto* vb = dynamic_cast<GLVertexBuffer*>(state_.stream);
  const UINT stride = state_.streamStride;
  const UINT count = verticesForPrimitives(type, primitiveCount);
  if (!vb || !strideFits(stride) || count == 0) return D3DERR_INVALIDCALL;
  if (state_.streamOffset + (static_cast<uint64_t>(startVertex) + count) * stride > vb->size())
    return D3DERR_INVALIDCALL;
  if (loss() != Loss::None) return D3D_OK;
  if (!prepareDraw(vb->glName(), state_.streamOffset, stride)) return D3DERR_DRIVERINTERNALERROR;
  const auto draw = [&] {
    glDrawArrays(glValueOf(kGLPrimitiveModes, type), static_cast<GLint>(startVertex), static_cast<GLsizei>(count));
  };
  draw();
  if (!pendingVariants_.empty()) warmVariants(draw);
  return D3D_OK;
}

HRESULT GLDevice::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT baseVertexIndex, UINT, UINT, UINT startIndex,
                                       UINT primitiveCount) {
  auto* vb = dynamic_cast<GLVertexBuffer*>(state_.stream);
  auto* ib = dynamic_cast<GLIndexBuffer*>(state_.indices);
  const UINT stride = state_.streamStride;
  const UINT count = verticesForPrimitives(type, primitiveCount);
  if (!vb || !ib || !strideFits(stride) || count == 0 || baseVertexIndex < 0) return D3DERR_INVALIDCALL;
  const UINT indexSize = ib->format() == D3DFMT_INDEX32 ? 4 : 2;
  if ((static_cast<uint64_t>(startIndex) + count) * indexSize > ib->size()) return D3DERR_INVALIDCALL;
  // Every index must land inside the vertex buffer: the GPU would read past it otherwise. The
  // buffer's highest index, kept since it was filled, settles almost every draw; only a draw
  // that the whole buffer would overrun looks at its own range.
  const uint64_t available = vb->size() > state_.streamOffset ? (vb->size() - state_.streamOffset) / stride : 0;
  const uint64_t base = static_cast<uint64_t>(baseVertexIndex);
  if (ib->highestIndex() + base >= available &&
      highestIndexIn(ib->bytes().data() + static_cast<size_t>(startIndex) * indexSize, count, indexSize) + base >=
          available)
    return D3DERR_INVALIDCALL;
  if (loss() != Loss::None) return D3D_OK;
  if (!prepareDraw(vb->glName(), state_.streamOffset, stride)) return D3DERR_DRIVERINTERNALERROR;
  bindElements(ib->glName());
  const auto draw = [&] {
    glDrawElementsBaseVertex(glValueOf(kGLPrimitiveModes, type), static_cast<GLsizei>(count),
                             indexSize == 4 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT,
                             reinterpret_cast<const void*>(static_cast<uintptr_t>(startIndex) * indexSize),
                             baseVertexIndex);
  };
  draw();
  if (!pendingVariants_.empty()) warmVariants(draw);
  return D3D_OK;
}

HRESULT GLDevice::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertices, UINT stride) {
  context_->use();
  const UINT count = verticesForPrimitives(type, primitiveCount);
  if (!vertices || !strideFits(stride) || count == 0) return D3DERR_INVALIDCALL;
  if (loss() != Loss::None) return D3D_OK;
  glBindBuffer(GL_ARRAY_BUFFER, upVertexBuffer_);
  glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(static_cast<size_t>(count) * stride), vertices, GL_STREAM_DRAW);
  if (!prepareDraw(upVertexBuffer_, 0, stride)) return D3DERR_DRIVERINTERNALERROR;
  const auto draw = [&] { glDrawArrays(glValueOf(kGLPrimitiveModes, type), 0, static_cast<GLsizei>(count)); };
  draw();
  if (!pendingVariants_.empty()) warmVariants(draw);
  return D3D_OK;
}

HRESULT GLDevice::DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minVertexIndex, UINT numVertices,
                                         UINT primitiveCount, const void* indices, D3DFORMAT indexFormat,
                                         const void* vertices, UINT stride) {
  const UINT count = verticesForPrimitives(type, primitiveCount);
  if (!indices || !vertices || !strideFits(stride) || count == 0 ||
      (indexFormat != D3DFMT_INDEX16 && indexFormat != D3DFMT_INDEX32))
    return D3DERR_INVALIDCALL;
  const UINT indexSize = indexFormat == D3DFMT_INDEX32 ? 4 : 2;
  const uint64_t vertexCount = static_cast<uint64_t>(minVertexIndex) + numVertices;
  for (UINT i = 0; i < count; ++i) {
    uint32_t index = 0;
    std::memcpy(&index, static_cast<const uint8_t*>(indices) + static_cast<size_t>(i) * indexSize, indexSize);
    if (index >= vertexCount) return D3DERR_INVALIDCALL;
  }
  if (loss() != Loss::None) return D3D_OK;
  context_->use();
  glBindBuffer(GL_ARRAY_BUFFER, upVertexBuffer_);
  glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertexCount * stride), vertices, GL_STREAM_DRAW);
  if (!prepareDraw(upVertexBuffer_, 0, stride)) return D3DERR_DRIVERINTERNALERROR;
  bindElements(upIndexBuffer_);
  glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(static_cast<size_t>(count) * indexSize), indices,
               GL_STREAM_DRAW);
  const auto draw = [&] {
    glDrawElements(glValueOf(kGLPrimitiveModes, type), static_cast<GLsizei>(count),
                   indexSize == 4 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT, nullptr);
  };
  draw();
  if (!pendingVariants_.empty()) warmVariants(draw);
  return D3D_OK;
}
