#pragma once
// The recording runtime: a Direct3D object that answers enumeration from scripted adapter
// tables and makes recording devices. A recording device keeps full device state in memory,
// records every call with its arguments, snapshots the state at every draw, and can be told
// to fail chosen calls or to report loss. Everything above the platform layer is tested
// against it, without a display.
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/d3d9/base_device.h"

struct RecordedCall {
  std::string name;
  std::vector<uint64_t> args;
};

// The state in force when a draw call was made, with the vertices and indices it used.
struct RecordedDraw {
  std::string call;  // "DrawPrimitive", "DrawIndexedPrimitive", "DrawPrimitiveUP", "DrawIndexedPrimitiveUP"
  D3DPRIMITIVETYPE type = D3DPT_TRIANGLELIST;
  UINT primitiveCount = 0;
  DWORD fvf = 0;
  UINT stride = 0;
  std::vector<uint8_t> vertices;  // the vertices the draw reads, from its first one
  std::vector<uint32_t> indices;  // for indexed draws, relative to `vertices`
  std::array<DWORD, kRenderStateCount> renderStates{};
  std::array<std::array<DWORD, kTextureStageStateCount>, kMaxTextureStages> stageStates{};
  std::array<std::array<DWORD, kSamplerStateCount>, kMaxTextureStages> samplerStates{};
  std::array<IDirect3DBaseTexture9*, kMaxTextureStages> textures{};  // not referenced
  D3DMATRIX world{}, view{}, projection{};
  RECT scissor{};
  D3DMATERIAL9 material{};
  bool inScene = false;

  // Vertex i's position (the first three floats).
  D3DVECTOR position(UINT i) const;
  // Vertex i's diffuse colour (0 when the format has none).
  D3DCOLOR diffuse(UINT i) const;
  UINT vertexCount() const { return stride ? static_cast<UINT>(vertices.size() / stride) : 0; }
};

class RecordingDevice : public BaseDevice {
 public:
  RecordingDevice(IDirect3D9* direct3d, const D3DPRESENT_PARAMETERS& params, const D3DCAPS9& caps);

  // ---- what the tests read ----
  const std::vector<RecordedCall>& calls() const { return calls_; }
  size_t count(std::string_view name) const;
  // SetRenderState calls for one state.
  size_t countRenderState(D3DRENDERSTATETYPE state) const;
  // Calls of `name` whose first argument is `first`.
  size_t countWith(std::string_view name, uint64_t first) const;
  void clearCalls() {
    calls_.clear();
    draws_.clear();
  }
  const std::vector<RecordedDraw>& draws() const { return draws_; }
  // The names of the calls in order, for sequence checks.
  std::vector<std::string> callNames() const;

  // Without geometry a draw keeps its state but not its vertices and indices, and its indices
  // are not checked: benchmarks then measure the engine above the device, not the copying.
  void setGeometryKept(bool keep) { keepGeometry_ = keep; }

  // ---- what the tests script ----
  // Makes `name` answer `result` for its next `times` calls (negative: from now on).
  void failCall(const std::string& name, HRESULT result, int times = -1);
  void clearFailures() { failures_.clear(); }

  // ---- the device ----
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

  void setPresentCapture(bool) override {}
  bool presentedPixels(std::vector<D3DCOLOR>&, UINT&, UINT&) override { return false; }
  bool setDrawsCoverNothing(bool) override { return false; }

  // Resources made by this device and not yet released by everyone.
  int liveTextures() const;

 protected:
  void note(const char* name, std::initializer_list<uint64_t> args) override;
  HRESULT scripted(const char* name) override;

 private:
  RecordedDraw snapshot(const char* call, D3DPRIMITIVETYPE type, UINT count) const;
  // What every Create call does first: it is noted, refused without a place for the result,
  // which it otherwise clears, and answers a scripted failure.
  template <typename T>
  HRESULT startCreate(const char* name, std::initializer_list<uint64_t> args, T** made) {
    note(name, args);
    if (!made) return D3DERR_INVALIDCALL;
    *made = nullptr;
    return scripted(name);
  }
  std::vector<RecordedCall> calls_;
  std::vector<RecordedDraw> draws_;
  std::map<std::string, std::pair<HRESULT, int>> failures_;
  bool keepGeometry_ = true;
  std::shared_ptr<int> liveTextures_ = std::make_shared<int>(0);
};

// One adapter of a scripted machine.
struct ScriptedAdapter {
  D3DADAPTER_IDENTIFIER9 identifier{};
  D3DDISPLAYMODE desktop{1024, 768, 60, D3DFMT_X8R8G8B8};
  std::vector<D3DDISPLAYMODE> modes;
  std::vector<D3DDEVTYPE> deviceTypes{D3DDEVTYPE_HAL};
  D3DCAPS9 caps{};
  // Back-buffer formats usable with an adapter format of the same bit depth (and, windowed,
  // with any adapter format).
  std::vector<D3DFORMAT> backBufferFormats{D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5};
  std::vector<D3DFORMAT> depthFormats{D3DFMT_D16, D3DFMT_D24S8, D3DFMT_D32};
  // Multisample type -> quality levels the driver reports (same for every format).
  std::map<D3DMULTISAMPLE_TYPE, DWORD> multisample{{D3DMULTISAMPLE_NONE, 1}, {D3DMULTISAMPLE_2_SAMPLES, 2}};

  // A typical single-monitor machine: 640x480, 800x600 and 1024x768 at 60 and 75 Hz in
  // X8R8G8B8 and R5G6B5, hardware transform and lighting, intervals ONE and IMMEDIATE.
  static ScriptedAdapter standard();
};

D3DCAPS9 standardCaps(D3DDEVTYPE type = D3DDEVTYPE_HAL, UINT adapter = 0);

class RecordingDirect3D9 : public IDirect3D9 {
 public:
  explicit RecordingDirect3D9(std::vector<ScriptedAdapter> adapters = {ScriptedAdapter::standard()});

  ULONG AddRef() override { return refs_.addRef(); }
  ULONG Release() override;
  UINT GetAdapterCount() override;
  HRESULT GetAdapterIdentifier(UINT adapter, DWORD flags, D3DADAPTER_IDENTIFIER9* identifier) override;
  UINT GetAdapterModeCount(UINT adapter, D3DFORMAT format) override;
  HRESULT EnumAdapterModes(UINT adapter, D3DFORMAT format, UINT mode, D3DDISPLAYMODE* out) override;
  HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) override;
  HRESULT CheckDeviceType(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, D3DFORMAT backBufferFormat,
                          BOOL windowed) override;
  HRESULT CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, DWORD usage,
                            D3DRESOURCETYPE resourceType, D3DFORMAT checkFormat) override;
  HRESULT CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE type, D3DFORMAT surfaceFormat, BOOL windowed,
                                     D3DMULTISAMPLE_TYPE multiSample, DWORD* qualityLevels) override;
  HRESULT CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, D3DFORMAT renderTargetFormat,
                                 D3DFORMAT depthStencilFormat) override;
  HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS9* caps) override;
  HRESULT CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD behaviourFlags,
                       D3DPRESENT_PARAMETERS* params, IDirect3DDevice9** device) override;

  // ---- scripting and inspection ----
  std::vector<ScriptedAdapter>& adapters() { return adapters_; }
  // CreateDevice fails for its next `times` calls (negative: always). A device made with a
  // multisample type the adapter does not list fails as well.
  void failCreateDevice(int times = -1) { failCreates_ = times; }
  // The most recently created device (not referenced), and how many were made.
  RecordingDevice* lastDevice() const { return lastDevice_; }
  int devicesCreated() const { return devicesCreated_; }
  DWORD lastBehaviourFlags() const { return lastBehaviour_; }
  const std::vector<RecordedCall>& calls() const { return calls_; }
  size_t count(std::string_view name) const;

 private:
  ~RecordingDirect3D9() override = default;
  const ScriptedAdapter* adapter(UINT ordinal) const;
  RefCounted9 refs_;
  std::vector<ScriptedAdapter> adapters_;
  std::vector<RecordedCall> calls_;
  int failCreates_ = 0;
  RecordingDevice* lastDevice_ = nullptr;
  int devicesCreated_ = 0;
  DWORD lastBehaviour_ = 0;
};
