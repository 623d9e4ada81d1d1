#pragma once
// The OpenGL 3.3 core device (internal to platform/d3d9). A frame shown through the identity
// ramp without multisampling is drawn straight into the window; so is one whose ramp only
// moves every level of a colour by a step (the brightness setting), which a blended pass then
// applies in the window. Otherwise it is drawn into an offscreen colour and depth buffer of the
// back buffer's size, and Present copies (or resolves) it into the window, or runs the final
// pass that looks every channel up in the gamma ramp.
#include <functional>
#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/d3d9/base_device.h"
#include "platform/d3d9/gl_resources.h"
#include "platform/d3d9/gl_shader_gen.h"

class GLDevice : public BaseDevice {
 public:
  // Takes over the context; false from valid() when the GL objects could not be made.
  GLDevice(IDirect3D9* direct3d, const D3DPRESENT_PARAMETERS& params, const D3DCAPS9& caps,
           std::shared_ptr<GLContextHolder> context);
  bool valid() const { return valid_; }

  HRESULT GetDisplayMode(UINT swapChain, D3DDISPLAYMODE* mode) override;
  HRESULT Reset(D3DPRESENT_PARAMETERS* params) override;
  HRESULT Present(const RECT* source, const RECT* dest, HWND overrideWindow, const void* dirtyRegion) override;
  HRESULT GetBackBuffer(UINT swapChain, UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface9** surface) override;
  HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                        IDirect3DTexture9** texture, HANDLE* shared) override;
  HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool, IDirect3DVertexBuffer9** buffer,
                             HANDLE* shared) override;
  HRESULT CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool, IDirect3DIndexBuffer9** buffer,
                            HANDLE* shared) override;
  HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR colour, float z, DWORD stencil) override;
  HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) override;
  HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT baseVertexIndex, UINT minVertexIndex, UINT numVertices,
                               UINT startIndex, UINT primitiveCount) override;
  HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertices, UINT stride) override;
  HRESULT DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minVertexIndex, UINT numVertices, UINT primitiveCount,
                                 const void* indices, D3DFORMAT indexFormat, const void* vertices,
                                 UINT stride) override;

  void setPresentCapture(bool on) override { capture_ = on; }
  bool presentedPixels(std::vector<D3DCOLOR>& pixels, UINT& width, UINT& height) override;
  bool setDrawsCoverNothing(bool on) override;

  // Reads the back buffer (before the gamma pass), rows top to bottom, 0xAARRGGBB.
  void readBackBuffer(std::vector<D3DCOLOR>& pixels);
  // Programs compiled so far, and how many draws looked one up.
  size_t programCount() const { return programs_.size(); }
  // Whether the offscreen target exists (frames that the window can hold never make it).
  bool holdsOffscreenTarget() const { return fbo_ != 0; }
  uint64_t programLookups() const { return lookups_; }

 protected:
  ~GLDevice() override;
  void stateChanged(Changed what, UINT index) override;

 private:
  // The uniforms in groups whose inputs change apart (a draw usually moves only the world
  // matrix and the material). Each group has a count raised when its inputs change, and a
  // program sends a group again only when the count moved since it last sent it.
  enum UniformGroup {
    kWorldViewValues,
    kProjectionValues,
    kTextureMatrixValues,
    kViewportValues,
    kMaterialValues,
    kLightValues,
    kRenderStateValues,
    kStageConstantValues,
    kUniformGroups
  };
  struct Program {
    GLuint id = 0;
    GLint worldView, projection, screen, pixelOffset, texMatrix, normalMatrix;
    GLint matDiffuse, matAmbient, matSpecular, matEmissive, matPower, globalAmbient;
    GLint lightDiffuse, lightSpecular, lightAmbient, lightPosition, lightDirection, lightAttenuation, lightSpot,
        lightRange;
    GLint tfactor, constant, alphaRef, fogColor, fogStart, fogEnd, fogDensity;
    GLint samplers[kMaxTextureStages];
    uint64_t uploadedStamp = 0;
    uint64_t sent[kUniformGroups] = {};
  };

  bool createPresentPass();
  void destroyPresentPass();
  bool createTargets();
  void destroyTargets();
  // The framebuffer this frame draws into, chosen at its first use after a Present.
  GLuint frameTarget();
  // The frame's single-sampled offscreen framebuffer, resolving samples first; the window
  // (0) when the frame went there.
  GLuint resolve();
  bool windowHasDepthAndStencil();
  bool windowMatchesBackBuffer() const;
  bool copyToWindow(GLuint source);
  void presentThroughRamp(GLuint source);
  void rampChanged();
  void offsetInWindow();
  bool makeOffscreenTarget();
  void clearBoundTarget();
  void lookUpInWindow();
  void warmInPlacePass();
  // The window as target, no blending, the in-place program reading the ramp table on unit 1.
  void beginInPlacePass();
  void uploadRampTable();
  // The window bound with the state a full-window triangle needs: no depth, stencil or
  // scissor test, no culling or polygon offset, filled.
  void beginWindowPass();
  // The frame may be drawn in the window: its ramp is applied there or needs nothing.
  bool rampFitsTheWindow() const { return rampIsIdentity_ || rampIsOffset_ || inPlaceProgram_ != 0; }
  bool applyWindowMode();
  // Everything a draw needs bound, its vertices read from `base` bytes into `buffer`.
  bool prepareDraw(GLuint buffer, size_t base, UINT stride);
  Program* programFor(const FixedFunctionKey& key);
  Program* makeProgram(const FixedFunctionKey& key);
  // The keys of the same state with black factors lit (other than the key itself).
  std::vector<FixedFunctionKey> litVariantsOf(const FixedFunctionKey& key, const bool bound[kMaxTextureStages],
                                              const D3DLIGHTTYPE* lights, unsigned lightCount) const;
  // Makes the pending variants' programs, repeating `draw` for each with nothing covered.
  void warmVariants(const std::function<void()>& draw);
  // A program's key with the textures bound and their sampler states, as one number.
  uint64_t pairingOf(const FixedFunctionKey& key) const;
  void uploadUniforms(Program& program);
  void uploadLights(Program& program, const D3DMATRIX& view);
  void applyRenderStates();
  // The GL values of one stage's sampler states, so that only changed ones reach GL.
  struct SamplerParams {
    GLint wrapS = 0, wrapT = 0, minFilter = 0, magFilter = 0;
    float lodBias = 0, minLod = 0, anisotropy = 1;
    D3DCOLOR border = 0;
  };
  SamplerParams samplerParamsFor(UINT stage, bool mips) const;
  void applySampler(UINT stage, const SamplerParams& params);
  void applyTextures();
  void setVertexAttributes(GLuint buffer, size_t offset, UINT stride);
  void bindElements(GLuint buffer);
  // After a Reset nothing remembered about GL bindings is trusted.
  void forgetBindings();
  struct AttributeSource {
    GLuint buffer = 0;
    size_t base = 0;
    UINT stride = 0;
    DWORD fvf = 0;
    bool operator==(const AttributeSource&) const = default;
  };
  DWORD drawFvf_ = 0, keyFvf_ = 0;

  std::shared_ptr<GLContextHolder> context_;
  bool valid_ = false;
  // Offscreen target.
  GLuint fbo_ = 0, colourTex_ = 0, depthRb_ = 0;
  GLuint msFbo_ = 0, msColourRb_ = 0, msDepthRb_ = 0;
  GLint samples_ = 0;
  GLuint frameFbo_ = 0;
  bool frameOpen_ = false;
  bool windowHoldsFrames_ = false;  // the window has the depth and stencil a frame needs
  bool windowTakesCopies_ = true;
  bool offscreenFailureSaid_ = false;
  bool rampIsIdentity_ = true;
  // A ramp that only raises or lowers every level of a colour by a fixed step, clamped (the
  // brightness setting), is applied in the window by a blended pass instead of the look-up.
  bool rampIsOffset_ = false;
  int rampOffset_[3] = {};
  // Present pass.
  GLuint presentProgram_ = 0, gammaTex_ = 0, emptyVao_ = 0;
  GLint presentSourceLoc_ = -1, presentGammaLoc_ = -1;
  GLuint offsetProgram_ = 0;
  GLint offsetColourLoc_ = -1;
  // Any other ramp looked up in place, in the window (0 where the driver cannot read the
  // pixel a pass writes).
  GLuint inPlaceProgram_ = 0;
  GLint inPlaceGammaLoc_ = -1;
  // Drawing.
  GLuint vao_ = 0, upVertexBuffer_ = 0, upIndexBuffer_ = 0;
  GLuint samplers_[kMaxTextureStages] = {};
  bool anisotropic_ = false;
  float maxAnisotropy_ = 1.0f;
  // What was last handed to GL, per stage and for the vertex array.
  GLuint boundTextures_[kMaxTextureStages] = {~GLuint(0), ~GLuint(0), ~GLuint(0), ~GLuint(0),
                                              ~GLuint(0), ~GLuint(0), ~GLuint(0), ~GLuint(0)};
  bool samplerBound_[kMaxTextureStages] = {};
  bool samplerKnown_[kMaxTextureStages] = {};
  SamplerParams samplerParams_[kMaxTextureStages];
  uint64_t texturesDeletedSeen_ = 0, buffersDeletedSeen_ = 0;
  bool vaoBound_ = false, attributesSet_ = false;
  AttributeSource attributes_;
  uint32_t enabledAttributes_ = 0;
  GLuint boundElements_ = ~GLuint(0);
  std::unordered_map<FixedFunctionKey, Program, FixedFunctionKeyHash> programs_;
  Program* current_ = nullptr;
  bool keyDirty_ = true, renderDirty_ = true, texturesDirty_ = true, samplersDirty_ = true, gammaDirty_ = true;
  // uniformStamp_ moves with any group, so a draw after nothing changed checks one number.
  uint64_t uniformStamp_ = 1;
  uint64_t groupStamps_[kUniformGroups] = {1, 1, 1, 1, 1, 1, 1, 1};
  void uniformsChanged(UniformGroup group) {
    ++groupStamps_[group];
    ++uniformStamp_;
  }
  uint64_t lookups_ = 0;
  std::vector<FixedFunctionKey> pendingVariants_;
  std::unordered_set<uint64_t> warmedPairings_;  // programs with the textures they drew with
  bool capture_ = false;
  bool coverNothing_ = false;
  std::vector<D3DCOLOR> captured_;
  UINT capturedWidth_ = 0, capturedHeight_ = 0;
};
