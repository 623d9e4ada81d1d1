#pragma once
// Resources whose contents live in ordinary memory: the recording device uses them as they
// are, the OpenGL device derives from them and mirrors every unlocked change into GL objects.
// Texture levels are kept in the texture's own format, so what a caller writes through
// LockRect is what it reads back.
#include <vector>

#include "platform/d3d9/d3d9.h"

// What every resource here shares: a count of references that deletes the resource when the
// last goes, and the device that made it, handed out with a reference of its own.
template <class Interface>
class CountedResource : public Interface {
 public:
  ULONG AddRef() override { return refs_.addRef(); }
  ULONG Release() override {
    const ULONG left = refs_.dropRef();
    if (left == 0) delete this;
    return left;
  }
  HRESULT GetDevice(IDirect3DDevice9** device) override {
    if (!device) return D3DERR_INVALIDCALL;
    *device = device_;
    if (device_) device_->AddRef();
    return D3D_OK;
  }

 protected:
  explicit CountedResource(IDirect3DDevice9* device) : device_(device) {}
  ~CountedResource() override = default;

 private:
  RefCounted9 refs_;
  IDirect3DDevice9* device_;
};

class MemoryTexture : public CountedResource<IDirect3DTexture9> {
 public:
  // Where a texture's levels live between locks: in its own memory, or somewhere a derived
  // texture keeps them (GL), in which case no level is held in memory until it is locked.
  enum class LevelHome { Memory, Elsewhere };
  // levels 0 means the whole chain down to 1x1.
  MemoryTexture(IDirect3DDevice9* device, UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                D3DPOOL pool, LevelHome home = LevelHome::Memory);
  // False when the format or size cannot be stored.
  bool valid() const { return !levels_.empty(); }

  D3DRESOURCETYPE GetType() override { return D3DRTYPE_TEXTURE; }
  DWORD GetLevelCount() override { return static_cast<DWORD>(levels_.size()); }
  HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;
  HRESULT GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) override;
  HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
  HRESULT UnlockRect(UINT level) override;

  D3DFORMAT format() const { return format_; }
  UINT levelWidth(UINT level) const { return levels_[level].width; }
  UINT levelHeight(UINT level) const { return levels_[level].height; }
  UINT levelPitch(UINT level) const { return levels_[level].width * texelBytes_; }
  const std::vector<uint8_t>& levelBytes(UINT level) const { return levels_[level].bytes; }
  // Unlocked at least once since the texture was made.
  bool levelWritten(UINT level) const { return levels_[level].written; }
  // Reads one texel of a level as 0xAARRGGBB (formats without alpha read as opaque); 0 for a
  // level whose bytes live elsewhere.
  D3DCOLOR texel(UINT level, UINT x, UINT y) const;
  // Whether the format carries alpha that sampling must honour.
  bool formatHasAlpha() const;

 protected:
  ~MemoryTexture() override = default;
  // Called after a level was unlocked (contents may have changed).
  virtual void levelChanged(UINT) {}
  // A derived texture that keeps its levels elsewhere (in GL) lets go of a level's bytes here;
  // the next lock fills them again through reloadLevel, or with zeros while nothing was ever
  // written.
  void releaseLevelBytes(UINT level);
  virtual void reloadLevel(UINT, std::vector<uint8_t>&) {}

 private:
  struct Level {
    UINT width = 0, height = 0;
    std::vector<uint8_t> bytes;
    bool locked = false;
    bool held = true;      // bytes holds the level
    bool written = false;  // unlocked at least once, so no longer all zeros
  };
  D3DFORMAT format_;
  DWORD usage_;
  D3DPOOL pool_;
  UINT texelBytes_;
  std::vector<Level> levels_;
};

// One level of a texture seen as a surface; holds a reference to its texture.
class TextureLevelSurface : public IDirect3DSurface9 {
 public:
  TextureLevelSurface(IDirect3DTexture9* texture, UINT level);
  ULONG AddRef() override { return refs_.addRef(); }
  ULONG Release() override;
  HRESULT GetDevice(IDirect3DDevice9** device) override { return texture_->GetDevice(device); }
  D3DRESOURCETYPE GetType() override { return D3DRTYPE_SURFACE; }
  HRESULT GetDesc(D3DSURFACE_DESC* desc) override { return texture_->GetLevelDesc(level_, desc); }
  HRESULT LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override {
    return texture_->LockRect(level_, locked, rect, flags);
  }
  HRESULT UnlockRect() override { return texture_->UnlockRect(level_); }

 private:
  ~TextureLevelSurface() override;
  RefCounted9 refs_;
  IDirect3DTexture9* texture_;
  UINT level_;
};

// A surface with memory of its own (the recording device's back buffer).
class MemorySurface : public CountedResource<IDirect3DSurface9> {
 public:
  MemorySurface(IDirect3DDevice9* device, const D3DSURFACE_DESC& desc);
  D3DRESOURCETYPE GetType() override { return D3DRTYPE_SURFACE; }
  HRESULT GetDesc(D3DSURFACE_DESC* desc) override;
  HRESULT LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
  HRESULT UnlockRect() override;

 protected:
  ~MemorySurface() override = default;
  std::vector<uint8_t>& bytes() { return bytes_; }

 private:
  D3DSURFACE_DESC desc_;
  std::vector<uint8_t> bytes_;
  bool locked_ = false;
};

// Vertex and index buffers: one block of bytes, locked by byte range.
class MemoryBuffer {
 public:
  MemoryBuffer(UINT length, DWORD usage, D3DPOOL pool) : bytes_(length), length_(length), usage_(usage), pool_(pool) {}
  virtual ~MemoryBuffer() = default;
  HRESULT lock(UINT offset, UINT size, void** data, DWORD flags);
  HRESULT unlock();
  // The buffer's bytes; empty while a derived buffer keeps them elsewhere (see releaseBytes).
  const std::vector<uint8_t>& bytes() const { return bytes_; }
  UINT size() const { return length_; }
  // The byte range touched since the previous unlock (begin == end when none).
  UINT dirtyBegin() const { return dirtyBegin_; }
  UINT dirtyEnd() const { return dirtyEnd_; }
  bool discarded() const { return discarded_; }

 protected:
  // A derived buffer that keeps its bytes elsewhere (in GL) lets go of them here; the next
  // lock fills them again through reloadBytes, except a discarding one, whose contents start
  // afresh (as zeros).
  void releaseBytes();
  virtual void reloadBytes(std::vector<uint8_t>&) {}

  std::vector<uint8_t> bytes_;
  UINT length_;
  DWORD usage_;
  D3DPOOL pool_;
  bool locked_ = false;
  bool held_ = true;
  bool discarded_ = false;
  UINT dirtyBegin_ = 0, dirtyEnd_ = 0;
};

// A vertex or an index buffer as a resource: its bytes locked through the interface, and
// contentsChanged called after an unlock that wrote some of them.
template <class Interface>
class MemoryBufferResource : public CountedResource<Interface>, public MemoryBuffer {
 public:
  HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags) override { return lock(offset, size, data, flags); }
  HRESULT Unlock() override {
    const HRESULT hr = unlock();
    if (SUCCEEDED(hr) && dirtyEnd_ > dirtyBegin_) contentsChanged();
    return hr;
  }

 protected:
  MemoryBufferResource(IDirect3DDevice9* device, UINT length, DWORD usage, D3DPOOL pool)
      : CountedResource<Interface>(device), MemoryBuffer(length, usage, pool) {}
  ~MemoryBufferResource() override = default;
  virtual void contentsChanged() {}
};

class MemoryVertexBuffer : public MemoryBufferResource<IDirect3DVertexBuffer9> {
 public:
  MemoryVertexBuffer(IDirect3DDevice9* device, UINT length, DWORD usage, DWORD fvf, D3DPOOL pool)
      : MemoryBufferResource(device, length, usage, pool), fvf_(fvf) {}
  D3DRESOURCETYPE GetType() override { return D3DRTYPE_VERTEXBUFFER; }
  HRESULT GetDesc(D3DVERTEXBUFFER_DESC* desc) override;

 protected:
  ~MemoryVertexBuffer() override = default;

 private:
  DWORD fvf_;
};

class MemoryIndexBuffer : public MemoryBufferResource<IDirect3DIndexBuffer9> {
 public:
  MemoryIndexBuffer(IDirect3DDevice9* device, UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool)
      : MemoryBufferResource(device, length, usage, pool), format_(format) {}
  D3DRESOURCETYPE GetType() override { return D3DRTYPE_INDEXBUFFER; }
  HRESULT GetDesc(D3DINDEXBUFFER_DESC* desc) override;
  D3DFORMAT format() const { return format_; }

 protected:
  ~MemoryIndexBuffer() override = default;

 private:
  D3DFORMAT format_;
};

// Converts between a texel of a stored format and 0xAARRGGBB.
D3DCOLOR decodeTexel(D3DFORMAT format, const uint8_t* texel);
void encodeTexel(D3DFORMAT format, D3DCOLOR colour, uint8_t* texel);
