#pragma once
// Engine textures: a device texture wrapped so that it survives device loss (it keeps its
// creation parameters and where its image came from, and the image's bytes only where they
// cannot be read again: a caller's memory block, a frame's own picture), shared through the
// texture manager by resolved file name and parameters, and described either by a bare image
// or by a texture descriptor (".ts") that can cut sub-rectangles, split frames and name frame
// sequences.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/device/application.h"
#include "engine/fs/file_ref.h"
#include "platform/d3d9/d3d9.h"
#include "platform/d3dx/d3dx.h"

namespace halcyon {

class UdfNode;
class TextureManager;
class Texture;

// Source flags of a texture (the low three follow its file reference).
enum TextureSource : uint32_t {
  ReadBytes = 0x01,       // read the file's bytes through the file layer
  LoadByName = 0x02,      // let the image loader open the file by name
  SuppliedBytes = 0x04,   // bytes from a resource, memory block or archive
  EmptyTexture = 0x08,    // no image
  ParametersOnly = 0x10,  // the device texture is made by its owner
};

struct TextureRequest {
  enum Flags : uint32_t {
    Format = 0x01,
    ColorKey = 0x02,
    Size = 0x04,
    Usage = 0x08,
    Pool = 0x10,
    Filters = 0x20,
    Levels = 0x40,
    FrameByIndex = 0x80,  // the found texture's frame `frameIndex`
    FrameByName = 0x100,  // the found texture's frame named `frameName`
    CarriesTexture = 0x200,
  };
  FileRef file;
  uint32_t flags = 0;
  D3DFORMAT format = D3DFMT_UNKNOWN;
  D3DCOLOR colorKey = 0;
  UINT width = 0, height = 0;
  DWORD usage = 0;
  D3DPOOL pool = D3DPOOL_MANAGED;
  DWORD filter = D3DX_FILTER_BOX, mipFilter = D3DX_FILTER_BOX;
  UINT levels = 1;
  uint32_t frameIndex = 0;
  std::string frameName;
  Texture* texture = nullptr;
  bool alwaysCreateNew = false;
  bool onlyLookUp = false;
  bool parametersOnly = false;

  void clear() { *this = TextureRequest{}; }
};

class Texture : public DeviceObject {
 public:
  Texture();
  ~Texture() override;
  Texture(const Texture&) = delete;
  Texture& operator=(const Texture&) = delete;

  bool restore() override;
  bool invalidate() override;

  bool loadFromRequest(const TextureRequest& request);
  // `value` is a descriptor's root (or one element of its "Subs"); `parent` is null at the top.
  bool loadDescriptor(const UdfNode& value, Texture* parent);
  bool createFromFile(const std::string& name, uint32_t sourceFlags, UINT width, UINT height, UINT levels, DWORD usage,
                      D3DFORMAT format, D3DPOOL pool, DWORD filter, DWORD mipFilter, D3DCOLOR colorKey);
  bool createEmpty(uint32_t sourceFlags, UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                   D3DPOOL pool);

  // ---- accessors ----
  IDirect3DTexture9* d3dTexture() const { return texture_; }
  const D3DSURFACE_DESC& levelDesc() const { return desc_; }
  const D3DXIMAGE_INFO& imageInfo() const { return imageInfo_; }
  const RECT& rect() const { return rect_; }
  int kind() const { return kind_; }  // 2: a sub-rectangle of its parent
  Texture* parent() const { return parent_; }
  const std::vector<Texture*>& frames() const { return frames_; }
  Texture* frameNamed(const std::string& id) const;
  // The frames of a named sequence, in order (empty when unknown).
  std::vector<Texture*> frameSequence(const std::string& name) const;
  int32_t delay() const { return delay_; }
  const std::string& id() const { return id_; }
  const std::string& fileName() const { return fileName_; }
  uint32_t sourceFlags() const { return sourceFlags_; }
  // The transform materials hand to the device with this texture.
  const D3DMATRIX& transform() const { return transform_; }
  bool transformIsIdentity() const { return transformIdentity_; }
  void setTransform(const D3DMATRIX& m);
  bool hasAlpha() const;

  // Creation parameters, for the manager's matching.
  D3DFORMAT format() const { return format_; }
  D3DCOLOR colorKey() const { return colorKey_; }
  UINT width() const { return width_; }
  UINT height() const { return height_; }
  DWORD usage() const { return usage_; }
  D3DPOOL pool() const { return pool_; }
  DWORD filter() const { return filter_; }
  DWORD mipFilter() const { return mipFilter_; }
  UINT levels() const { return levels_; }

  // References: a frame counts against its top-level texture.
  void addRef();
  void release();
  int32_t references() const;

 private:
  friend class TextureManager;
  bool loadImageBytes();
  bool createFromBytes();
  // Keeps what the device texture is made with again after a loss.
  void keepShape(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool);
  // The device texture made from the kept parameters: empty, or read from the file by its
  // name; false (and the texture held so far kept) when the device or the file refuses.
  bool createEmptyDeviceTexture(IDirect3DDevice9* device);
  bool loadDeviceTextureByName(IDirect3DDevice9* device);
  // Lets go of the device texture held and holds `made` instead.
  void holdDeviceTexture(IDirect3DTexture9* made);
  // Whether the image's file can be read again (a file, an archive entry or a resource, not
  // a caller's memory block), so that its bytes need not be kept for a lost device.
  bool canReadAgain() const;
  void adoptNewTexture(UINT oldWidth, UINT oldHeight);
  void cutFrames(Texture& child, const UdfNode& value);
  // Restores every frame, then remakes the smaller levels from what they put in.
  bool restoreFrames();
  Texture* root() { return parent_ ? parent_->root() : this; }
  const Texture* root() const { return parent_ ? parent_->root() : this; }

  IDirect3DTexture9* texture_ = nullptr;
  uint32_t sourceFlags_ = 0;
  std::string fileName_;
  FileRef file_;
  std::vector<uint8_t> bytes_;
  UINT width_ = 0, height_ = 0, levels_ = 1;
  DWORD usage_ = 0;
  D3DFORMAT format_ = D3DFMT_UNKNOWN;
  D3DPOOL pool_ = D3DPOOL_MANAGED;
  DWORD filter_ = D3DX_FILTER_BOX, mipFilter_ = D3DX_FILTER_BOX;
  D3DCOLOR colorKey_ = 0;
  D3DSURFACE_DESC desc_{};
  D3DXIMAGE_INFO imageInfo_{};
  std::string id_;
  Texture* parent_ = nullptr;
  RECT rect_{};
  int kind_ = 0;
  std::vector<Texture*> frames_;
  std::vector<std::unique_ptr<Texture>> ownedFrames_;
  std::map<std::string, std::vector<std::string>> sequences_;
  int32_t delay_ = 0;
  D3DMATRIX transform_ = identityMatrix();
  bool transformIdentity_ = true;
  int32_t refs_ = 0;
  TextureManager* manager_ = nullptr;
  std::string managedName_;
  // Search paths of the request that made the texture, for a descriptor's image names.
  const SearchPaths* paths_ = nullptr;
};

class TextureManager {
 public:
  TextureManager() = default;
  ~TextureManager();
  TextureManager(const TextureManager&) = delete;
  TextureManager& operator=(const TextureManager&) = delete;

  // A texture with a new reference, or none.
  Texture* get(const TextureRequest& request, const SearchPaths* paths = nullptr);
  SearchPaths& paths() { return paths_; }
  size_t count() const { return all_.size(); }
  // Destroys every texture (at shutdown; references held elsewhere become invalid).
  void clear();

 private:
  friend class Texture;
  void forget(Texture* texture);
  static bool matches(const Texture& texture, const TextureRequest& request);
  static Texture* subTexture(Texture* texture, const TextureRequest& request);

  SearchPaths paths_;
  std::unordered_map<std::string, std::vector<Texture*>> byName_;
  std::vector<Texture*> all_;
};

// The engine's one texture manager.
TextureManager& textureManager();

// The key under which a resolved file is shared: the same file reached through different
// relative paths gives the same key.
std::string textureKey(const FileRef& resolved);

}  // namespace halcyon
