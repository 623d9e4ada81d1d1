#pragma once
// Image loading and the few maths helpers, with the names, parameters and numbers the engine
// was written against. Images are decoded by the port's own decoders (JPEG, PNG, BMP, TGA,
// GIF, DDS); every decoder distrusts its input, so a bad or truncated file is D3DXERR_INVALIDDATA
// and never a crash.
#include "platform/d3d9/d3d9.h"

constexpr UINT D3DX_DEFAULT = static_cast<UINT>(-1);
constexpr UINT D3DX_DEFAULT_NONPOW2 = static_cast<UINT>(-2);
constexpr UINT D3DX_FROM_FILE = static_cast<UINT>(-3);
constexpr D3DFORMAT D3DFMT_FROM_FILE = static_cast<D3DFORMAT>(static_cast<uint32_t>(-3));

constexpr DWORD D3DX_FILTER_NONE = 1;
constexpr DWORD D3DX_FILTER_POINT = 2;
constexpr DWORD D3DX_FILTER_LINEAR = 3;
constexpr DWORD D3DX_FILTER_TRIANGLE = 4;
constexpr DWORD D3DX_FILTER_BOX = 5;
constexpr DWORD D3DX_FILTER_MIRROR_U = 0x10000;
constexpr DWORD D3DX_FILTER_MIRROR_V = 0x20000;
constexpr DWORD D3DX_FILTER_DITHER = 0x80000;

constexpr HRESULT D3DXERR_INVALIDDATA = makeResult(0x88760B59u);

enum D3DXIMAGE_FILEFORMAT : uint32_t {
  D3DXIFF_BMP = 0,
  D3DXIFF_JPG = 1,
  D3DXIFF_TGA = 2,
  D3DXIFF_PNG = 3,
  D3DXIFF_DDS = 4,
  D3DXIFF_PPM = 5,
  D3DXIFF_DIB = 6,
  D3DXIFF_HDR = 7,
  D3DXIFF_PFM = 8,
};

struct D3DXIMAGE_INFO {
  UINT Width, Height, Depth, MipLevels;
  D3DFORMAT Format;
  D3DRESOURCETYPE ResourceType;
  D3DXIMAGE_FILEFORMAT ImageFileFormat;
};

struct PALETTEENTRY {
  BYTE peRed, peGreen, peBlue, peFlags;
};

// An empty texture; width, height and levels of 0 or D3DX_DEFAULT mean 256, 256 and a full
// chain; D3DFMT_UNKNOWN means A8R8G8B8.
HRESULT D3DXCreateTexture(IDirect3DDevice9* device, UINT width, UINT height, UINT mipLevels, DWORD usage,
                          D3DFORMAT format, D3DPOOL pool, IDirect3DTexture9** texture);

// A texture from an image: width and height D3DX_DEFAULT (or 0) take the image's size; mip
// levels 0 or D3DX_DEFAULT make a full chain (made with `mipFilter`, or taken from the file
// when it stores levels and the size is kept), D3DX_FROM_FILE as many levels as the file has;
// D3DFMT_UNKNOWN takes A8R8G8B8 for images with alpha or a colour key and X8R8G8B8 otherwise.
// A non-zero colour key turns every texel of exactly that colour (alpha included) into
// transparent black.
HRESULT D3DXCreateTextureFromFileInMemoryEx(IDirect3DDevice9* device, const void* data, UINT size, UINT width,
                                            UINT height, UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                            DWORD filter, DWORD mipFilter, D3DCOLOR colorKey, D3DXIMAGE_INFO* info,
                                            PALETTEENTRY* palette, IDirect3DTexture9** texture);
HRESULT D3DXCreateTextureFromFileExA(IDirect3DDevice9* device, const char* file, UINT width, UINT height,
                                     UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD filter,
                                     DWORD mipFilter, D3DCOLOR colorKey, D3DXIMAGE_INFO* info, PALETTEENTRY* palette,
                                     IDirect3DTexture9** texture);

// Loads an image (or `sourceRect` of it) into `destRect` of a surface (null: all of it),
// resized with `filter`.
HRESULT D3DXLoadSurfaceFromFileInMemory(IDirect3DSurface9* surface, const PALETTEENTRY* palette, const RECT* destRect,
                                        const void* data, UINT size, const RECT* sourceRect, DWORD filter,
                                        D3DCOLOR colorKey, D3DXIMAGE_INFO* info);
HRESULT D3DXLoadSurfaceFromFileA(IDirect3DSurface9* surface, const PALETTEENTRY* palette, const RECT* destRect,
                                 const char* file, const RECT* sourceRect, DWORD filter, D3DCOLOR colorKey,
                                 D3DXIMAGE_INFO* info);

// Remakes every level below `sourceLevel` (D3DX_DEFAULT: 0) from it with `filter`; used after
// pictures were put into the top level directly.
HRESULT D3DXFilterTexture(IDirect3DBaseTexture9* texture, const PALETTEENTRY* palette, UINT sourceLevel, DWORD filter);

// Reads only the image's header: its size (upright, for a photo with an EXIF orientation),
// alpha and kind.
HRESULT D3DXGetImageInfoFromFileInMemory(const void* data, UINT size, D3DXIMAGE_INFO* info);
HRESULT D3DXGetImageInfoFromFileA(const char* file, D3DXIMAGE_INFO* info);
