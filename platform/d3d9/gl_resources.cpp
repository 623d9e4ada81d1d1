#include "platform/d3d9/gl_resources.h"

#include <malloc.h>

#include <algorithm>
#include <cstring>

namespace {

uint64_t gTexturesDeleted = 0;
uint64_t gBuffersDeleted = 0;

GLuint compileShader(GLenum type, const std::string& source) {
  const GLuint shader = glCreateShader(type);
  const char* text = source.c_str();
  glShaderSource(shader, 1, &text, nullptr);
  glCompileShader(shader);
  GLint ok = 0;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
  if (!ok) {
    char log[2048] = {};
    glGetShaderInfoLog(shader, sizeof log - 1, nullptr, log);
    SDL_Log("shader compile failed: %s\n%s", log, text);
    glDeleteShader(shader);
    return 0;
  }
  return shader;
}

// Whether a program was compiled since the compiler was last let go.
bool gCompilerUsed = false;

}  // namespace

uint64_t glTexturesDeleted() { return gTexturesDeleted; }
uint64_t glBuffersDeleted() { return gBuffersDeleted; }

uint32_t highestIndexIn(const uint8_t* bytes, size_t count, UINT indexSize) {
  uint32_t highest = 0;
  for (size_t i = 0; i < count; ++i) {
    uint32_t index = 0;
    std::memcpy(&index, bytes + i * indexSize, indexSize);
    highest = std::max(highest, index);
  }
  return highest;
}

GLuint linkProgram(const std::string& vertex, const std::string& fragment) {
  gCompilerUsed = true;
  const GLuint vs = compileShader(GL_VERTEX_SHADER, vertex);
  const GLuint fs = compileShader(GL_FRAGMENT_SHADER, fragment);
  if (!vs || !fs) {
    if (vs) glDeleteShader(vs);
    if (fs) glDeleteShader(fs);
    return 0;
  }
  const GLuint program = glCreateProgram();
  glAttachShader(program, vs);
  glAttachShader(program, fs);
  glLinkProgram(program);
  glDeleteShader(vs);
  glDeleteShader(fs);
  GLint ok = 0;
  glGetProgramiv(program, GL_LINK_STATUS, &ok);
  if (!ok) {
    char log[2048] = {};
    glGetProgramInfoLog(program, sizeof log - 1, nullptr, log);
    SDL_Log("program link failed: %s", log);
    glDeleteProgram(program);
    return 0;
  }
  return program;
}

void releaseCompilerIfUsed() {
  if (!gCompilerUsed) return;
  gCompilerUsed = false;
  glReleaseShaderCompiler();
  malloc_trim(0);
}

GLContextHolder::~GLContextHolder() {
  if (context) SDL_GL_DeleteContext(context);
}

bool GLContextHolder::hasTextureStorage() const {
  if (!textureStorage_) textureStorage_ = epoxy_gl_version() >= 42 || epoxy_has_gl_extension("GL_ARB_texture_storage");
  return *textureStorage_;
}

GLTexture::GLTexture(IDirect3DDevice9* device, std::shared_ptr<GLContextHolder> context, UINT width, UINT height,
                     UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool)
    : MemoryTexture(device, width, height, levels, usage, format, pool, LevelHome::Elsewhere),
      context_(std::move(context)) {
  if (!valid()) return;
  keepsCopies_ = (usage & D3DUSAGE_DYNAMIC) != 0;
  context_->use();
  glGenTextures(1, &name_);
  glActiveTexture(kScratchUnit);
  glBindTexture(GL_TEXTURE_2D, name_);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(GetLevelCount()) - 1);
  if (!formatHasAlpha()) glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_A, GL_ONE);
  // Storage only: a level's texels arrive with its first unlock, and until then a lock reads
  // it as zeros from memory without asking GL. Storage made in one piece is complete at once,
  // where levels specified one by one are gathered into one block at the first draw.
  const GLsizei w = static_cast<GLsizei>(width), h = static_cast<GLsizei>(height);
  if (context_->hasTextureStorage()) {
    glTexStorage2D(GL_TEXTURE_2D, static_cast<GLsizei>(GetLevelCount()), GL_RGBA8, w, h);
  } else {
    for (UINT i = 0; i < GetLevelCount(); ++i)
      glTexImage2D(GL_TEXTURE_2D, static_cast<GLint>(i), GL_RGBA8, static_cast<GLsizei>(levelWidth(i)),
                   static_cast<GLsizei>(levelHeight(i)), 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
  }
}

GLTexture::~GLTexture() {
  context_->use();
  if (name_) glDeleteTextures(1, &name_);
  ++gTexturesDeleted;
}

void GLTexture::levelChanged(UINT level) {
  if (!name_) return;
  context_->use();
  const UINT w = levelWidth(level), h = levelHeight(level);
  const std::vector<uint8_t>& bytes = levelBytes(level);
  std::vector<uint8_t> converted;
  const uint8_t* data = bytes.data();
  if (format() != D3DFMT_A8R8G8B8 && format() != D3DFMT_X8R8G8B8) {
    converted.resize(static_cast<size_t>(w) * h * 4);
    const UINT bpp = bytesPerTexel(format());
    for (size_t i = 0; i < static_cast<size_t>(w) * h; ++i) {
      const D3DCOLOR c = decodeTexel(format(), bytes.data() + i * bpp);
      std::memcpy(converted.data() + i * 4, &c, 4);
    }
    data = converted.data();
  }
  glActiveTexture(kScratchUnit);
  glBindTexture(GL_TEXTURE_2D, name_);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexSubImage2D(GL_TEXTURE_2D, static_cast<GLint>(level), 0, 0, static_cast<GLsizei>(w), static_cast<GLsizei>(h),
                  GL_BGRA, GL_UNSIGNED_BYTE, data);
  if (!keepsCopies_) releaseLevelBytes(level);
}

void GLTexture::zeroUnwrittenLevels() {
  if (unwrittenZeroed_ || !name_) return;
  unwrittenZeroed_ = true;
  std::vector<uint8_t> zeros;
  for (UINT level = 0; level < GetLevelCount(); ++level) {
    if (levelWritten(level)) continue;
    const UINT w = levelWidth(level), h = levelHeight(level);
    zeros.assign(static_cast<size_t>(w) * h * 4, 0);
    context_->use();
    glActiveTexture(kScratchUnit);
    glBindTexture(GL_TEXTURE_2D, name_);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexSubImage2D(GL_TEXTURE_2D, static_cast<GLint>(level), 0, 0, static_cast<GLsizei>(w), static_cast<GLsizei>(h),
                    GL_BGRA, GL_UNSIGNED_BYTE, zeros.data());
  }
}

void GLTexture::reloadLevel(UINT level, std::vector<uint8_t>& bytes) {
  if (!name_) return;
  context_->use();
  const size_t count = static_cast<size_t>(levelWidth(level)) * levelHeight(level);
  std::vector<D3DCOLOR> texels(count);
  glActiveTexture(kScratchUnit);
  glBindTexture(GL_TEXTURE_2D, name_);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glGetTexImage(GL_TEXTURE_2D, static_cast<GLint>(level), GL_BGRA, GL_UNSIGNED_BYTE, texels.data());
  const UINT bpp = bytesPerTexel(format());
  if (bytes.size() < count * bpp) return;
  for (size_t i = 0; i < count; ++i) encodeTexel(format(), texels[i], bytes.data() + i * bpp);
}

GLBufferObject::GLBufferObject(std::shared_ptr<GLContextHolder> context, GLenum target, const MemoryBuffer& buffer,
                               DWORD usage)
    : context_(std::move(context)), target_(target) {
  context_->use();
  glGenBuffers(1, &name_);
  glBindBuffer(target_, name_);
  glBufferData(target_, buffer.size(), buffer.bytes().data(),
               (usage & D3DUSAGE_DYNAMIC) ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW);
}

GLBufferObject::~GLBufferObject() {
  context_->use();
  if (name_) glDeleteBuffers(1, &name_);
  ++gBuffersDeleted;
}

void GLBufferObject::upload(const MemoryBuffer& buffer) {
  context_->use();
  glBindBuffer(target_, name_);
  if (buffer.discarded()) {
    glBufferData(target_, buffer.size(), buffer.bytes().data(), GL_DYNAMIC_DRAW);
  } else {
    glBufferSubData(target_, buffer.dirtyBegin(), buffer.dirtyEnd() - buffer.dirtyBegin(),
                    buffer.bytes().data() + buffer.dirtyBegin());
  }
}

void GLBufferObject::read(std::vector<uint8_t>& bytes) const {
  context_->use();
  GLint size = 0;
  glBindBuffer(GL_COPY_READ_BUFFER, name_);
  glGetBufferParameteriv(GL_COPY_READ_BUFFER, GL_BUFFER_SIZE, &size);
  const size_t count = std::min(bytes.size(), static_cast<size_t>(std::max(size, 0)));
  if (count > 0) glGetBufferSubData(GL_COPY_READ_BUFFER, 0, static_cast<GLsizeiptr>(count), bytes.data());
}

GLVertexBuffer::GLVertexBuffer(IDirect3DDevice9* device, std::shared_ptr<GLContextHolder> context, UINT length,
                               DWORD usage, DWORD fvf, D3DPOOL pool)
    : MemoryVertexBuffer(device, length, usage, fvf, pool),
      gl_(std::move(context), GL_ARRAY_BUFFER, *this, usage),
      keepsCopy_((usage & D3DUSAGE_DYNAMIC) != 0) {}

HRESULT GLVertexBuffer::Unlock() {
  const HRESULT hr = MemoryVertexBuffer::Unlock();
  if (SUCCEEDED(hr) && !keepsCopy_) releaseBytes();
  return hr;
}

// Index uploads go through the copy target so that no vertex array's index binding changes.
GLIndexBuffer::GLIndexBuffer(IDirect3DDevice9* device, std::shared_ptr<GLContextHolder> context, UINT length,
                             DWORD usage, D3DFORMAT format, D3DPOOL pool)
    : MemoryIndexBuffer(device, length, usage, format, pool),
      gl_(std::move(context), GL_COPY_WRITE_BUFFER, *this, usage) {}

void GLIndexBuffer::contentsChanged() {
  // Only ever raised, so it stays an upper bound of every index the buffer holds.
  const UINT indexSize = format() == D3DFMT_INDEX32 ? 4 : 2;
  const size_t first = dirtyBegin() / indexSize, last = (dirtyEnd() + indexSize - 1) / indexSize;
  const size_t end = std::min<size_t>(last, size() / indexSize);
  if (end > first)
    highest_ = std::max(highest_, highestIndexIn(bytes().data() + first * indexSize, end - first, indexSize));
  gl_.upload(*this);
}
