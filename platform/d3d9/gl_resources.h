#pragma once
// The GL objects behind the device's resources (internal to platform/d3d9): the context they
// live in, textures, vertex and index buffers, and the shader programs the device links.
#include <SDL.h>
#include <epoxy/gl.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/d3d9/memory_resources.h"

// Unit used for uploads, clear of the eight stage units.
constexpr GLenum kScratchUnit = GL_TEXTURE0 + 15;

// The GL context and its window. Resources keep it alive, so a resource released after its
// device still finds a context in which to delete its GL objects.
struct GLContextHolder {
  SDL_Window* window = nullptr;
  SDL_GLContext context = nullptr;
  ~GLContextHolder();
  // Makes this context current when another one is (another device, or a probe, may have
  // made its own current on this thread).
  void use() const {
    if (context && SDL_GL_GetCurrentContext() != context) SDL_GL_MakeCurrent(window, context);
  }
  // Whether textures can be given all their levels' storage in one call (asked of the
  // context once; it must be current).
  bool hasTextureStorage() const;

 private:
  mutable std::optional<bool> textureStorage_;
};

// Deleting a GL object unbinds it, and its name may come back for a new object: devices that
// remember what they bound compare these counts to know when that memory no longer holds.
uint64_t glTexturesDeleted();
uint64_t glBuffersDeleted();

// The highest of `count` indices of `indexSize` bytes each (0 for none).
uint32_t highestIndexIn(const uint8_t* bytes, size_t count, UINT indexSize);

// A linked program of the two sources, or 0 (said in the log) when either fails to build.
GLuint linkProgram(const std::string& vertex, const std::string& fragment);

// The compiler builds a library of the language's built-in functions at its first compile and
// keeps it, about 7 MB, until told to let it go; building it again takes a few milliseconds.
// Programs are made a few at a time while the room loads and seldom after, so a device lets it
// go after a frame that made some, and the heap pages it held go back to the system at once.
void releaseCompilerIfUsed();

// A texture mirrored into a GL texture with the same levels; formats without alpha sample as
// opaque.
class GLTexture : public MemoryTexture {
 public:
  GLTexture(IDirect3DDevice9* device, std::shared_ptr<GLContextHolder> context, UINT width, UINT height, UINT levels,
            DWORD usage, D3DFORMAT format, D3DPOOL pool);
  GLuint glName() const { return name_; }
  // Before the texture is first sampled: levels nobody has written are given zeros, as a lock
  // of them reads. Storage is made without texels, and a driver may hand out whatever the
  // memory held before (a mip level left unwritten would then show it).
  void zeroUnwrittenLevels();

 protected:
  ~GLTexture() override;
  void levelChanged(UINT level) override;
  void reloadLevel(UINT level, std::vector<uint8_t>& bytes) override;

 private:
  std::shared_ptr<GLContextHolder> context_;
  GLuint name_ = 0;
  // Once GL holds a level, its bytes in memory would only double it; a texture rewritten often
  // (dynamic) keeps them to spare the read-backs.
  bool keepsCopies_ = false;
  bool unwrittenZeroed_ = false;
};

// A GL buffer object that mirrors a buffer's bytes: made with them, then given each unlocked
// range (or all of them again after a discard). Uploads bind it to `target`.
class GLBufferObject {
 public:
  GLBufferObject(std::shared_ptr<GLContextHolder> context, GLenum target, const MemoryBuffer& buffer, DWORD usage);
  ~GLBufferObject();
  GLBufferObject(const GLBufferObject&) = delete;
  GLBufferObject& operator=(const GLBufferObject&) = delete;
  GLuint name() const { return name_; }
  void upload(const MemoryBuffer& buffer);
  // Reads the buffer back from GL into `bytes`, as far as both reach.
  void read(std::vector<uint8_t>& bytes) const;

 private:
  std::shared_ptr<GLContextHolder> context_;
  GLenum target_;
  GLuint name_ = 0;
};

// Once GL holds a vertex buffer's bytes, a copy in memory would only double them: a static
// buffer lets go of it after every unlock, and a lock reads the bytes back from GL. A dynamic
// one, rewritten often, keeps its copy to spare the read-backs.
class GLVertexBuffer : public MemoryVertexBuffer {
 public:
  GLVertexBuffer(IDirect3DDevice9* device, std::shared_ptr<GLContextHolder> context, UINT length, DWORD usage,
                 DWORD fvf, D3DPOOL pool);
  GLuint glName() const { return gl_.name(); }
  HRESULT Unlock() override;

 protected:
  ~GLVertexBuffer() override = default;
  void contentsChanged() override { gl_.upload(*this); }
  void reloadBytes(std::vector<uint8_t>& bytes) override { gl_.read(bytes); }

 private:
  GLBufferObject gl_;
  bool keepsCopy_;
};

// Index buffers keep their bytes: a draw that the buffer's highest index does not settle
// checks its own range of them.
class GLIndexBuffer : public MemoryIndexBuffer {
 public:
  GLIndexBuffer(IDirect3DDevice9* device, std::shared_ptr<GLContextHolder> context, UINT length, DWORD usage,
                D3DFORMAT format, D3DPOOL pool);
  GLuint glName() const { return gl_.name(); }
  // No index in the buffer is higher (a fresh buffer holds zeros).
  uint32_t highestIndex() const { return highest_; }

 protected:
  ~GLIndexBuffer() override = default;
  void contentsChanged() override;

 private:
  GLBufferObject gl_;
  uint32_t highest_ = 0;
};
