#include "platform/d3d9/recording.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "platform/d3d9/memory_resources.h"

namespace {

// A texture that counts itself among its device's live textures.
class CountedTexture : public MemoryTexture {
 public:
  CountedTexture(IDirect3DDevice9* device, UINT w, UINT h, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                 std::shared_ptr<int> live)
      : MemoryTexture(device, w, h, levels, usage, format, pool), live_(std::move(live)) {
    ++*live_;
  }

 protected:
  ~CountedTexture() override { --*live_; }

 private:
  std::shared_ptr<int> live_;
};

}  // namespace

// ---- RecordedDraw ----

D3DVECTOR RecordedDraw::position(UINT i) const {
  D3DVECTOR v{};
  if (static_cast<size_t>(i + 1) * stride <= vertices.size())
    std::memcpy(&v, vertices.data() + static_cast<size_t>(i) * stride, sizeof v);
  return v;
}

D3DCOLOR RecordedDraw::diffuse(UINT i) const {
  if (!(fvf & D3DFVF_DIFFUSE)) return 0;
  UINT offset = fvfVertexSize(fvf & D3DFVF_POSITION_MASK);
  if (fvf & D3DFVF_NORMAL) offset += 12;
  if (fvf & D3DFVF_PSIZE) offset += 4;
  D3DCOLOR c = 0;
  if (static_cast<size_t>(i) * stride + offset + 4 <= vertices.size())
    std::memcpy(&c, vertices.data() + static_cast<size_t>(i) * stride + offset, 4);
  return c;
}

// ---- RecordingDevice ----

RecordingDevice::RecordingDevice(IDirect3D9* direct3d, const D3DPRESENT_PARAMETERS& params, const D3DCAPS9& caps)
    : BaseDevice(direct3d, params, caps) {}

void RecordingDevice::note(const char* name, std::initializer_list<uint64_t> args) {
  calls_.push_back(RecordedCall{name, std::vector<uint64_t>(args)});
}

HRESULT RecordingDevice::scripted(const char* name) {
  auto it = failures_.find(name);
  if (it == failures_.end()) return D3D_OK;
  const HRESULT result = it->second.first;
  if (it->second.second > 0 && --it->second.second == 0) failures_.erase(it);
  return result;
}

void RecordingDevice::failCall(const std::string& name, HRESULT result, int times) {
  if (times == 0) return;
  failures_[name] = {result, times};
}

size_t RecordingDevice::count(std::string_view name) const {
  return static_cast<size_t>(std::count_if(calls_.begin(), calls_.end(),
                                           [&](const RecordedCall& c) { return c.name == name; }));
}

size_t RecordingDevice::countRenderState(D3DRENDERSTATETYPE state) const { return countWith("SetRenderState", state); }

size_t RecordingDevice::countWith(std::string_view name, uint64_t first) const {
  return static_cast<size_t>(std::count_if(calls_.begin(), calls_.end(), [&](const RecordedCall& c) {
    return c.name == name && !c.args.empty() && c.args[0] == first;
  }));
}

std::vector<std::string> RecordingDevice::callNames() const {
  std::vector<std::string> names;
  names.reserve(calls_.size());
  for (const auto& c : calls_) names.push_back(c.name);
  return names;
}

int RecordingDevice::liveTextures() const { return *liveTextures_; }

HRESULT RecordingDevice::GetDisplayMode(UINT swapChain, D3DDISPLAYMODE* mode) {
  note("GetDisplayMode", {swapChain});
  if (!mode) return D3DERR_INVALIDCALL;
  *mode = D3DDISPLAYMODE{params_.BackBufferWidth, params_.BackBufferHeight, params_.FullScreen_RefreshRateInHz,
                         params_.BackBufferFormat};
  return D3D_OK;
}

HRESULT RecordingDevice::Reset(D3DPRESENT_PARAMETERS* params) {
  note("Reset", {params ? params->BackBufferWidth : 0u, params ? params->BackBufferHeight : 0u});
  if (const HRESULT hr = scripted("Reset"); hr != D3D_OK) return hr;
  if (!params) return D3DERR_INVALIDCALL;
  if (const HRESULT hr = resetAllowed(); hr != D3D_OK) return hr;
  resetState(*params);
  return D3D_OK;
}

HRESULT RecordingDevice::Present(const RECT*, const RECT*, HWND, const void*) {
  note("Present", {});
  if (const HRESULT hr = scripted("Present"); hr != D3D_OK) return hr;
  if (loss() != Loss::None) return D3DERR_DEVICELOST;
  return D3D_OK;
}

HRESULT RecordingDevice::GetBackBuffer(UINT swapChain, UINT index, D3DBACKBUFFER_TYPE type,
                                       IDirect3DSurface9** surface) {
  note("GetBackBuffer", {swapChain, index, type});
  if (const HRESULT hr = scripted("GetBackBuffer"); hr != D3D_OK) return hr;
  if (!surface || swapChain != 0 || index != 0) return D3DERR_INVALIDCALL;
  *surface = new MemorySurface(this, backBufferDescription());
  return D3D_OK;
}

HRESULT RecordingDevice::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                                       D3DPOOL pool, IDirect3DTexture9** texture, HANDLE*) {
  if (const HRESULT hr = startCreate("CreateTexture", {width, height, levels, usage, format, pool}, texture);
      hr != D3D_OK)
    return hr;
  auto* made = new CountedTexture(this, width, height, levels, usage, format, pool, liveTextures_);
  if (!made->valid()) {
    made->Release();
    return D3DERR_INVALIDCALL;
  }
  *texture = made;
  return D3D_OK;
}

HRESULT RecordingDevice::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                            IDirect3DVertexBuffer9** buffer, HANDLE*) {
  if (const HRESULT hr = startCreate("CreateVertexBuffer", {length, usage, fvf, pool}, buffer); hr != D3D_OK) return hr;
  if (length == 0) return D3DERR_INVALIDCALL;
  *buffer = new MemoryVertexBuffer(this, length, usage, fvf, pool);
  return D3D_OK;
}

HRESULT RecordingDevice::CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                           IDirect3DIndexBuffer9** buffer, HANDLE*) {
  if (const HRESULT hr = startCreate("CreateIndexBuffer", {length, usage, format, pool}, buffer); hr != D3D_OK)
    return hr;
  if (length == 0 || (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32)) return D3DERR_INVALIDCALL;
  *buffer = new MemoryIndexBuffer(this, length, usage, format, pool);
  return D3D_OK;
}

HRESULT RecordingDevice::Clear(DWORD count, const D3DRECT*, DWORD flags, D3DCOLOR colour, float z, DWORD stencil) {
  note("Clear", {count, flags, colour, floatToDword(z), stencil});
  return scripted("Clear");
}

RecordedDraw RecordingDevice::snapshot(const char* call, D3DPRIMITIVETYPE type, UINT count) const {
  RecordedDraw d;
  d.call = call;
  d.type = type;
  d.primitiveCount = count;
  d.fvf = state_.fvf;
  d.renderStates = state_.renderStates;
  d.scissor = state_.scissor;
  d.stageStates = state_.stageStates;
  d.samplerStates = state_.samplerStates;
  d.textures = state_.textures;
  d.world = state_.transforms[D3DTS_WORLD];
  d.view = state_.transforms[D3DTS_VIEW];
  d.projection = state_.transforms[D3DTS_PROJECTION];
  d.material = state_.material;
  d.inScene = inScene();
  return d;
}

HRESULT RecordingDevice::DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) {
  note("DrawPrimitive", {type, startVertex, primitiveCount});
  if (const HRESULT hr = scripted("DrawPrimitive"); hr != D3D_OK) return hr;
  auto* vb = dynamic_cast<MemoryVertexBuffer*>(state_.stream);
  if (!vb || !strideFits(state_.streamStride)) return D3DERR_INVALIDCALL;
  RecordedDraw d = snapshot("DrawPrimitive", type, primitiveCount);
  d.stride = state_.streamStride;
  const size_t begin = state_.streamOffset + static_cast<size_t>(startVertex) * d.stride;
  const size_t end = begin + static_cast<size_t>(verticesForPrimitives(type, primitiveCount)) * d.stride;
  if (end > vb->bytes().size()) return D3DERR_INVALIDCALL;
  if (keepGeometry_)
    d.vertices.assign(vb->bytes().begin() + static_cast<std::ptrdiff_t>(begin),
                      vb->bytes().begin() + static_cast<std::ptrdiff_t>(end));
  draws_.push_back(std::move(d));
  return D3D_OK;
}

HRESULT RecordingDevice::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT baseVertexIndex, UINT minVertexIndex,
                                              UINT numVertices, UINT startIndex, UINT primitiveCount) {
  note("DrawIndexedPrimitive", {type, static_cast<uint64_t>(static_cast<int64_t>(baseVertexIndex)), minVertexIndex,
                                numVertices, startIndex, primitiveCount});
  if (const HRESULT hr = scripted("DrawIndexedPrimitive"); hr != D3D_OK) return hr;
  auto* vb = dynamic_cast<MemoryVertexBuffer*>(state_.stream);
  auto* ib = dynamic_cast<MemoryIndexBuffer*>(state_.indices);
  if (!vb || !ib || !strideFits(state_.streamStride)) return D3DERR_INVALIDCALL;
  RecordedDraw d = snapshot("DrawIndexedPrimitive", type, primitiveCount);
  d.stride = state_.streamStride;
  const UINT indexSize = ib->format() == D3DFMT_INDEX32 ? 4 : 2;
  const UINT count = verticesForPrimitives(type, primitiveCount);
  if ((static_cast<size_t>(startIndex) + count) * indexSize > ib->bytes().size()) return D3DERR_INVALIDCALL;
  const int64_t firstVertex = static_cast<int64_t>(baseVertexIndex);
  const size_t vertexBytes = vb->bytes().size() - std::min<size_t>(vb->bytes().size(), state_.streamOffset);
  const size_t available = vertexBytes / d.stride;
  if (firstVertex < 0 || static_cast<size_t>(firstVertex) > available) return D3DERR_INVALIDCALL;
  if (!keepGeometry_) {
    draws_.push_back(std::move(d));
    return D3D_OK;
  }
  for (UINT i = 0; i < count; ++i) {
    uint32_t index = 0;
    std::memcpy(&index, ib->bytes().data() + static_cast<size_t>(startIndex + i) * indexSize, indexSize);
    if (index + static_cast<size_t>(firstVertex) >= available) return D3DERR_INVALIDCALL;
    d.indices.push_back(index);
  }
  const size_t begin = state_.streamOffset + static_cast<size_t>(firstVertex) * d.stride;
  d.vertices.assign(vb->bytes().begin() + static_cast<std::ptrdiff_t>(begin),
                    vb->bytes().begin() + static_cast<std::ptrdiff_t>(state_.streamOffset + available * d.stride));
  draws_.push_back(std::move(d));
  return D3D_OK;
}

HRESULT RecordingDevice::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertices,
                                         UINT stride) {
  note("DrawPrimitiveUP", {type, primitiveCount, stride});
  if (const HRESULT hr = scripted("DrawPrimitiveUP"); hr != D3D_OK) return hr;
  if (!vertices || !strideFits(stride)) return D3DERR_INVALIDCALL;
  RecordedDraw d = snapshot("DrawPrimitiveUP", type, primitiveCount);
  d.stride = stride;
  const auto* bytes = static_cast<const uint8_t*>(vertices);
  if (keepGeometry_)
    d.vertices.assign(bytes, bytes + static_cast<size_t>(verticesForPrimitives(type, primitiveCount)) * stride);
  draws_.push_back(std::move(d));
  return D3D_OK;
}

HRESULT RecordingDevice::DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minVertexIndex, UINT numVertices,
                                                UINT primitiveCount, const void* indices, D3DFORMAT indexFormat,
                                                const void* vertices, UINT stride) {
  note("DrawIndexedPrimitiveUP", {type, minVertexIndex, numVertices, primitiveCount, indexFormat, stride});
  if (const HRESULT hr = scripted("DrawIndexedPrimitiveUP"); hr != D3D_OK) return hr;
  if (!indices || !vertices || !strideFits(stride) || (indexFormat != D3DFMT_INDEX16 && indexFormat != D3DFMT_INDEX32))
    return D3DERR_INVALIDCALL;
  RecordedDraw d = snapshot("DrawIndexedPrimitiveUP", type, primitiveCount);
  d.stride = stride;
  const UINT indexSize = indexFormat == D3DFMT_INDEX32 ? 4 : 2;
  const UINT count = verticesForPrimitives(type, primitiveCount);
  const UINT vertexCount = minVertexIndex + numVertices;
  for (UINT i = 0; i < count; ++i) {
    uint32_t index = 0;
    std::memcpy(&index, static_cast<const uint8_t*>(indices) + static_cast<size_t>(i) * indexSize, indexSize);
    if (index >= vertexCount) return D3DERR_INVALIDCALL;
    d.indices.push_back(index);
  }
  const auto* bytes = static_cast<const uint8_t*>(vertices);
  d.vertices.assign(bytes, bytes + static_cast<size_t>(vertexCount) * stride);
  draws_.push_back(std::move(d));
  return D3D_OK;
}

// ---- ScriptedAdapter / RecordingDirect3D9 ----

D3DCAPS9 standardCaps(D3DDEVTYPE type, UINT adapter) {
  D3DCAPS9 caps{};
  caps.DeviceType = type;
  caps.AdapterOrdinal = adapter;
  caps.DevCaps = D3DDEVCAPS_HWTRANSFORMANDLIGHT | D3DDEVCAPS_HWRASTERIZATION;
  caps.PresentationIntervals = D3DPRESENT_INTERVAL_ONE | D3DPRESENT_INTERVAL_IMMEDIATE;
  caps.MaxTextureWidth = caps.MaxTextureHeight = 4096;
  caps.MaxTextureBlendStages = caps.MaxSimultaneousTextures = kMaxTextureStages;
  caps.MaxActiveLights = kMaxActiveLights;
  caps.MaxPrimitiveCount = caps.MaxVertexIndex = 0xFFFFFF;
  caps.MaxStreams = 1;
  caps.MaxStreamStride = 255;
  caps.MaxAnisotropy = 16;
  caps.NumberOfAdaptersInGroup = 1;
  caps.MasterAdapterOrdinal = adapter;
  return caps;
}

ScriptedAdapter ScriptedAdapter::standard() {
  ScriptedAdapter a;
  std::strncpy(a.identifier.Description, "Scripted adapter", sizeof a.identifier.Description - 1);
  std::strncpy(a.identifier.Driver, "recording", sizeof a.identifier.Driver - 1);
  for (D3DFORMAT format : {D3DFMT_X8R8G8B8, D3DFMT_R5G6B5})
    for (UINT w : {640u, 800u, 1024u})
      for (UINT hz : {60u, 75u}) a.modes.push_back(D3DDISPLAYMODE{w, w * 3 / 4, hz, format});
  a.caps = standardCaps();
  return a;
}

RecordingDirect3D9::RecordingDirect3D9(std::vector<ScriptedAdapter> adapters) : adapters_(std::move(adapters)) {}

ULONG RecordingDirect3D9::Release() {
  const ULONG left = refs_.dropRef();
  if (left == 0) delete this;
  return left;
}

const ScriptedAdapter* RecordingDirect3D9::adapter(UINT ordinal) const {
  return ordinal < adapters_.size() ? &adapters_[ordinal] : nullptr;
}

size_t RecordingDirect3D9::count(std::string_view name) const {
  return static_cast<size_t>(std::count_if(calls_.begin(), calls_.end(),
                                           [&](const RecordedCall& c) { return c.name == name; }));
}

UINT RecordingDirect3D9::GetAdapterCount() {
  calls_.push_back({"GetAdapterCount", {}});
  return static_cast<UINT>(adapters_.size());
}

HRESULT RecordingDirect3D9::GetAdapterIdentifier(UINT ordinal, DWORD flags, D3DADAPTER_IDENTIFIER9* identifier) {
  calls_.push_back({"GetAdapterIdentifier", {ordinal, flags}});
  const ScriptedAdapter* a = adapter(ordinal);
  if (!a || !identifier) return D3DERR_INVALIDCALL;
  *identifier = a->identifier;
  return D3D_OK;
}

UINT RecordingDirect3D9::GetAdapterModeCount(UINT ordinal, D3DFORMAT format) {
  calls_.push_back({"GetAdapterModeCount", {ordinal, format}});
  const ScriptedAdapter* a = adapter(ordinal);
  if (!a) return 0;
  return static_cast<UINT>(std::count_if(a->modes.begin(), a->modes.end(),
                                         [&](const D3DDISPLAYMODE& m) { return m.Format == format; }));
}

HRESULT RecordingDirect3D9::EnumAdapterModes(UINT ordinal, D3DFORMAT format, UINT mode, D3DDISPLAYMODE* out) {
  calls_.push_back({"EnumAdapterModes", {ordinal, format, mode}});
  const ScriptedAdapter* a = adapter(ordinal);
  if (!a || !out) return D3DERR_INVALIDCALL;
  UINT seen = 0;
  for (const auto& m : a->modes) {
    if (m.Format != format) continue;
    if (seen++ == mode) {
      *out = m;
      return D3D_OK;
    }
  }
  return D3DERR_INVALIDCALL;
}

HRESULT RecordingDirect3D9::GetAdapterDisplayMode(UINT ordinal, D3DDISPLAYMODE* mode) {
  calls_.push_back({"GetAdapterDisplayMode", {ordinal}});
  const ScriptedAdapter* a = adapter(ordinal);
  if (!a || !mode) return D3DERR_INVALIDCALL;
  *mode = a->desktop;
  return D3D_OK;
}

HRESULT RecordingDirect3D9::CheckDeviceType(UINT ordinal, D3DDEVTYPE type, D3DFORMAT adapterFormat,
                                            D3DFORMAT backBufferFormat, BOOL windowed) {
  calls_.push_back({"CheckDeviceType",
                    {ordinal, type, adapterFormat, backBufferFormat, static_cast<uint64_t>(windowed)}});
  const ScriptedAdapter* a = adapter(ordinal);
  if (!a || std::find(a->deviceTypes.begin(), a->deviceTypes.end(), type) == a->deviceTypes.end())
    return D3DERR_NOTAVAILABLE;
  if (std::find(a->backBufferFormats.begin(), a->backBufferFormats.end(), backBufferFormat) ==
      a->backBufferFormats.end())
    return D3DERR_NOTAVAILABLE;
  if (!windowed && displayDepthBits(adapterFormat) != displayDepthBits(backBufferFormat)) return D3DERR_NOTAVAILABLE;
  return D3D_OK;
}

HRESULT RecordingDirect3D9::CheckDeviceFormat(UINT ordinal, D3DDEVTYPE, D3DFORMAT, DWORD usage, D3DRESOURCETYPE,
                                              D3DFORMAT checkFormat) {
  calls_.push_back({"CheckDeviceFormat", {ordinal, usage, checkFormat}});
  const ScriptedAdapter* a = adapter(ordinal);
  if (!a) return D3DERR_INVALIDCALL;
  if (usage & D3DUSAGE_DEPTHSTENCIL)
    return std::find(a->depthFormats.begin(), a->depthFormats.end(), checkFormat) != a->depthFormats.end()
               ? D3D_OK
               : D3DERR_NOTAVAILABLE;
  return bytesPerTexel(checkFormat) ? D3D_OK : D3DERR_NOTAVAILABLE;
}

HRESULT RecordingDirect3D9::CheckDeviceMultiSampleType(UINT ordinal, D3DDEVTYPE, D3DFORMAT surfaceFormat, BOOL windowed,
                                                       D3DMULTISAMPLE_TYPE multiSample, DWORD* qualityLevels) {
  calls_.push_back({"CheckDeviceMultiSampleType",
                    {ordinal, surfaceFormat, static_cast<uint64_t>(windowed), multiSample}});
  const ScriptedAdapter* a = adapter(ordinal);
  if (!a) return D3DERR_INVALIDCALL;
  auto it = a->multisample.find(multiSample);
  if (it == a->multisample.end()) return D3DERR_NOTAVAILABLE;
  if (qualityLevels) *qualityLevels = it->second;
  return D3D_OK;
}

HRESULT RecordingDirect3D9::CheckDepthStencilMatch(UINT ordinal, D3DDEVTYPE, D3DFORMAT, D3DFORMAT,
                                                   D3DFORMAT depthStencilFormat) {
  calls_.push_back({"CheckDepthStencilMatch", {ordinal, depthStencilFormat}});
  const ScriptedAdapter* a = adapter(ordinal);
  if (!a) return D3DERR_INVALIDCALL;
  return std::find(a->depthFormats.begin(), a->depthFormats.end(), depthStencilFormat) != a->depthFormats.end()
             ? D3D_OK
             : D3DERR_NOTAVAILABLE;
}

HRESULT RecordingDirect3D9::GetDeviceCaps(UINT ordinal, D3DDEVTYPE type, D3DCAPS9* caps) {
  calls_.push_back({"GetDeviceCaps", {ordinal, type}});
  const ScriptedAdapter* a = adapter(ordinal);
  if (!a || !caps || std::find(a->deviceTypes.begin(), a->deviceTypes.end(), type) == a->deviceTypes.end())
    return D3DERR_NOTAVAILABLE;
  *caps = a->caps;
  caps->DeviceType = type;
  caps->AdapterOrdinal = ordinal;
  return D3D_OK;
}

HRESULT RecordingDirect3D9::CreateDevice(UINT ordinal, D3DDEVTYPE type, HWND, DWORD behaviourFlags,
                                         D3DPRESENT_PARAMETERS* params, IDirect3DDevice9** device) {
  calls_.push_back({"CreateDevice", {ordinal, type, behaviourFlags}});
  if (!device || !params) return D3DERR_INVALIDCALL;
  *device = nullptr;
  if (failCreates_ != 0) {
    if (failCreates_ > 0) --failCreates_;
    return D3DERR_NOTAVAILABLE;
  }
  const ScriptedAdapter* a = adapter(ordinal);
  if (!a || std::find(a->deviceTypes.begin(), a->deviceTypes.end(), type) == a->deviceTypes.end())
    return D3DERR_INVALIDCALL;
  // An unsupported multisample type makes creation fail, so callers can fall back.
  if (!a->multisample.count(params->MultiSampleType)) return D3DERR_NOTAVAILABLE;
  D3DPRESENT_PARAMETERS used = *params;
  if (used.Windowed && (used.BackBufferWidth == 0 || used.BackBufferHeight == 0)) {
    if (used.BackBufferWidth == 0) used.BackBufferWidth = 640;
    if (used.BackBufferHeight == 0) used.BackBufferHeight = 480;
  }
  if (used.BackBufferFormat == D3DFMT_UNKNOWN) used.BackBufferFormat = a->desktop.Format;
  *params = used;
  D3DCAPS9 caps = a->caps;
  caps.DeviceType = type;
  caps.AdapterOrdinal = ordinal;
  auto* made = new RecordingDevice(this, used, caps);
  lastDevice_ = made;
  ++devicesCreated_;
  lastBehaviour_ = behaviourFlags;
  *device = made;
  return D3D_OK;
}
