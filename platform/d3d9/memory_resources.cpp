#include "platform/d3d9/memory_resources.h"

#include <algorithm>

namespace {

uint32_t expand(uint32_t value, int bits) {
  if (bits == 0) return 0;
  const uint32_t max = (1u << bits) - 1;
  return (value * 255 + max / 2) / max;
}

uint32_t shrink(uint32_t value8, int bits) {
  const uint32_t max = (1u << bits) - 1;
  return (value8 * max + 127) / 255;
}


}  // namespace

D3DCOLOR decodeTexel(D3DFORMAT format, const uint8_t* t) {
  switch (format) {
    case D3DFMT_A8R8G8B8: return t[0] | (t[1] << 8) | (t[2] << 16) | (static_cast<uint32_t>(t[3]) << 24);
    case D3DFMT_X8R8G8B8: return t[0] | (t[1] << 8) | (t[2] << 16) | 0xFF000000u;
    case D3DFMT_A8B8G8R8: return t[2] | (t[1] << 8) | (t[0] << 16) | (static_cast<uint32_t>(t[3]) << 24);
    case D3DFMT_X8B8G8R8: return t[2] | (t[1] << 8) | (t[0] << 16) | 0xFF000000u;
    case D3DFMT_R8G8B8: return t[0] | (t[1] << 8) | (t[2] << 16) | 0xFF000000u;
    case D3DFMT_R5G6B5: {
      const uint32_t v = t[0] | (t[1] << 8);
      return D3DCOLOR_ARGB(255, expand(v >> 11, 5), expand((v >> 5) & 63, 6), expand(v & 31, 5));
    }
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5: {
      const uint32_t v = t[0] | (t[1] << 8);
      const uint32_t a = format == D3DFMT_X1R5G5B5 || (v & 0x8000) ? 255 : 0;
      return D3DCOLOR_ARGB(a, expand((v >> 10) & 31, 5), expand((v >> 5) & 31, 5), expand(v & 31, 5));
    }
    case D3DFMT_A4R4G4B4:
    case D3DFMT_X4R4G4B4: {
      const uint32_t v = t[0] | (t[1] << 8);
      const uint32_t a = format == D3DFMT_X4R4G4B4 ? 255 : expand(v >> 12, 4);
      return D3DCOLOR_ARGB(a, expand((v >> 8) & 15, 4), expand((v >> 4) & 15, 4), expand(v & 15, 4));
    }
    case D3DFMT_A8L8: return D3DCOLOR_ARGB(t[1], t[0], t[0], t[0]);
    case D3DFMT_L8: return D3DCOLOR_ARGB(255, t[0], t[0], t[0]);
    case D3DFMT_A8: return D3DCOLOR_ARGB(t[0], 0, 0, 0);
    default: return 0;
  }
}

void encodeTexel(D3DFORMAT format, D3DCOLOR c, uint8_t* t) {
  const uint32_t a = c >> 24, r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, b = c & 0xFF;
  switch (format) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8:
      t[0] = static_cast<uint8_t>(b);
      t[1] = static_cast<uint8_t>(g);
      t[2] = static_cast<uint8_t>(r);
      t[3] = static_cast<uint8_t>(format == D3DFMT_X8R8G8B8 ? 0xFF : a);
      break;
    case D3DFMT_A8B8G8R8:
    case D3DFMT_X8B8G8R8:
      t[0] = static_cast<uint8_t>(r);
      t[1] = static_cast<uint8_t>(g);
      t[2] = static_cast<uint8_t>(b);
      t[3] = static_cast<uint8_t>(format == D3DFMT_X8B8G8R8 ? 0xFF : a);
      break;
    case D3DFMT_R8G8B8:
      t[0] = static_cast<uint8_t>(b);
      t[1] = static_cast<uint8_t>(g);
      t[2] = static_cast<uint8_t>(r);
      break;
    case D3DFMT_R5G6B5: {
      const uint32_t v = (shrink(r, 5) << 11) | (shrink(g, 6) << 5) | shrink(b, 5);
      t[0] = static_cast<uint8_t>(v);
      t[1] = static_cast<uint8_t>(v >> 8);
      break;
    }
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5: {
      const uint32_t v = ((format == D3DFMT_X1R5G5B5 || a >= 128) ? 0x8000u : 0u) | (shrink(r, 5) << 10) |
                         (shrink(g, 5) << 5) | shrink(b, 5);
      t[0] = static_cast<uint8_t>(v);
      t[1] = static_cast<uint8_t>(v >> 8);
      break;
    }
    case D3DFMT_A4R4G4B4:
    case D3DFMT_X4R4G4B4: {
      const uint32_t v = ((format == D3DFMT_X4R4G4B4 ? 15u : shrink(a, 4)) << 12) | (shrink(r, 4) << 8) |
                         (shrink(g, 4) << 4) | shrink(b, 4);
      t[0] = static_cast<uint8_t>(v);
      t[1] = static_cast<uint8_t>(v >> 8);
      break;
    }
    case D3DFMT_A8L8:
      t[0] = static_cast<uint8_t>((r * 77 + g * 150 + b * 29 + 128) >> 8);
      t[1] = static_cast<uint8_t>(a);
      break;
    case D3DFMT_L8: t[0] = static_cast<uint8_t>((r * 77 + g * 150 + b * 29 + 128) >> 8); break;
    case D3DFMT_A8: t[0] = static_cast<uint8_t>(a); break;
    default: break;
  }
}

// ---- MemoryTexture ----

MemoryTexture::MemoryTexture(IDirect3DDevice9* device, UINT width, UINT height, UINT levels, DWORD usage,
                             D3DFORMAT format, D3DPOOL pool, LevelHome home)
    : CountedResource(device), format_(format), usage_(usage), pool_(pool), texelBytes_(bytesPerTexel(format)) {
  // The largest size keeps a level's byte count far below what 32-bit pitches can address.
  constexpr UINT kMaxSize = 8192;
  if (texelBytes_ == 0 || width == 0 || height == 0 || width > kMaxSize || height > kMaxSize) return;
  UINT full = 1;
  for (UINT w = width, h = height; w > 1 || h > 1; w = std::max(1u, w / 2), h = std::max(1u, h / 2)) ++full;
  const UINT count = levels == 0 ? full : std::min(levels, full);
  for (UINT i = 0; i < count; ++i) {
    Level level;
    level.width = std::max(1u, width >> i);
    level.height = std::max(1u, height >> i);
    // A level kept elsewhere is all zeros until its first unlock, which its first lock
    // gives without asking where it lives.
    if (home == LevelHome::Memory) level.bytes.assign(static_cast<size_t>(level.width) * level.height * texelBytes_, 0);
    level.held = home == LevelHome::Memory;
    levels_.push_back(std::move(level));
  }
}

HRESULT MemoryTexture::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) {
  if (!desc || level >= levels_.size()) return D3DERR_INVALIDCALL;
  *desc = D3DSURFACE_DESC{
      format_, D3DRTYPE_SURFACE, usage_, pool_, D3DMULTISAMPLE_NONE, 0, levels_[level].width, levels_[level].height};
  return D3D_OK;
}

HRESULT MemoryTexture::GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) {
  if (!surface || level >= levels_.size()) return D3DERR_INVALIDCALL;
  *surface = new TextureLevelSurface(this, level);
  return D3D_OK;
}

HRESULT MemoryTexture::LockRect(UINT index, D3DLOCKED_RECT* locked, const RECT* rect, DWORD) {
  if (!locked || index >= levels_.size()) return D3DERR_INVALIDCALL;
  Level& level = levels_[index];
  if (level.locked || !rectWithin(rect, level.width, level.height)) return D3DERR_INVALIDCALL;
  const UINT pitch = level.width * texelBytes_;
  if (!level.held) {
    level.bytes.assign(static_cast<size_t>(pitch) * level.height, 0);
    if (level.written) reloadLevel(index, level.bytes);
    level.held = true;
  }
  const size_t offset = rect ? static_cast<size_t>(rect->top) * pitch + static_cast<size_t>(rect->left) * texelBytes_
                             : 0;
  locked->Pitch = static_cast<INT>(pitch);
  locked->pBits = level.bytes.data() + offset;
  level.locked = true;
  return D3D_OK;
}

HRESULT MemoryTexture::UnlockRect(UINT index) {
  if (index >= levels_.size() || !levels_[index].locked) return D3DERR_INVALIDCALL;
  levels_[index].locked = false;
  levels_[index].written = true;
  levelChanged(index);
  return D3D_OK;
}

void MemoryTexture::releaseLevelBytes(UINT index) {
  if (index >= levels_.size() || levels_[index].locked) return;
  std::vector<uint8_t>().swap(levels_[index].bytes);
  levels_[index].held = false;
}

D3DCOLOR MemoryTexture::texel(UINT level, UINT x, UINT y) const {
  if (level >= levels_.size() || !levels_[level].held || x >= levels_[level].width || y >= levels_[level].height)
    return 0;
  return decodeTexel(format_,
                     levels_[level].bytes.data() + (static_cast<size_t>(y) * levels_[level].width + x) * texelBytes_);
}

bool MemoryTexture::formatHasAlpha() const {
  switch (format_) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_A8B8G8R8:
    case D3DFMT_A1R5G5B5:
    case D3DFMT_A4R4G4B4:
    case D3DFMT_A8L8:
    case D3DFMT_A8: return true;
    default: return false;
  }
}

// ---- TextureLevelSurface ----

TextureLevelSurface::TextureLevelSurface(IDirect3DTexture9* texture, UINT level) : texture_(texture), level_(level) {
  texture_->AddRef();
}

TextureLevelSurface::~TextureLevelSurface() { texture_->Release(); }

ULONG TextureLevelSurface::Release() {
  const ULONG left = refs_.dropRef();
  if (left == 0) delete this;
  return left;
}

// ---- MemorySurface ----

MemorySurface::MemorySurface(IDirect3DDevice9* device, const D3DSURFACE_DESC& desc)
    : CountedResource(device),
      desc_(desc),
      bytes_(static_cast<size_t>(desc.Width) * desc.Height * std::max(1u, bytesPerTexel(desc.Format))) {}

HRESULT MemorySurface::GetDesc(D3DSURFACE_DESC* desc) {
  if (!desc) return D3DERR_INVALIDCALL;
  *desc = desc_;
  return D3D_OK;
}

HRESULT MemorySurface::LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD) {
  if (!locked || locked_ || !rectWithin(rect, desc_.Width, desc_.Height)) return D3DERR_INVALIDCALL;
  const UINT bpp = std::max(1u, bytesPerTexel(desc_.Format));
  const UINT pitch = desc_.Width * bpp;
  locked->Pitch = static_cast<INT>(pitch);
  locked->pBits = bytes_.data() +
                  (rect ? static_cast<size_t>(rect->top) * pitch + static_cast<size_t>(rect->left) * bpp : 0);
  locked_ = true;
  return D3D_OK;
}

HRESULT MemorySurface::UnlockRect() {
  if (!locked_) return D3DERR_INVALIDCALL;
  locked_ = false;
  return D3D_OK;
}

// ---- buffers ----

HRESULT MemoryBuffer::lock(UINT offset, UINT size, void** data, DWORD flags) {
  if (!data || locked_ || offset > length_) return D3DERR_INVALIDCALL;
  if (size == 0) size = length_ - offset;
  if (size > length_ - offset) return D3DERR_INVALIDCALL;
  discarded_ = (flags & D3DLOCK_DISCARD) != 0;
  if (!held_) {
    bytes_.assign(length_, 0);
    if (!discarded_) reloadBytes(bytes_);
    held_ = true;
  }
  locked_ = true;
  if (flags & D3DLOCK_READONLY) {
    dirtyBegin_ = dirtyEnd_ = 0;
  } else if (discarded_) {
    // Discarding hands out a fresh buffer: the whole of it counts as rewritten.
    dirtyBegin_ = 0;
    dirtyEnd_ = length_;
  } else {
    dirtyBegin_ = offset;
    dirtyEnd_ = offset + size;
  }
  *data = bytes_.data() + offset;
  return D3D_OK;
}

void MemoryBuffer::releaseBytes() {
  if (locked_) return;
  std::vector<uint8_t>().swap(bytes_);
  held_ = false;
}

HRESULT MemoryBuffer::unlock() {
  if (!locked_) return D3DERR_INVALIDCALL;
  locked_ = false;
  return D3D_OK;
}

HRESULT MemoryVertexBuffer::GetDesc(D3DVERTEXBUFFER_DESC* desc) {
  if (!desc) return D3DERR_INVALIDCALL;
  *desc = D3DVERTEXBUFFER_DESC{D3DFMT_VERTEXDATA, D3DRTYPE_VERTEXBUFFER, usage_, pool_, size(), fvf_};
  return D3D_OK;
}

HRESULT MemoryIndexBuffer::GetDesc(D3DINDEXBUFFER_DESC* desc) {
  if (!desc) return D3DERR_INVALIDCALL;
  *desc = D3DINDEXBUFFER_DESC{format_, D3DRTYPE_INDEXBUFFER, usage_, pool_, size()};
  return D3D_OK;
}
