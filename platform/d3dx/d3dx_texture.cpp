#include <cstring>
#include <fstream>
#include <utility>
#include <vector>

#include "platform/d3d9/memory_resources.h"
#include "platform/d3dx/d3dx.h"
#include "platform/d3dx/image_decode.h"
#include "platform/d3dx/mip_chain.h"

namespace {

// Files larger than this are not images the engine would load.
constexpr std::streamoff kMaxFileBytes = std::streamoff{256} << 20;

bool readFile(const char* name, std::vector<uint8_t>& bytes) {
  if (!name) return false;
  std::ifstream in(name, std::ios::binary);
  if (!in) return false;
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size <= 0 || size > kMaxFileBytes) return false;
  in.seekg(0);
  bytes.resize(static_cast<size_t>(size));
  return static_cast<bool>(in.read(reinterpret_cast<char*>(bytes.data()), size));
}

void applyColourKey(std::vector<D3DCOLOR>& pixels, D3DCOLOR key) {
  if (key == 0) return;
  for (D3DCOLOR& p : pixels)
    if (p == key) p = 0;
}

void fillInfo(const DecodedImage& image, D3DXIMAGE_INFO* info) {
  if (!info) return;
  *info = D3DXIMAGE_INFO{
      image.width,      image.height,    1, image.storedLevels, image.hasAlpha ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8,
      D3DRTYPE_TEXTURE, image.fileFormat};
}

// Writes 0xAARRGGBB pixels into a locked region of the given format.
void writePixels(const D3DLOCKED_RECT& locked, D3DFORMAT format, const std::vector<D3DCOLOR>& pixels, UINT w, UINT h) {
  const UINT bpp = bytesPerTexel(format);
  for (UINT y = 0; y < h; ++y) {
    uint8_t* row = static_cast<uint8_t*>(locked.pBits) + static_cast<size_t>(y) * static_cast<size_t>(locked.Pitch);
    const D3DCOLOR* src = pixels.data() + static_cast<size_t>(y) * w;
    if (format == D3DFMT_A8R8G8B8 || format == D3DFMT_X8R8G8B8) {
      std::memcpy(row, src, static_cast<size_t>(w) * 4);
    } else {
      for (UINT x = 0; x < w; ++x) encodeTexel(format, src[x], row + static_cast<size_t>(x) * bpp);
    }
  }
}

// False when the level cannot be locked; a level of another size is left alone.
bool writeLevel(IDirect3DTexture9* texture, UINT index, const std::vector<D3DCOLOR>& pixels, UINT w, UINT h) {
  D3DSURFACE_DESC desc{};
  texture->GetLevelDesc(index, &desc);
  if (desc.Width != w || desc.Height != h || pixels.size() != static_cast<size_t>(w) * h) return true;
  D3DLOCKED_RECT locked{};
  if (FAILED(texture->LockRect(index, &locked, nullptr, 0))) return false;
  writePixels(locked, desc.Format, pixels, w, h);
  texture->UnlockRect(index);
  return true;
}

bool readLevel(IDirect3DTexture9* texture, UINT index, std::vector<D3DCOLOR>& pixels, UINT& w, UINT& h) {
  D3DSURFACE_DESC desc{};
  if (FAILED(texture->GetLevelDesc(index, &desc))) return false;
  const UINT bpp = bytesPerTexel(desc.Format);
  D3DLOCKED_RECT locked{};
  if (!bpp || FAILED(texture->LockRect(index, &locked, nullptr, D3DLOCK_READONLY))) return false;
  w = desc.Width;
  h = desc.Height;
  pixels.resize(static_cast<size_t>(w) * h);
  for (UINT y = 0; y < h; ++y) {
    const uint8_t* row = static_cast<const uint8_t*>(locked.pBits) +
                         static_cast<size_t>(y) * static_cast<size_t>(locked.Pitch);
    for (UINT x = 0; x < w; ++x)
      pixels[static_cast<size_t>(y) * w + x] = decodeTexel(desc.Format, row + static_cast<size_t>(x) * bpp);
  }
  texture->UnlockRect(index);
  return true;
}

bool isDefault(UINT v) { return v == 0 || v == D3DX_DEFAULT || v == D3DX_DEFAULT_NONPOW2 || v == D3DX_FROM_FILE; }

}  // namespace

HRESULT D3DXCreateTexture(IDirect3DDevice9* device, UINT width, UINT height, UINT mipLevels, DWORD usage,
                          D3DFORMAT format, D3DPOOL pool, IDirect3DTexture9** texture) {
  if (!device || !texture) return D3DERR_INVALIDCALL;
  if (isDefault(width)) width = 256;
  if (isDefault(height)) height = 256;
  if (mipLevels == D3DX_DEFAULT) mipLevels = 0;
  if (format == D3DFMT_UNKNOWN || format == D3DFMT_FROM_FILE) format = D3DFMT_A8R8G8B8;
  return device->CreateTexture(width, height, mipLevels, usage, format, pool, texture, nullptr);
}

HRESULT D3DXGetImageInfoFromFileInMemory(const void* data, UINT size, D3DXIMAGE_INFO* info) {
  DecodedImage image;
  if (!readImageInfo(static_cast<const uint8_t*>(data), size, image)) return D3DXERR_INVALIDDATA;
  fillInfo(image, info);
  return D3D_OK;
}

HRESULT D3DXGetImageInfoFromFileA(const char* file, D3DXIMAGE_INFO* info) {
  std::vector<uint8_t> bytes;
  if (!readFile(file, bytes)) return D3DERR_NOTFOUND;
  return D3DXGetImageInfoFromFileInMemory(bytes.data(), static_cast<UINT>(bytes.size()), info);
}

HRESULT D3DXCreateTextureFromFileInMemoryEx(IDirect3DDevice9* device, const void* data, UINT size, UINT width,
                                            UINT height, UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                            DWORD filter, DWORD mipFilter, D3DCOLOR colorKey, D3DXIMAGE_INFO* info,
                                            PALETTEENTRY*, IDirect3DTexture9** texture) {
  if (!device || !data || !texture || size == 0) return D3DERR_INVALIDCALL;
  *texture = nullptr;
  // The source's own size goes into the info; a texture asked smaller than the image lets
  // the decoder skip detail it would throw away.
  DecodedImage image;
  if (!readImageInfo(static_cast<const uint8_t*>(data), size, image)) return D3DXERR_INVALIDDATA;
  fillInfo(image, info);
  const UINT w = isDefault(width) ? image.width : width;
  const UINT h = isDefault(height) ? image.height : height;
  const DecodeRequest smaller{isDefault(width) ? 0 : w, isDefault(height) ? 0 : h};
  if (!decodeImage(static_cast<const uint8_t*>(data), size, image, smaller)) return D3DXERR_INVALIDDATA;
  if (format == D3DFMT_UNKNOWN || format == D3DFMT_FROM_FILE)
    format = image.hasAlpha || colorKey != 0 ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
  if (mipLevels == D3DX_DEFAULT) mipLevels = 0;
  if (mipLevels == D3DX_FROM_FILE) mipLevels = image.storedLevels;
  if (filter == D3DX_DEFAULT) filter = D3DX_FILTER_TRIANGLE;
  if (mipFilter == D3DX_DEFAULT) mipFilter = D3DX_FILTER_BOX;

  IDirect3DTexture9* made = nullptr;
  const HRESULT hr = device->CreateTexture(w, h, mipLevels, usage, format, pool, &made, nullptr);
  if (FAILED(hr) || !made) return FAILED(hr) ? hr : D3DERR_INVALIDCALL;

  // Levels the file stores are used as they are when the picture keeps its size; the rest are
  // made from the level above.
  const bool keepsSize = w == image.width && h == image.height;
  std::vector<D3DCOLOR> level = image.width == w && image.height == h
                                    ? std::move(image.pixels)
                                    : resizeImage(image.pixels, image.width, image.height, w, h, filter);
  applyColourKey(level, colorKey);
  UINT lw = w, lh = h;
  const DWORD levels = made->GetLevelCount();
  for (DWORD i = 0; i < levels; ++i) {
    if (i > 0) {
      if ((mipFilter & 0xFF) == D3DX_FILTER_NONE) break;
      UINT nw = 0, nh = 0;
      if (keepsSize && i <= image.mips.size()) {
        nw = std::max(1u, lw / 2);
        nh = std::max(1u, lh / 2);
        level = std::move(image.mips[i - 1]);
        applyColourKey(level, colorKey);
      } else {
        level = nextMipLevel(level, lw, lh, nw, nh, mipFilter);
      }
      lw = nw;
      lh = nh;
    }
    if (!writeLevel(made, i, level, lw, lh)) {
      made->Release();
      return D3DERR_INVALIDCALL;
    }
  }
  *texture = made;
  return D3D_OK;
}

HRESULT D3DXFilterTexture(IDirect3DBaseTexture9* baseTexture, const PALETTEENTRY*, UINT sourceLevel, DWORD filter) {
  auto* texture = dynamic_cast<IDirect3DTexture9*>(baseTexture);
  if (!texture) return D3DERR_INVALIDCALL;
  const DWORD levels = texture->GetLevelCount();
  if (sourceLevel == D3DX_DEFAULT) sourceLevel = 0;
  if (sourceLevel >= levels) return D3DERR_INVALIDCALL;
  if (filter == D3DX_DEFAULT) filter = D3DX_FILTER_BOX;
  if ((filter & 0xFF) == D3DX_FILTER_NONE) return D3D_OK;
  std::vector<D3DCOLOR> level;
  UINT w = 0, h = 0;
  if (!readLevel(texture, sourceLevel, level, w, h)) return D3DERR_INVALIDCALL;
  for (DWORD i = sourceLevel + 1; i < levels; ++i) {
    UINT nw = 0, nh = 0;
    level = nextMipLevel(level, w, h, nw, nh, filter);
    w = nw;
    h = nh;
    if (!writeLevel(texture, i, level, w, h)) return D3DERR_INVALIDCALL;
  }
  return D3D_OK;
}

HRESULT D3DXCreateTextureFromFileExA(IDirect3DDevice9* device, const char* file, UINT width, UINT height,
                                     UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD filter,
                                     DWORD mipFilter, D3DCOLOR colorKey, D3DXIMAGE_INFO* info, PALETTEENTRY* palette,
                                     IDirect3DTexture9** texture) {
  if (texture) *texture = nullptr;
  std::vector<uint8_t> bytes;
  if (!readFile(file, bytes)) return D3DERR_NOTFOUND;
  return D3DXCreateTextureFromFileInMemoryEx(device, bytes.data(), static_cast<UINT>(bytes.size()), width, height,
                                             mipLevels, usage, format, pool, filter, mipFilter, colorKey, info, palette,
                                             texture);
}

HRESULT D3DXLoadSurfaceFromFileInMemory(IDirect3DSurface9* surface, const PALETTEENTRY*, const RECT* destRect,
                                        const void* data, UINT size, const RECT* sourceRect, DWORD filter,
                                        D3DCOLOR colorKey, D3DXIMAGE_INFO* info) {
  if (!surface || !data || size == 0) return D3DERR_INVALIDCALL;
  DecodedImage image;
  if (!decodeImage(static_cast<const uint8_t*>(data), size, image)) return D3DXERR_INVALIDDATA;
  fillInfo(image, info);
  D3DSURFACE_DESC desc{};
  if (FAILED(surface->GetDesc(&desc)) || !bytesPerTexel(desc.Format)) return D3DERR_INVALIDCALL;
  if (!rectWithin(sourceRect, image.width, image.height) || !rectWithin(destRect, desc.Width, desc.Height))
    return D3DERR_INVALIDCALL;
  const RECT src = sourceRect ? *sourceRect
                              : RECT{0, 0, static_cast<LONG>(image.width), static_cast<LONG>(image.height)};
  const RECT dst = destRect ? *destRect : RECT{0, 0, static_cast<LONG>(desc.Width), static_cast<LONG>(desc.Height)};
  const UINT sw = static_cast<UINT>(src.right - src.left), sh = static_cast<UINT>(src.bottom - src.top);
  std::vector<D3DCOLOR> cut(static_cast<size_t>(sw) * sh);
  for (UINT y = 0; y < sh; ++y)
    std::memcpy(&cut[static_cast<size_t>(y) * sw],
                &image.pixels[static_cast<size_t>(src.top + static_cast<LONG>(y)) * image.width +
                              static_cast<size_t>(src.left)],
                sw * sizeof(D3DCOLOR));
  const UINT dw = static_cast<UINT>(dst.right - dst.left), dh = static_cast<UINT>(dst.bottom - dst.top);
  if (filter == D3DX_DEFAULT) filter = D3DX_FILTER_TRIANGLE;
  std::vector<D3DCOLOR> scaled = resizeImage(cut, sw, sh, dw, dh, filter);
  applyColourKey(scaled, colorKey);
  D3DLOCKED_RECT locked{};
  if (FAILED(surface->LockRect(&locked, &dst, 0))) return D3DERR_INVALIDCALL;
  writePixels(locked, desc.Format, scaled, dw, dh);
  surface->UnlockRect();
  return D3D_OK;
}

HRESULT D3DXLoadSurfaceFromFileA(IDirect3DSurface9* surface, const PALETTEENTRY* palette, const RECT* destRect,
                                 const char* file, const RECT* sourceRect, DWORD filter, D3DCOLOR colorKey,
                                 D3DXIMAGE_INFO* info) {
  std::vector<uint8_t> bytes;
  if (!readFile(file, bytes)) return D3DERR_NOTFOUND;
  return D3DXLoadSurfaceFromFileInMemory(surface, palette, destRect, bytes.data(), static_cast<UINT>(bytes.size()),
                                         sourceRect, filter, colorKey, info);
}
