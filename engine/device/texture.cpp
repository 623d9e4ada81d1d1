#include "engine/device/texture.h"

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "engine/core/trace.h"
#include "engine/device/device_settings.h"
#include "engine/device/state_cache.h"
#include "engine/udf/udf_node.h"
#include "engine/udf/udf_text.h"

namespace halcyon {

namespace {

bool hasExtensionTs(const std::string& name) {
  const size_t dot = name.find_last_of('.');
  const size_t slash = name.find_last_of("/\\");
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
  return name.substr(dot + 1) == "ts";
}

int32_t readInt(const UdfNode& node, const char* key, int32_t fallback, bool* present = nullptr) {
  const UdfNode* child = node.findChild(key);
  if (present) *present = child != nullptr;
  return child ? child->asInt() : fallback;
}

std::string readText(const UdfNode& node, const char* key) {
  const UdfNode* child = node.findChild(key);
  return child ? child->asString() : std::string();
}

DWORD filterFromText(const std::string& text, DWORD fallback) {
  if (text == "D3DX_FILTER_NONE") return D3DX_FILTER_NONE;
  if (text == "D3DX_FILTER_LINEAR") return D3DX_FILTER_LINEAR;
  if (text == "D3DX_FILTER_TRIANGLE") return D3DX_FILTER_TRIANGLE;
  if (text == "D3DX_FILTER_BOX") return D3DX_FILTER_BOX;
  return fallback;
}

}  // namespace

std::string textureKey(const FileRef& f) {
  std::ostringstream key;
  if (f.sources & Memory) {
    key << "mem:" << static_cast<const void*>(f.memory) << ":" << f.memorySize;
  } else if (f.sources & MemFile) {
    key << "res:" << f.resourceId;
  } else if (f.sources & Disk) {
    std::error_code error;
    const std::filesystem::path canonical = std::filesystem::weakly_canonical(f.name, error);
    key << "disk:" << (error ? std::filesystem::path(f.name).lexically_normal().string() : canonical.string());
  } else if (f.sources & Archive) {
    std::string name = f.name;
    std::replace(name.begin(), name.end(), '\\', '/');
    key << "arc:" << static_cast<const void*>(f.archive) << ":"
        << std::filesystem::path(name).lexically_normal().string();
  }
  return key.str();
}

// ---- Texture ----

Texture::Texture() = default;

Texture::~Texture() {
  // Frames share this texture's device texture; only a top-level texture releases it.
  if (!parent_) safeRelease(texture_);
  texture_ = nullptr;
  ownedFrames_.clear();
}

void Texture::addRef() { ++root()->refs_; }

void Texture::release() {
  Texture* top = root();
  if (top->refs_ > 0 && --top->refs_ == 0 && top->manager_) top->manager_->forget(top);
}

int32_t Texture::references() const { return root()->refs_; }

void Texture::setTransform(const D3DMATRIX& m) {
  transform_ = m;
  const D3DMATRIX identity = identityMatrix();
  transformIdentity_ = std::memcmp(&m, &identity, sizeof m) == 0;
}

bool Texture::hasAlpha() const { return formatHasAlpha(desc_.Format != D3DFMT_UNKNOWN ? desc_.Format : format_); }

Texture* Texture::frameNamed(const std::string& id) const {
  for (Texture* frame : frames_)
    if (frame->id_ == id) return frame;
  return nullptr;
}

std::vector<Texture*> Texture::frameSequence(const std::string& name) const {
  std::vector<Texture*> out;
  auto it = sequences_.find(name);
  if (it == sequences_.end()) return out;
  for (const std::string& frameName : it->second)
    if (Texture* frame = frameNamed(frameName)) out.push_back(frame);
  return out;
}

bool Texture::loadImageBytes() {
  FileBytes content;
  bool share = false;
  FileRef file = file_;
  if (!file.readAll(content, share)) return false;
  bytes_ = content.take();
  return !bytes_.empty();
}

bool Texture::createFromBytes() {
  IDirect3DDevice9* device = stateCache().device();
  if (!device || bytes_.empty()) return false;
  IDirect3DTexture9* made = nullptr;
  if (FAILED(D3DXCreateTextureFromFileInMemoryEx(device, bytes_.data(), static_cast<UINT>(bytes_.size()), width_,
                                                 height_, levels_, usage_, format_, pool_, filter_, mipFilter_,
                                                 colorKey_, &imageInfo_, nullptr, &made)))
    return false;
  holdDeviceTexture(made);
  // Once the device holds the picture, the file's bytes are let go where the file can be read
  // again when the device is lost; a frame keeps its own to put back into its rectangle.
  if (!parent_ && canReadAgain()) std::vector<uint8_t>().swap(bytes_);
  return true;
}

void Texture::keepShape(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool) {
  width_ = width;
  height_ = height;
  levels_ = levels;
  usage_ = usage;
  format_ = format;
  pool_ = pool;
}

void Texture::holdDeviceTexture(IDirect3DTexture9* made) {
  safeRelease(texture_);
  texture_ = made;
}

bool Texture::createEmptyDeviceTexture(IDirect3DDevice9* device) {
  IDirect3DTexture9* made = nullptr;
  if (FAILED(D3DXCreateTexture(device, width_, height_, levels_, usage_, format_, pool_, &made))) return false;
  holdDeviceTexture(made);
  return true;
}

bool Texture::loadDeviceTextureByName(IDirect3DDevice9* device) {
  IDirect3DTexture9* made = nullptr;
  if (FAILED(D3DXCreateTextureFromFileExA(device, fileName_.c_str(), width_, height_, levels_, usage_, format_, pool_,
                                          filter_, mipFilter_, colorKey_, &imageInfo_, nullptr, &made)))
    return false;
  holdDeviceTexture(made);
  return true;
}

bool Texture::canReadAgain() const {
  return (file_.sources & (Disk | Archive | MemFile)) != 0 && !(file_.sources & Memory);
}

void Texture::adoptNewTexture(UINT oldWidth, UINT oldHeight) {
  texture_->GetLevelDesc(0, &desc_);
  if (!parent_) rect_ = RECT{0, 0, static_cast<LONG>(desc_.Width), static_cast<LONG>(desc_.Height)};
  levels_ = texture_->GetLevelCount();
  for (Texture* frame : frames_) {
    frame->texture_ = texture_;
    // A frame keeps its place when the image comes back at another size.
    if (oldWidth && oldHeight && (oldWidth != desc_.Width || oldHeight != desc_.Height)) {
      frame->rect_.left = static_cast<LONG>(static_cast<int64_t>(frame->rect_.left) * desc_.Width / oldWidth);
      frame->rect_.right = static_cast<LONG>(static_cast<int64_t>(frame->rect_.right) * desc_.Width / oldWidth);
      frame->rect_.top = static_cast<LONG>(static_cast<int64_t>(frame->rect_.top) * desc_.Height / oldHeight);
      frame->rect_.bottom = static_cast<LONG>(static_cast<int64_t>(frame->rect_.bottom) * desc_.Height / oldHeight);
    }
    frame->desc_ = desc_;
  }
}

bool Texture::createFromFile(const std::string& name, uint32_t sourceFlags, UINT width, UINT height, UINT levels,
                             DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD filter, DWORD mipFilter,
                             D3DCOLOR colorKey) {
  fileName_ = name;
  sourceFlags_ = sourceFlags;
  keepShape(width, height, levels, usage, format, pool);
  filter_ = filter;
  mipFilter_ = mipFilter;
  colorKey_ = colorKey;
  if (sourceFlags & ParametersOnly) return true;
  IDirect3DDevice9* device = stateCache().device();
  if (!device) return false;
  const UINT oldWidth = desc_.Width, oldHeight = desc_.Height;
  if (sourceFlags & ReadBytes) {
    if (!loadImageBytes() || !createFromBytes()) return false;
  } else if (sourceFlags & SuppliedBytes) {
    if (!createFromBytes()) return false;
  } else if (!loadDeviceTextureByName(device)) {
    return false;
  }
  adoptNewTexture(oldWidth, oldHeight);
  return true;
}

bool Texture::createEmpty(uint32_t sourceFlags, UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                          D3DPOOL pool) {
  sourceFlags_ = sourceFlags | EmptyTexture;
  keepShape(width, height, levels, usage, format, pool);
  if (sourceFlags & ParametersOnly) return true;
  IDirect3DDevice9* device = stateCache().device();
  if (!device || !createEmptyDeviceTexture(device)) return false;
  adoptNewTexture(0, 0);
  return true;
}

bool Texture::loadFromRequest(const TextureRequest& r) {
  registerDeviceObject();
  width_ = r.flags & TextureRequest::Size ? r.width : 0;
  height_ = r.flags & TextureRequest::Size ? r.height : 0;
  // A picture from a file gets its whole chain of smaller levels, so that it stays calm when
  // drawn small; an empty texture is filled by its owner at the top level only.
  levels_ = r.flags & TextureRequest::Levels ? r.levels : r.file.sources != 0 ? D3DX_DEFAULT : 1u;
  usage_ = r.flags & TextureRequest::Usage ? r.usage : 0;
  format_ = r.flags & TextureRequest::Format ? r.format : D3DFMT_UNKNOWN;
  pool_ = r.flags & TextureRequest::Pool ? r.pool : D3DPOOL_MANAGED;
  filter_ = r.flags & TextureRequest::Filters ? r.filter : D3DX_FILTER_BOX;
  mipFilter_ = r.flags & TextureRequest::Filters ? r.mipFilter : D3DX_FILTER_BOX;
  colorKey_ = r.flags & TextureRequest::ColorKey ? r.colorKey : 0;
  const uint32_t paramsOnly = r.parametersOnly ? uint32_t{ParametersOnly} : 0u;
  file_ = r.file;
  fileName_ = r.file.name;

  if (r.file.sources != 0 && hasExtensionTs(r.file.name)) {
    // A descriptor is read as text wherever it lives; its image names are found next to it.
    FileBytes content;
    bool share = false;
    FileRef file = r.file;
    if (!file.readAll(content, share)) return false;
    UdfNode root;
    const std::string_view text(reinterpret_cast<const char*>(content.data()), content.size());
    parseUdfText(text, root, paths_);
    return loadDescriptor(root, nullptr);
  }
  if (r.file.sources & Disk) {
    return createFromFile(r.file.name, ReadBytes | paramsOnly, width_, height_, levels_, usage_, format_, pool_,
                          filter_, mipFilter_, colorKey_);
  }
  if (r.file.sources & (Archive | MemFile | Memory)) {
    sourceFlags_ = SuppliedBytes | paramsOnly;
    if (!loadImageBytes()) return false;
    if (paramsOnly) return true;
    const UINT oldWidth = desc_.Width, oldHeight = desc_.Height;
    if (!createFromBytes()) return false;
    adoptNewTexture(oldWidth, oldHeight);
    return true;
  }
  return createEmpty(paramsOnly, width_, height_, levels_, usage_, format_, pool_);
}

void Texture::cutFrames(Texture& child, const UdfNode& value) {
  // A child without a rectangle is cut into cells of its own "Width" x "Height" (the whole
  // texture when absent), row by row; each cell is a frame named after the child's "Id" and
  // its number.
  const UINT w = desc_.Width, h = desc_.Height;
  bool hasW = false, hasH = false;
  const int32_t cellW = readInt(value, "Width", 0, &hasW), cellH = readInt(value, "Height", 0, &hasH);
  const UINT cw = hasW && cellW > 0 ? std::min<UINT>(static_cast<UINT>(cellW), w) : w;
  const UINT ch = hasH && cellH > 0 ? std::min<UINT>(static_cast<UINT>(cellH), h) : h;
  if (cw == 0 || ch == 0) return;
  // A forged cell size cannot make more frames than a texture could sensibly hold.
  constexpr UINT kMaxFrames = 4096;
  UINT index = 0;
  for (UINT y = 0; y + ch <= h && index < kMaxFrames; y += ch) {
    for (UINT x = 0; x + cw <= w && index < kMaxFrames; x += cw, ++index) {
      auto frame = std::make_unique<Texture>();
      frame->parent_ = this;
      frame->texture_ = texture_;
      frame->desc_ = desc_;
      frame->kind_ = 2;
      frame->rect_ = RECT{static_cast<LONG>(x), static_cast<LONG>(y), static_cast<LONG>(x + cw),
                          static_cast<LONG>(y + ch)};
      frame->id_ = child.id_ + std::to_string(index);
      frame->delay_ = child.delay_;
      frame->sourceFlags_ = ParametersOnly;
      frames_.push_back(frame.get());
      ownedFrames_.push_back(std::move(frame));
    }
  }
}

bool Texture::loadDescriptor(const UdfNode& value, Texture* parent) {
  if (!registerDeviceObject()) return false;
  parent_ = parent;
  const std::string fileName = readText(value, "FileName");
  const std::string initFlags = readText(value, "InitFlags");
  bool hasWidth = false, hasHeight = false;
  const int32_t w = readInt(value, "Width", 0, &hasWidth), h = readInt(value, "Height", 0, &hasHeight);
  const bool sized = hasWidth && hasHeight && w > 0 && h > 0;
  const UINT width = sized ? static_cast<UINT>(w) : D3DX_DEFAULT;
  const UINT height = sized ? static_cast<UINT>(h) : D3DX_DEFAULT;
  bool hasDelay = false;
  delay_ = readInt(value, "Delay", 0, &hasDelay);
  if (!hasDelay && parent) delay_ = parent->delay_;
  const DWORD usage = readText(value, "Usage") == "D3DUSAGE_DYNAMIC" ? D3DUSAGE_DYNAMIC : 0;
  id_ = readText(value, "Id");
  const std::string poolText = readText(value, "Pool");
  D3DPOOL pool = D3DPOOL_MANAGED;
  if (poolText == "D3DPOOL_DEFAULT") pool = D3DPOOL_DEFAULT;
  else if (poolText == "D3DPOOL_SYSTEMMEM")
    pool = D3DPOOL_SYSTEMMEM;
  // Without "Levels" a descriptor that brings pictures gets the whole chain.
  const bool bringsPictures = !fileName.empty() || value.findChild("Subs") != nullptr;
  const int32_t levels = readInt(value, "Levels", bringsPictures ? 0 : 1);
  const D3DFORMAT format = formatFromText(readText(value, "Format"));
  D3DCOLOR colorKey = 0;
  if (const UdfNode* key = value.findChild("ColorKey")) colorKey = readColour(*key);
  const DWORD filter = filterFromText(readText(value, "Filter"), D3DX_FILTER_LINEAR);
  const DWORD mipFilter = filterFromText(readText(value, "MipFilter"), D3DX_FILTER_BOX);
  const UINT levelCount = levels < 0 ? 1u : levels == 0 ? D3DX_DEFAULT : static_cast<UINT>(levels);

  // Frames draw into their parent's texture: they keep their parameters (and image bytes)
  // for restoring their rectangle, and make no device texture of their own.
  const uint32_t ownTexture = parent ? uint32_t{ParametersOnly} : 0u;
  bool ok;
  if (!fileName.empty()) {
    FileRef image(fileName);
    if (paths_) paths_->resolve(image);
    const FileRef here = file_.directoryOf();
    if (!(image.sources == Disk && DiskStream().open(image.name, Read))) {
      SearchPaths local;
      if (here.sources) local.addLocation(here);
      FileRef again(fileName);
      again.sources = uint32_t{Disk} | ((here.sources & Archive) ? uint32_t{Archive} : 0u);
      again.archive = here.archive;
      if (local.resolve(again)) image = again;
    }
    file_ = image;
    const uint32_t source = initFlags == "SAVE_NAME" ? LoadByName : ReadBytes;
    if (parent && source == ReadBytes && !loadImageBytes()) return false;
    ok = createFromFile(image.name, source | ownTexture, width, height, levelCount, usage, format, pool, filter,
                        mipFilter, colorKey);
  } else {
    ok = createEmpty(ownTexture, width, height, levelCount, usage, format, pool);
  }
  if (!ok) return false;

  bool hasX1 = false, hasY1 = false, hasX2 = false, hasY2 = false, hasW = false, hasH = false;
  const int32_t x1 = readInt(value, "x1", 0, &hasX1), y1 = readInt(value, "y1", 0, &hasY1);
  const int32_t x2 = readInt(value, "x2", 0, &hasX2), y2 = readInt(value, "y2", 0, &hasY2);
  const int32_t rw = readInt(value, "w", 0, &hasW), rh = readInt(value, "h", 0, &hasH);
  if (hasX1 && hasY1 && (hasX2 || hasH) && (hasY2 || hasW)) {
    // The size form: "w" and "h" are width and height from (x1, y1).
    const LONG right = hasW ? x1 + rw : x2;
    const LONG bottom = hasH ? y1 + rh : y2;
    rect_ = RECT{x1, y1, right, bottom};
    kind_ = 2;
  }

  if (!parent) {
    if (const UdfNode* subs = value.findChild("Subs")) {
      std::vector<const UdfNode*> elements;
      subs->forEachInOrder([&](const UdfNode& element) { elements.push_back(&element); });
      for (const UdfNode* element : elements) {
        auto child = std::make_unique<Texture>();
        child->file_ = file_;
        child->paths_ = paths_;
        if (!child->loadDescriptor(*element, this)) return false;
        child->texture_ = texture_;
        child->desc_ = desc_;
        if (child->kind_ == 2) {
          frames_.push_back(child.get());
          ownedFrames_.push_back(std::move(child));
        } else {
          cutFrames(*child, *element);
        }
      }
      if (!restoreFrames()) return false;
    }
    if (const UdfNode* animation = value.findChild("Animation")) {
      animation->forEachInOrder([&](const UdfNode& sequence) {
        std::vector<std::string> names;
        sequence.forEachInOrder([&](const UdfNode& frame) { names.push_back(frame.asString()); });
        sequences_[sequence.name()] = std::move(names);
      });
    }
  }
  return true;
}

bool Texture::restore() {
  if (sourceFlags_ & ParametersOnly && !parent_) return true;
  IDirect3DDevice9* device = stateCache().device();
  if (!device) return false;
  if (parent_) {
    // A frame puts its own image, if it has one, into its rectangle of the parent.
    texture_ = parent_->texture_;
    desc_ = parent_->desc_;
    if (!texture_ || (fileName_.empty() && bytes_.empty())) return true;
    IDirect3DSurface9* surface = nullptr;
    if (FAILED(texture_->GetSurfaceLevel(0, &surface))) return false;
    HRESULT hr;
    if (sourceFlags_ & LoadByName) {
      hr = D3DXLoadSurfaceFromFileA(surface, nullptr, &rect_, fileName_.c_str(), nullptr, filter_, colorKey_, nullptr);
    } else {
      hr = bytes_.empty() ? D3DERR_INVALIDCALL
                          : D3DXLoadSurfaceFromFileInMemory(surface, nullptr, &rect_, bytes_.data(),
                                                            static_cast<UINT>(bytes_.size()), nullptr, filter_,
                                                            colorKey_, nullptr);
    }
    surface->Release();
    return SUCCEEDED(hr);
  }
  const UINT oldWidth = desc_.Width, oldHeight = desc_.Height;
  if (sourceFlags_ & EmptyTexture) {
    if (!createEmptyDeviceTexture(device)) return false;
  } else if (sourceFlags_ & LoadByName) {
    if (!loadDeviceTextureByName(device)) return false;
  } else {
    if (bytes_.empty() && (!canReadAgain() || !loadImageBytes())) return false;
    if (!createFromBytes()) return false;
  }
  adoptNewTexture(oldWidth, oldHeight);
  return restoreFrames();
}

bool Texture::restoreFrames() {
  for (Texture* frame : frames_)
    if (!frame->restore()) return false;
  // Frames put their pictures into the top level only; the smaller levels follow them.
  if (!frames_.empty() && texture_ && texture_->GetLevelCount() > 1)
    return SUCCEEDED(D3DXFilterTexture(texture_, nullptr, 0, mipFilter_));
  return true;
}

bool Texture::invalidate() {
  if (!parent_) safeRelease(texture_);
  return true;
}

// ---- TextureManager ----

// Never destroyed with the static objects at exit: textures are let go by their owners (the
// application object clears the manager before its device goes), and a texture released
// after the manager was destroyed would reach freed memory.
TextureManager& textureManager() {
  static auto* manager = new TextureManager;
  return *manager;
}

TextureManager::~TextureManager() { clear(); }

void TextureManager::clear() {
  const std::vector<Texture*> all = all_;
  all_.clear();
  byName_.clear();
  for (Texture* t : all) delete t;
}

void TextureManager::forget(Texture* texture) {
  all_.erase(std::remove(all_.begin(), all_.end(), texture), all_.end());
  auto it = byName_.find(texture->managedName_);
  if (it != byName_.end()) {
    it->second.erase(std::remove(it->second.begin(), it->second.end(), texture), it->second.end());
    if (it->second.empty()) byName_.erase(it);
  }
  delete texture;
}

bool TextureManager::matches(const Texture& t, const TextureRequest& r) {
  if ((r.flags & TextureRequest::Format) && t.format_ != r.format) return false;
  if ((r.flags & TextureRequest::ColorKey) && t.colorKey_ != r.colorKey) return false;
  if ((r.flags & TextureRequest::Size) && (t.width_ != r.width || t.height_ != r.height)) return false;
  if ((r.flags & TextureRequest::Usage) && t.usage_ != r.usage) return false;
  if ((r.flags & TextureRequest::Pool) && t.pool_ != r.pool) return false;
  if ((r.flags & TextureRequest::Filters) && (t.filter_ != r.filter || t.mipFilter_ != r.mipFilter)) return false;
  if ((r.flags & TextureRequest::Levels) && t.levels_ != r.levels) return false;
  return true;
}

Texture* TextureManager::subTexture(Texture* texture, const TextureRequest& r) {
  if (!texture) return nullptr;
  if (r.flags & TextureRequest::FrameByIndex)
    return r.frameIndex < texture->frames_.size() ? texture->frames_[r.frameIndex] : nullptr;
  if (r.flags & TextureRequest::FrameByName) return texture->frameNamed(r.frameName);
  return texture;
}

Texture* TextureManager::get(const TextureRequest& request, const SearchPaths* paths) {
  const bool wantsFrame = request.flags & (TextureRequest::FrameByIndex | TextureRequest::FrameByName);
  if (request.flags & TextureRequest::CarriesTexture) {
    Texture* found = subTexture(request.texture, request);
    if (found) found->addRef();
    return found;
  }
  TextureRequest resolved = request;
  const SearchPaths& searchPaths = paths ? *paths : paths_;
  std::string key;
  const bool fileBased = request.file.sources != 0;
  if (fileBased) {
    if (!searchPaths.resolve(resolved.file)) return nullptr;
    key = textureKey(resolved.file);
  }
  if (!request.alwaysCreateNew) {
    auto tryList = [&](const std::vector<Texture*>& list) -> Texture* {
      for (Texture* t : list) {
        if (!matches(*t, request)) continue;
        Texture* found = wantsFrame ? subTexture(t, request) : t;
        if (found) return found;
      }
      return nullptr;
    };
    Texture* found = nullptr;
    if (fileBased) {
      auto it = byName_.find(key);
      if (it != byName_.end()) found = tryList(it->second);
    } else {
      std::vector<Texture*> fileless;
      for (Texture* t : all_)
        if (t->managedName_.empty()) fileless.push_back(t);
      found = tryList(fileless);
    }
    if (found) {
      found->addRef();
      return found;
    }
  }
  if (request.onlyLookUp) return nullptr;
  auto made = std::make_unique<Texture>();
  made->paths_ = &searchPaths;
  if (!made->loadFromRequest(resolved)) {
    logLine("Texture loading failed: " + request.file.name + "\n");
    return nullptr;
  }
  made->paths_ = nullptr;
  Texture* result = wantsFrame ? subTexture(made.get(), request) : made.get();
  if (!result) return nullptr;
  Texture* top = made.release();
  top->manager_ = this;
  top->managedName_ = key;
  byName_[key].push_back(top);
  all_.push_back(top);
  result->addRef();
  return result;
}

}  // namespace halcyon
