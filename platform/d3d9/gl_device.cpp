#include "platform/d3d9/gl_device.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Unit used for uploads, clear of the eight stage units.
constexpr GLenum kScratchUnit = GL_TEXTURE0 + 15;

// Deleting a GL object unbinds it, and its name may come back for a new object: devices that
// remember what they bound compare these counts to know when that memory no longer holds.
uint64_t gTexturesDeleted = 0;
uint64_t gBuffersDeleted = 0;

uint32_t highestIndexIn(const uint8_t* bytes, size_t count, UINT indexSize) {
  uint32_t highest = 0;
  for (size_t i = 0; i < count; ++i) {
    uint32_t index = 0;
    std::memcpy(&index, bytes + i * indexSize, indexSize);
    highest = std::max(highest, index);
  }
  return highest;
}

bool formatHasAlphaChannel(D3DFORMAT format) {
  switch (format) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_A1R5G5B5:
    case D3DFMT_A4R4G4B4:
    case D3DFMT_A8B8G8R8:
    case D3DFMT_A8L8:
    case D3DFMT_A8:
    case D3DFMT_A2R10G10B10: return true;
    default: return false;
  }
}

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

GLuint linkProgram(const std::string& vertex, const std::string& fragment) {
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

GLenum compareFunc(DWORD f) {
  switch (f) {
    case D3DCMP_NEVER: return GL_NEVER;
    case D3DCMP_LESS: return GL_LESS;
    case D3DCMP_EQUAL: return GL_EQUAL;
    case D3DCMP_LESSEQUAL: return GL_LEQUAL;
    case D3DCMP_GREATER: return GL_GREATER;
    case D3DCMP_NOTEQUAL: return GL_NOTEQUAL;
    case D3DCMP_GREATEREQUAL: return GL_GEQUAL;
    default: return GL_ALWAYS;
  }
}

GLenum blendFactor(DWORD b) {
  switch (b) {
    case D3DBLEND_ZERO: return GL_ZERO;
    case D3DBLEND_ONE: return GL_ONE;
    case D3DBLEND_SRCCOLOR: return GL_SRC_COLOR;
    case D3DBLEND_INVSRCCOLOR: return GL_ONE_MINUS_SRC_COLOR;
    case D3DBLEND_SRCALPHA: return GL_SRC_ALPHA;
    case D3DBLEND_INVSRCALPHA: return GL_ONE_MINUS_SRC_ALPHA;
    case D3DBLEND_DESTALPHA: return GL_DST_ALPHA;
    case D3DBLEND_INVDESTALPHA: return GL_ONE_MINUS_DST_ALPHA;
    case D3DBLEND_DESTCOLOR: return GL_DST_COLOR;
    case D3DBLEND_INVDESTCOLOR: return GL_ONE_MINUS_DST_COLOR;
    case D3DBLEND_SRCALPHASAT: return GL_SRC_ALPHA_SATURATE;
    case D3DBLEND_BLENDFACTOR: return GL_CONSTANT_COLOR;
    case D3DBLEND_INVBLENDFACTOR: return GL_ONE_MINUS_CONSTANT_COLOR;
    default: return GL_ONE;
  }
}

GLenum blendOp(DWORD op) {
  switch (op) {
    case D3DBLENDOP_SUBTRACT: return GL_FUNC_SUBTRACT;
    case D3DBLENDOP_REVSUBTRACT: return GL_FUNC_REVERSE_SUBTRACT;
    case D3DBLENDOP_MIN: return GL_MIN;
    case D3DBLENDOP_MAX: return GL_MAX;
    default: return GL_FUNC_ADD;
  }
}

GLenum stencilOp(DWORD op) {
  switch (op) {
    case D3DSTENCILOP_ZERO: return GL_ZERO;
    case D3DSTENCILOP_REPLACE: return GL_REPLACE;
    case D3DSTENCILOP_INCRSAT: return GL_INCR;
    case D3DSTENCILOP_DECRSAT: return GL_DECR;
    case D3DSTENCILOP_INVERT: return GL_INVERT;
    case D3DSTENCILOP_INCR: return GL_INCR_WRAP;
    case D3DSTENCILOP_DECR: return GL_DECR_WRAP;
    default: return GL_KEEP;
  }
}

GLenum addressMode(DWORD a) {
  switch (a) {
    case D3DTADDRESS_MIRROR: return GL_MIRRORED_REPEAT;
    case D3DTADDRESS_CLAMP: return GL_CLAMP_TO_EDGE;
    case D3DTADDRESS_BORDER: return GL_CLAMP_TO_BORDER;
    case D3DTADDRESS_MIRRORONCE: return GL_MIRRORED_REPEAT;
    default: return GL_REPEAT;
  }
}

void colourToFloats(D3DCOLOR c, float out[4]) {
  out[0] = static_cast<float>((c >> 16) & 0xFF) / 255.0f;
  out[1] = static_cast<float>((c >> 8) & 0xFF) / 255.0f;
  out[2] = static_cast<float>(c & 0xFF) / 255.0f;
  out[3] = static_cast<float>(c >> 24) / 255.0f;
}

// Normals go through the inverse of the world-view matrix's rotation and scale (the shader's
// column vectors see the device's row-vector matrix transposed, which makes this the familiar
// inverse transpose). Computed once a draw instead of once a vertex; a matrix that flattens
// space keeps its adjugate, which still points the normals the right way.
struct NormalMatrix {
  float m[9];
};

NormalMatrix normalMatrixOf(const D3DMATRIX& t) {
  auto a = [&](int r, int c) { return t.m[r][c]; };
  NormalMatrix adj{};
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) {
      const int r1 = (c + 1) % 3, r2 = (c + 2) % 3, c1 = (r + 1) % 3, c2 = (r + 2) % 3;
      adj.m[r * 3 + c] = a(r1, c1) * a(r2, c2) - a(r1, c2) * a(r2, c1);
    }
  const float det = a(0, 0) * adj.m[0] + a(0, 1) * adj.m[3] + a(0, 2) * adj.m[6];
  if (det != 0.0f)
    for (float& v : adj.m) v /= det;
  return adj;
}

D3DMATRIX multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
  D3DMATRIX r{};
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      float s = 0;
      for (int k = 0; k < 4; ++k) s += a.m[i][k] * b.m[k][j];
      r.m[i][j] = s;
    }
  return r;
}

const char* kPresentVertex = R"(#version 330 core
out vec2 uv;
void main() {
  vec2 p = vec2(gl_VertexID == 1 ? 3.0 : -1.0, gl_VertexID == 2 ? 3.0 : -1.0);
  uv = p * 0.5 + 0.5;
  gl_Position = vec4(p, 0.0, 1.0);
}
)";

// Every channel of the finished frame is looked up in the ramp of its own colour. The table
// holds each entry's 8-bit level, so a stored level comes out as exactly that level.
const char* kPresentFragment = R"(#version 330 core
in vec2 uv;
uniform sampler2D uSource;
uniform sampler2D uGamma;
out vec4 colour;
void main() {
  vec3 c = texture(uSource, uv).rgb;
  ivec3 i = ivec3(floor(clamp(c, 0.0, 1.0) * 255.0 + 0.5));
  colour = vec4(texelFetch(uGamma, ivec2(i.r, 0), 0).r, texelFetch(uGamma, ivec2(i.g, 0), 0).g,
                texelFetch(uGamma, ivec2(i.b, 0), 0).b, 1.0);
}
)";

// Drains the GL error queue so that the next check sees only what follows.
void clearGLErrors() {
  for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i) {
  }
}

}  // namespace

GLContextHolder::~GLContextHolder() {
  if (context) SDL_GL_DeleteContext(context);
}

// ---- resources ----

GLTexture::GLTexture(IDirect3DDevice9* device, std::shared_ptr<GLContextHolder> context, UINT width, UINT height,
                     UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool)
    : MemoryTexture(device, width, height, levels, usage, format, pool), context_(std::move(context)) {
  if (!valid()) return;
  keepsCopies_ = (usage & D3DUSAGE_DYNAMIC) != 0;
  context_->use();
  glGenTextures(1, &name_);
  glActiveTexture(kScratchUnit);
  glBindTexture(GL_TEXTURE_2D, name_);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(GetLevelCount()) - 1);
  if (!formatHasAlpha()) glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_A, GL_ONE);
  for (UINT i = 0; i < GetLevelCount(); ++i)
    glTexImage2D(GL_TEXTURE_2D, static_cast<GLint>(i), GL_RGBA8, static_cast<GLsizei>(levelWidth(i)),
                 static_cast<GLsizei>(levelHeight(i)), 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
  for (UINT i = 0; i < GetLevelCount(); ++i) levelChanged(i);
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
  glTexSubImage2D(GL_TEXTURE_2D, static_cast<GLint>(level), 0, 0, static_cast<GLsizei>(w), static_cast<GLsizei>(h), GL_BGRA,
                  GL_UNSIGNED_BYTE, data);
  if (!keepsCopies_) releaseLevelBytes(level);
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

GLVertexBuffer::GLVertexBuffer(IDirect3DDevice9* device, std::shared_ptr<GLContextHolder> context, UINT length,
                               DWORD usage, DWORD fvf, D3DPOOL pool)
    : MemoryVertexBuffer(device, length, usage, fvf, pool), context_(std::move(context)) {
  context_->use();
  glGenBuffers(1, &name_);
  glBindBuffer(GL_ARRAY_BUFFER, name_);
  glBufferData(GL_ARRAY_BUFFER, length, bytes().data(), (usage & D3DUSAGE_DYNAMIC) ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW);
}

GLVertexBuffer::~GLVertexBuffer() {
  context_->use();
  if (name_) glDeleteBuffers(1, &name_);
  ++gBuffersDeleted;
}

void GLVertexBuffer::contentsChanged() {
  context_->use();
  glBindBuffer(GL_ARRAY_BUFFER, name_);
  if (discarded()) {
    glBufferData(GL_ARRAY_BUFFER, size(), bytes().data(), GL_DYNAMIC_DRAW);
  } else {
    glBufferSubData(GL_ARRAY_BUFFER, dirtyBegin(), dirtyEnd() - dirtyBegin(), bytes().data() + dirtyBegin());
  }
}

GLIndexBuffer::GLIndexBuffer(IDirect3DDevice9* device, std::shared_ptr<GLContextHolder> context, UINT length,
                             DWORD usage, D3DFORMAT format, D3DPOOL pool)
    : MemoryIndexBuffer(device, length, usage, format, pool), context_(std::move(context)) {
  context_->use();
  glGenBuffers(1, &name_);
  // Uploads go through the copy target so that no vertex array's index binding changes.
  glBindBuffer(GL_COPY_WRITE_BUFFER, name_);
  glBufferData(GL_COPY_WRITE_BUFFER, length, bytes().data(), (usage & D3DUSAGE_DYNAMIC) ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW);
}

GLIndexBuffer::~GLIndexBuffer() {
  context_->use();
  if (name_) glDeleteBuffers(1, &name_);
  ++gBuffersDeleted;
}

void GLIndexBuffer::contentsChanged() {
  // Only ever raised, so it stays an upper bound of every index the buffer holds.
  const UINT indexSize = format() == D3DFMT_INDEX32 ? 4 : 2;
  const size_t first = dirtyBegin() / indexSize, last = (dirtyEnd() + indexSize - 1) / indexSize;
  const size_t end = std::min<size_t>(last, size() / indexSize);
  if (end > first) highest_ = std::max(highest_, highestIndexIn(bytes().data() + first * indexSize, end - first, indexSize));
  context_->use();
  glBindBuffer(GL_COPY_WRITE_BUFFER, name_);
  if (discarded()) {
    glBufferData(GL_COPY_WRITE_BUFFER, size(), bytes().data(), GL_DYNAMIC_DRAW);
  } else {
    glBufferSubData(GL_COPY_WRITE_BUFFER, dirtyBegin(), dirtyEnd() - dirtyBegin(), bytes().data() + dirtyBegin());
  }
}

// The back buffer seen as a surface: locking reads the finished pixels back.
namespace {
class GLBackBufferSurface : public MemorySurface {
 public:
  GLBackBufferSurface(GLDevice* device, const D3DSURFACE_DESC& desc) : MemorySurface(device, desc), device_(device) {}
  HRESULT LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override {
    D3DSURFACE_DESC desc{};
    GetDesc(&desc);
    std::vector<D3DCOLOR> pixels;
    device_->readBackBuffer(pixels);
    const UINT bpp = std::max(1u, bytesPerTexel(desc.Format));
    if (pixels.size() == static_cast<size_t>(desc.Width) * desc.Height && bytes().size() == pixels.size() * bpp) {
      for (size_t i = 0; i < pixels.size(); ++i) encodeTexel(desc.Format, pixels[i], bytes().data() + i * bpp);
    }
    return MemorySurface::LockRect(locked, rect, flags);
  }

 private:
  GLDevice* device_;
};
}  // namespace

// ---- device ----

GLDevice::GLDevice(IDirect3D9* direct3d, const D3DPRESENT_PARAMETERS& params, const D3DCAPS9& caps,
                   std::shared_ptr<GLContextHolder> context)
    : BaseDevice(direct3d, params), context_(std::move(context)), caps_(caps) {
  presentProgram_ = linkProgram(kPresentVertex, kPresentFragment);
  if (!presentProgram_) return;
  presentSourceLoc_ = glGetUniformLocation(presentProgram_, "uSource");
  presentGammaLoc_ = glGetUniformLocation(presentProgram_, "uGamma");
  glGenVertexArrays(1, &emptyVao_);
  glGenVertexArrays(1, &vao_);
  glGenBuffers(1, &upVertexBuffer_);
  glGenBuffers(1, &upIndexBuffer_);
  glGenSamplers(kMaxTextureStages, samplers_);
  glGenTextures(1, &gammaTex_);
  glActiveTexture(kScratchUnit);
  glBindTexture(GL_TEXTURE_2D, gammaTex_);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 256, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
  windowHoldsFrames_ = windowHasDepthAndStencil();
  // The extension list is long and searched by string: once per device is enough.
  anisotropic_ = epoxy_has_gl_extension("GL_EXT_texture_filter_anisotropic") ||
                 epoxy_has_gl_extension("GL_ARB_texture_filter_anisotropic");
  if (anisotropic_) glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &maxAnisotropy_);
  maxAnisotropy_ = std::max(1.0f, maxAnisotropy_);
  applyWindowMode();
  valid_ = createTargets();
}

GLDevice::~GLDevice() {
  context_->use();
  // Bound resources are released by the base class; GL objects of the device go here.
  for (auto& [key, program] : programs_) glDeleteProgram(program.id);
  destroyTargets();
  if (presentProgram_) glDeleteProgram(presentProgram_);
  glDeleteTextures(1, &gammaTex_);
  glDeleteVertexArrays(1, &emptyVao_);
  glDeleteVertexArrays(1, &vao_);
  glDeleteBuffers(1, &upVertexBuffer_);
  glDeleteBuffers(1, &upIndexBuffer_);
  glDeleteSamplers(kMaxTextureStages, samplers_);
}

bool GLDevice::applyWindowMode() {
  SDL_Window* window = context_->window;
  if (params_.Windowed) {
    if (SDL_GetWindowFlags(window) & (SDL_WINDOW_FULLSCREEN | SDL_WINDOW_FULLSCREEN_DESKTOP)) SDL_SetWindowFullscreen(window, 0);
  } else {
    SDL_DisplayMode mode{};
    const int display = std::max(0, SDL_GetWindowDisplayIndex(window));
    SDL_DisplayMode desktop{};
    SDL_GetDesktopDisplayMode(display, &desktop);
    // Without a window manager the full-screen request alone leaves the window at its size,
    // so it is first made to cover the display.
    SDL_Rect bounds;
    if (SDL_GetDisplayBounds(display, &bounds) == 0) {
      SDL_SetWindowPosition(window, bounds.x, bounds.y);
      SDL_SetWindowSize(window, bounds.w, bounds.h);
    }
    if (static_cast<UINT>(desktop.w) == params_.BackBufferWidth && static_cast<UINT>(desktop.h) == params_.BackBufferHeight) {
      SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN_DESKTOP);
    } else {
      mode.w = static_cast<int>(params_.BackBufferWidth);
      mode.h = static_cast<int>(params_.BackBufferHeight);
      mode.refresh_rate = static_cast<int>(params_.FullScreen_RefreshRateInHz);
      SDL_DisplayMode closest{};
      if (SDL_GetClosestDisplayMode(display, &mode, &closest)) SDL_SetWindowDisplayMode(window, &closest);
      SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN);
    }
  }
  // Any interval but immediate waits for the refresh: adaptive where the driver has it (a
  // late frame is shown at once rather than a whole refresh later), else plain vsync.
  if (params_.PresentationInterval == D3DPRESENT_INTERVAL_IMMEDIATE) SDL_GL_SetSwapInterval(0);
  else if (SDL_GL_SetSwapInterval(-1) != 0) SDL_GL_SetSwapInterval(1);
  return true;
}

bool GLDevice::createTargets() {
  const GLsizei w = static_cast<GLsizei>(params_.BackBufferWidth), h = static_cast<GLsizei>(params_.BackBufferHeight);
  glGenFramebuffers(1, &fbo_);
  glGenTextures(1, &colourTex_);
  glActiveTexture(kScratchUnit);
  glBindTexture(GL_TEXTURE_2D, colourTex_);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, w, h, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
  glGenRenderbuffers(1, &depthRb_);
  glBindRenderbuffer(GL_RENDERBUFFER, depthRb_);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, w, h);
  glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, colourTex_, 0);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, depthRb_);
  if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) return false;

  samples_ = 0;
  if (params_.MultiSampleType >= D3DMULTISAMPLE_2_SAMPLES) {
    GLint maxSamples = 0;
    glGetIntegerv(GL_MAX_SAMPLES, &maxSamples);
    samples_ = std::min<GLint>(static_cast<GLint>(params_.MultiSampleType), maxSamples);
  }
  if (samples_ >= 2) {
    glGenFramebuffers(1, &msFbo_);
    glGenRenderbuffers(1, &msColourRb_);
    glGenRenderbuffers(1, &msDepthRb_);
    glBindRenderbuffer(GL_RENDERBUFFER, msColourRb_);
    glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples_, GL_RGBA8, w, h);
    glBindRenderbuffer(GL_RENDERBUFFER, msDepthRb_);
    glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples_, GL_DEPTH24_STENCIL8, w, h);
    glBindFramebuffer(GL_FRAMEBUFFER, msFbo_);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, msColourRb_);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, msDepthRb_);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) return false;
  }
  glBindFramebuffer(GL_FRAMEBUFFER, samples_ >= 2 ? msFbo_ : fbo_);
  glClearColor(0, 0, 0, 1);
  glClearDepth(1.0);
  glClearStencil(0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
  frameOpen_ = false;
  renderDirty_ = true;
  return true;
}

bool GLDevice::windowHasDepthAndStencil() {
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  clearGLErrors();
  GLint depth = 0, stencil = 0;
  glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_DEPTH, GL_FRAMEBUFFER_ATTACHMENT_DEPTH_SIZE, &depth);
  glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_STENCIL, GL_FRAMEBUFFER_ATTACHMENT_STENCIL_SIZE, &stencil);
  return glGetError() == GL_NO_ERROR && depth >= 24 && stencil >= 8;
}

bool GLDevice::windowMatchesBackBuffer() const {
  int w = 0, h = 0;
  SDL_GL_GetDrawableSize(context_->window, &w, &h);
  return static_cast<UINT>(w) == params_.BackBufferWidth && static_cast<UINT>(h) == params_.BackBufferHeight;
}

GLuint GLDevice::frameTarget() {
  if (frameOpen_) return frameFbo_;
  // A frame that needs neither the ramp nor multisampling goes straight into the window, so it
  // costs no copy at all; the window only lacks the alpha channel some back-buffer formats have.
  if (samples_ >= 2) frameFbo_ = msFbo_;
  else if (rampIsIdentity_ && windowHoldsFrames_ && !formatHasAlphaChannel(params_.BackBufferFormat) && windowMatchesBackBuffer())
    frameFbo_ = 0;
  else frameFbo_ = fbo_;
  frameOpen_ = true;
  glBindFramebuffer(GL_FRAMEBUFFER, frameFbo_);
  return frameFbo_;
}

void GLDevice::destroyTargets() {
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  if (fbo_) glDeleteFramebuffers(1, &fbo_);
  if (colourTex_) glDeleteTextures(1, &colourTex_);
  if (depthRb_) glDeleteRenderbuffers(1, &depthRb_);
  if (msFbo_) glDeleteFramebuffers(1, &msFbo_);
  if (msColourRb_) glDeleteRenderbuffers(1, &msColourRb_);
  if (msDepthRb_) glDeleteRenderbuffers(1, &msDepthRb_);
  fbo_ = colourTex_ = depthRb_ = msFbo_ = msColourRb_ = msDepthRb_ = 0;
}

GLuint GLDevice::resolve() {
  const GLuint target = frameTarget();
  if (target != msFbo_) return target;
  const GLint w = static_cast<GLint>(params_.BackBufferWidth), h = static_cast<GLint>(params_.BackBufferHeight);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, msFbo_);
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, fbo_);
  glBlitFramebuffer(0, 0, w, h, 0, 0, w, h, GL_COLOR_BUFFER_BIT, GL_NEAREST);
  glBindFramebuffer(GL_FRAMEBUFFER, msFbo_);
  return fbo_;
}

bool GLDevice::copyToWindow(GLuint source) {
  if (!windowTakesCopies_) return false;
  const GLint w = static_cast<GLint>(params_.BackBufferWidth), h = static_cast<GLint>(params_.BackBufferHeight);
  clearGLErrors();
  glBindFramebuffer(GL_READ_FRAMEBUFFER, source);
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
  glDisable(GL_SCISSOR_TEST);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  glBlitFramebuffer(0, 0, w, h, 0, 0, w, h, GL_COLOR_BUFFER_BIT, GL_NEAREST);
  // Some drivers refuse to resolve samples into a window of another pixel format; the
  // ramp pass then does the copy from then on.
  if (glGetError() != GL_NO_ERROR) windowTakesCopies_ = false;
  return windowTakesCopies_;
}

void GLDevice::stateChanged(Changed what, UINT index) {
  switch (what) {
    case Changed::RenderState:
      renderDirty_ = true;
      switch (index) {
        case D3DRS_LIGHTING:
        case D3DRS_LOCALVIEWER:
        case D3DRS_NORMALIZENORMALS:
        case D3DRS_COLORVERTEX:
        case D3DRS_DIFFUSEMATERIALSOURCE:
        case D3DRS_AMBIENTMATERIALSOURCE:
        case D3DRS_SPECULARMATERIALSOURCE:
        case D3DRS_EMISSIVEMATERIALSOURCE:
        case D3DRS_SPECULARENABLE:
        case D3DRS_FOGENABLE:
        case D3DRS_FOGTABLEMODE:
        case D3DRS_FOGVERTEXMODE:
        case D3DRS_RANGEFOGENABLE:
        case D3DRS_ALPHATESTENABLE:
        case D3DRS_ALPHAFUNC: keyDirty_ = true; break;
        default: break;
      }
      ++uniformStamp_;
      break;
    case Changed::StageState: keyDirty_ = true; ++uniformStamp_; break;
    case Changed::Texture: keyDirty_ = true; texturesDirty_ = true; break;
    case Changed::SamplerState: samplersDirty_ = true; break;
    case Changed::Light: keyDirty_ = true; ++uniformStamp_; break;
    case Changed::Vertices: keyDirty_ = true; break;
    case Changed::Gamma: {
      gammaDirty_ = true;
      const D3DGAMMARAMP& g = state_.gamma;
      rampIsIdentity_ = true;
      for (int i = 0; i < 256 && rampIsIdentity_; ++i)
        rampIsIdentity_ = (g.red[i] >> 8) == i && (g.green[i] >> 8) == i && (g.blue[i] >> 8) == i;
      break;
    }
    case Changed::Viewport: renderDirty_ = true; ++uniformStamp_; break;
    case Changed::Transform:
    case Changed::Material: ++uniformStamp_; break;
  }
}

HRESULT GLDevice::GetDeviceCaps(D3DCAPS9* caps) {
  if (!caps) return D3DERR_INVALIDCALL;
  *caps = caps_;
  return D3D_OK;
}

HRESULT GLDevice::GetDisplayMode(UINT, D3DDISPLAYMODE* mode) {
  if (!mode) return D3DERR_INVALIDCALL;
  SDL_DisplayMode m{};
  const int display = std::max(0, SDL_GetWindowDisplayIndex(context_->window));
  if (SDL_GetCurrentDisplayMode(display, &m) != 0) return D3DERR_NOTAVAILABLE;
  *mode = D3DDISPLAYMODE{static_cast<UINT>(m.w), static_cast<UINT>(m.h), m.refresh_rate > 0 ? static_cast<UINT>(m.refresh_rate) : 60u,
                         D3DFMT_X8R8G8B8};
  return D3D_OK;
}

HRESULT GLDevice::Reset(D3DPRESENT_PARAMETERS* params) {
  context_->use();
  if (!params) return D3DERR_INVALIDCALL;
  if (const HRESULT hr = resetAllowed(); hr != D3D_OK) return hr;
  D3DPRESENT_PARAMETERS used = *params;
  if (used.Windowed && (used.BackBufferWidth == 0 || used.BackBufferHeight == 0)) {
    int w = 0, h = 0;
    SDL_GL_GetDrawableSize(context_->window, &w, &h);
    if (used.BackBufferWidth == 0) used.BackBufferWidth = static_cast<UINT>(std::max(1, w));
    if (used.BackBufferHeight == 0) used.BackBufferHeight = static_cast<UINT>(std::max(1, h));
  }
  if (used.BackBufferFormat == D3DFMT_UNKNOWN) used.BackBufferFormat = D3DFMT_X8R8G8B8;
  if (used.BackBufferWidth > 16384 || used.BackBufferHeight > 16384) return D3DERR_INVALIDCALL;
  *params = used;
  destroyTargets();
  resetState(used);
  applyWindowMode();
  if (!createTargets()) return D3DERR_NOTAVAILABLE;
  windowTakesCopies_ = true;
  keyDirty_ = renderDirty_ = texturesDirty_ = samplersDirty_ = true;
  forgetBindings();
  ++uniformStamp_;
  return D3D_OK;
}

HRESULT GLDevice::GetBackBuffer(UINT swapChain, UINT index, D3DBACKBUFFER_TYPE, IDirect3DSurface9** surface) {
  if (!surface || swapChain != 0 || index != 0) return D3DERR_INVALIDCALL;
  D3DSURFACE_DESC desc{params_.BackBufferFormat, D3DRTYPE_SURFACE, D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT,
                       params_.MultiSampleType, params_.MultiSampleQuality, params_.BackBufferWidth, params_.BackBufferHeight};
  if (!bytesPerTexel(desc.Format)) desc.Format = D3DFMT_X8R8G8B8;
  *surface = new GLBackBufferSurface(this, desc);
  return D3D_OK;
}

void GLDevice::readBackBuffer(std::vector<D3DCOLOR>& pixels) {
  context_->use();
  const UINT w = params_.BackBufferWidth, h = params_.BackBufferHeight;
  const GLuint source = resolve();
  std::vector<D3DCOLOR> rows(static_cast<size_t>(w) * h);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, source);
  if (source == 0) glReadBuffer(GL_BACK);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glReadPixels(0, 0, static_cast<GLsizei>(w), static_cast<GLsizei>(h), GL_BGRA, GL_UNSIGNED_BYTE, rows.data());
  glBindFramebuffer(GL_FRAMEBUFFER, frameTarget());
  pixels.resize(rows.size());
  const bool alpha = formatHasAlphaChannel(params_.BackBufferFormat);
  // GL keeps the bottom row first.
  for (UINT y = 0; y < h; ++y)
    for (UINT x = 0; x < w; ++x) {
      D3DCOLOR c = rows[static_cast<size_t>(h - 1 - y) * w + x];
      pixels[static_cast<size_t>(y) * w + x] = alpha ? c : (c | 0xFF000000u);
    }
}

bool GLDevice::presentedPixels(std::vector<D3DCOLOR>& pixels, UINT& width, UINT& height) {
  if (captured_.empty()) return false;
  pixels = captured_;
  width = capturedWidth_;
  height = capturedHeight_;
  return true;
}

HRESULT GLDevice::Present(const RECT*, const RECT*, HWND, const void*) {
  context_->use();
  if (loss() != Loss::None) return D3DERR_DEVICELOST;
  if (inScene()) return D3DERR_INVALIDCALL;
  const GLuint drawn = frameTarget();
  if (drawn != 0) {
    const bool plainCopy = rampIsIdentity_ && windowMatchesBackBuffer();
    if (!plainCopy || !copyToWindow(drawn)) presentThroughRamp(resolve());
  }
  int dw = 0, dh = 0;
  SDL_GL_GetDrawableSize(context_->window, &dw, &dh);
  if (capture_ && dw > 0 && dh > 0) {
    std::vector<D3DCOLOR> rows(static_cast<size_t>(dw) * dh);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, dw, dh, GL_BGRA, GL_UNSIGNED_BYTE, rows.data());
    captured_.resize(rows.size());
    for (int y = 0; y < dh; ++y)
      for (int x = 0; x < dw; ++x)
        captured_[static_cast<size_t>(y) * dw + x] = rows[static_cast<size_t>(dh - 1 - y) * dw + x] | 0xFF000000u;
    capturedWidth_ = static_cast<UINT>(dw);
    capturedHeight_ = static_cast<UINT>(dh);
  }
  SDL_GL_SwapWindow(context_->window);
  // The next frame chooses its target again, by the ramp it will be shown through.
  frameOpen_ = false;
  renderDirty_ = true;
  return D3D_OK;
}

void GLDevice::presentThroughRamp(GLuint source) {
  (void)source;  // always the single-sampled target, whose colour is colourTex_
  if (gammaDirty_) {
    std::vector<uint8_t> table(256 * 4);
    for (int i = 0; i < 256; ++i) {
      // A ramp entry's high byte is the level it gives: i * 256 and i * 257 both give i.
      table[i * 4 + 0] = static_cast<uint8_t>(state_.gamma.red[i] >> 8);
      table[i * 4 + 1] = static_cast<uint8_t>(state_.gamma.green[i] >> 8);
      table[i * 4 + 2] = static_cast<uint8_t>(state_.gamma.blue[i] >> 8);
      table[i * 4 + 3] = 255;
    }
    glActiveTexture(kScratchUnit);
    glBindTexture(GL_TEXTURE_2D, gammaTex_);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 256, 1, GL_RGBA, GL_UNSIGNED_BYTE, table.data());
    gammaDirty_ = false;
  }
  int dw = 0, dh = 0;
  SDL_GL_GetDrawableSize(context_->window, &dw, &dh);
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  glViewport(0, 0, dw, dh);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_BLEND);
  glDisable(GL_CULL_FACE);
  glDisable(GL_STENCIL_TEST);
  glDisable(GL_SCISSOR_TEST);
  glDisable(GL_POLYGON_OFFSET_FILL);
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  glUseProgram(presentProgram_);
  glActiveTexture(GL_TEXTURE0);
  glBindTexture(GL_TEXTURE_2D, colourTex_);
  glBindSampler(0, 0);
  glActiveTexture(GL_TEXTURE1);
  glBindTexture(GL_TEXTURE_2D, gammaTex_);
  glBindSampler(1, 0);
  glUniform1i(presentSourceLoc_, 0);
  glUniform1i(presentGammaLoc_, 1);
  glBindVertexArray(emptyVao_);
  glDrawArrays(GL_TRIANGLES, 0, 3);
  // The pass changed bindings and state that draws rely on.
  current_ = nullptr;
  vaoBound_ = false;
  for (UINT unit = 0; unit < 2; ++unit) {
    boundTextures_[unit] = ~GLuint(0);
    samplerBound_[unit] = false;
  }
  texturesDirty_ = samplersDirty_ = true;
  glUseProgram(0);
}

HRESULT GLDevice::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                IDirect3DTexture9** texture, HANDLE*) {
  if (!texture) return D3DERR_INVALIDCALL;
  *texture = nullptr;
  if (width > caps_.MaxTextureWidth || height > caps_.MaxTextureHeight) return D3DERR_INVALIDCALL;
  auto* made = new GLTexture(this, context_, width, height, levels, usage, format, pool);
  if (!made->valid()) {
    made->Release();
    return D3DERR_INVALIDCALL;
  }
  *texture = made;
  return D3D_OK;
}

HRESULT GLDevice::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool, IDirect3DVertexBuffer9** buffer,
                                     HANDLE*) {
  if (!buffer) return D3DERR_INVALIDCALL;
  *buffer = nullptr;
  if (length == 0 || length > (1u << 28)) return D3DERR_INVALIDCALL;
  *buffer = new GLVertexBuffer(this, context_, length, usage, fvf, pool);
  return D3D_OK;
}

HRESULT GLDevice::CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool, IDirect3DIndexBuffer9** buffer,
                                    HANDLE*) {
  if (!buffer) return D3DERR_INVALIDCALL;
  *buffer = nullptr;
  if (length == 0 || length > (1u << 28) || (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32)) return D3DERR_INVALIDCALL;
  *buffer = new GLIndexBuffer(this, context_, length, usage, format, pool);
  return D3D_OK;
}

HRESULT GLDevice::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR colour, float z, DWORD stencil) {
  context_->use();
  if (loss() != Loss::None) return D3D_OK;
  if ((count > 0 && !rects) || flags == 0) return D3DERR_INVALIDCALL;
  glBindFramebuffer(GL_FRAMEBUFFER, frameTarget());
  GLbitfield mask = 0;
  if (flags & D3DCLEAR_TARGET) {
    float c[4];
    colourToFloats(colour, c);
    if (!formatHasAlphaChannel(params_.BackBufferFormat)) c[3] = 1.0f;
    glClearColor(c[0], c[1], c[2], c[3]);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    mask |= GL_COLOR_BUFFER_BIT;
  }
  if (flags & D3DCLEAR_ZBUFFER) {
    glClearDepth(std::clamp(z, 0.0f, 1.0f));
    glDepthMask(GL_TRUE);
    mask |= GL_DEPTH_BUFFER_BIT;
  }
  if (flags & D3DCLEAR_STENCIL) {
    glClearStencil(static_cast<GLint>(stencil & 0xFF));
    glStencilMask(0xFF);
    mask |= GL_STENCIL_BUFFER_BIT;
  }
  // Clearing covers the viewport (or the given rectangles inside it), as on the device.
  const D3DVIEWPORT9& vp = state_.viewport;
  glEnable(GL_SCISSOR_TEST);
  auto clearRect = [&](LONG x1, LONG y1, LONG x2, LONG y2) {
    x1 = std::max<LONG>(x1, static_cast<LONG>(vp.X));
    y1 = std::max<LONG>(y1, static_cast<LONG>(vp.Y));
    x2 = std::min<LONG>(x2, static_cast<LONG>(vp.X + vp.Width));
    y2 = std::min<LONG>(y2, static_cast<LONG>(vp.Y + vp.Height));
    if (x2 <= x1 || y2 <= y1) return;
    // GL counts rows from the bottom.
    glScissor(x1, static_cast<GLint>(params_.BackBufferHeight) - y2, x2 - x1, y2 - y1);
    glClear(mask);
  };
  if (count == 0) {
    clearRect(static_cast<LONG>(vp.X), static_cast<LONG>(vp.Y), static_cast<LONG>(vp.X + vp.Width), static_cast<LONG>(vp.Y + vp.Height));
  } else {
    for (DWORD i = 0; i < count; ++i) clearRect(rects[i].x1, rects[i].y1, rects[i].x2, rects[i].y2);
  }
  glDisable(GL_SCISSOR_TEST);
  renderDirty_ = true;
  return D3D_OK;
}

void GLDevice::applyRenderStates() {
  const auto& rs = state_.renderStates;
  const D3DVIEWPORT9& vp = state_.viewport;
  glBindFramebuffer(GL_FRAMEBUFFER, frameTarget());
  // GL counts rows from the bottom, the device from the top.
  glViewport(static_cast<GLint>(vp.X), static_cast<GLint>(params_.BackBufferHeight) - static_cast<GLint>(vp.Y + vp.Height),
             static_cast<GLsizei>(vp.Width), static_cast<GLsizei>(vp.Height));
  glDepthRange(vp.MinZ, vp.MaxZ);
  if (rs[D3DRS_ZENABLE] != D3DZB_FALSE) {
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(compareFunc(rs[D3DRS_ZFUNC]));
  } else {
    glDisable(GL_DEPTH_TEST);
  }
  glDepthMask(rs[D3DRS_ZWRITEENABLE] ? GL_TRUE : GL_FALSE);
  // Culling is decided by the winding as seen on screen, which GL's upward rows keep.
  switch (rs[D3DRS_CULLMODE]) {
    case D3DCULL_CW:
      glEnable(GL_CULL_FACE);
      glFrontFace(GL_CCW);
      glCullFace(GL_BACK);
      break;
    case D3DCULL_CCW:
      glEnable(GL_CULL_FACE);
      glFrontFace(GL_CCW);
      glCullFace(GL_FRONT);
      break;
    default: glDisable(GL_CULL_FACE); break;
  }
  glPolygonMode(GL_FRONT_AND_BACK, rs[D3DRS_FILLMODE] == D3DFILL_POINT       ? GL_POINT
                                   : rs[D3DRS_FILLMODE] == D3DFILL_WIREFRAME ? GL_LINE
                                                                             : GL_FILL);
  if (rs[D3DRS_ALPHABLENDENABLE]) {
    glEnable(GL_BLEND);
    GLenum src = blendFactor(rs[D3DRS_SRCBLEND]), dst = blendFactor(rs[D3DRS_DESTBLEND]);
    if (rs[D3DRS_SRCBLEND] == D3DBLEND_BOTHSRCALPHA) {
      src = GL_SRC_ALPHA;
      dst = GL_ONE_MINUS_SRC_ALPHA;
    } else if (rs[D3DRS_SRCBLEND] == D3DBLEND_BOTHINVSRCALPHA) {
      src = GL_ONE_MINUS_SRC_ALPHA;
      dst = GL_SRC_ALPHA;
    }
    if (rs[D3DRS_SEPARATEALPHABLENDENABLE]) {
      glBlendFuncSeparate(src, dst, blendFactor(rs[D3DRS_SRCBLENDALPHA]), blendFactor(rs[D3DRS_DESTBLENDALPHA]));
      glBlendEquationSeparate(blendOp(rs[D3DRS_BLENDOP]), blendOp(rs[D3DRS_BLENDOPALPHA]));
    } else {
      glBlendFunc(src, dst);
      glBlendEquation(blendOp(rs[D3DRS_BLENDOP]));
    }
    float f[4];
    colourToFloats(rs[D3DRS_BLENDFACTOR], f);
    glBlendColor(f[0], f[1], f[2], f[3]);
  } else {
    glDisable(GL_BLEND);
  }
  const DWORD writes = rs[D3DRS_COLORWRITEENABLE];
  glColorMask((writes & 1) != 0, (writes & 2) != 0, (writes & 4) != 0,
              (writes & 8) != 0 && formatHasAlphaChannel(params_.BackBufferFormat));
  if (rs[D3DRS_STENCILENABLE]) {
    glEnable(GL_STENCIL_TEST);
    glStencilFunc(compareFunc(rs[D3DRS_STENCILFUNC]), static_cast<GLint>(rs[D3DRS_STENCILREF] & 0xFF), rs[D3DRS_STENCILMASK]);
    glStencilOp(stencilOp(rs[D3DRS_STENCILFAIL]), stencilOp(rs[D3DRS_STENCILZFAIL]), stencilOp(rs[D3DRS_STENCILPASS]));
    glStencilMask(rs[D3DRS_STENCILWRITEMASK]);
  } else {
    glDisable(GL_STENCIL_TEST);
  }
  const float bias = dwordToFloat(rs[D3DRS_DEPTHBIAS]), slope = dwordToFloat(rs[D3DRS_SLOPESCALEDEPTHBIAS]);
  if (bias != 0.0f || slope != 0.0f) {
    glEnable(GL_POLYGON_OFFSET_FILL);
    glPolygonOffset(slope, bias * 16777215.0f);
  } else {
    glDisable(GL_POLYGON_OFFSET_FILL);
  }
  renderDirty_ = false;
}

GLDevice::SamplerParams GLDevice::samplerParamsFor(UINT stage, bool mips) const {
  const auto& ss = state_.samplerStates[stage];
  SamplerParams p;
  p.wrapS = static_cast<GLint>(addressMode(ss[D3DSAMP_ADDRESSU]));
  p.wrapT = static_cast<GLint>(addressMode(ss[D3DSAMP_ADDRESSV]));
  const bool minLinear = ss[D3DSAMP_MINFILTER] >= D3DTEXF_LINEAR;
  const DWORD mip = mips ? ss[D3DSAMP_MIPFILTER] : D3DTEXF_NONE;
  p.minFilter = minLinear ? GL_LINEAR : GL_NEAREST;
  if (mip == D3DTEXF_POINT) p.minFilter = minLinear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
  else if (mip >= D3DTEXF_LINEAR) p.minFilter = minLinear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
  p.magFilter = ss[D3DSAMP_MAGFILTER] >= D3DTEXF_LINEAR ? GL_LINEAR : GL_NEAREST;
  p.lodBias = dwordToFloat(ss[D3DSAMP_MIPMAPLODBIAS]);
  p.minLod = static_cast<float>(ss[D3DSAMP_MAXMIPLEVEL]);
  p.border = ss[D3DSAMP_BORDERCOLOR];
  p.anisotropy = ss[D3DSAMP_MINFILTER] == D3DTEXF_ANISOTROPIC
                     ? std::min(maxAnisotropy_, static_cast<float>(std::max<DWORD>(1, ss[D3DSAMP_MAXANISOTROPY])))
                     : 1.0f;
  return p;
}

void GLDevice::applySampler(UINT stage, const SamplerParams& p) {
  SamplerParams& was = samplerParams_[stage];
  const bool all = !samplerKnown_[stage];
  const GLuint sampler = samplers_[stage];
  if (all || p.wrapS != was.wrapS) glSamplerParameteri(sampler, GL_TEXTURE_WRAP_S, p.wrapS);
  if (all || p.wrapT != was.wrapT) glSamplerParameteri(sampler, GL_TEXTURE_WRAP_T, p.wrapT);
  if (all || p.minFilter != was.minFilter) glSamplerParameteri(sampler, GL_TEXTURE_MIN_FILTER, p.minFilter);
  if (all || p.magFilter != was.magFilter) glSamplerParameteri(sampler, GL_TEXTURE_MAG_FILTER, p.magFilter);
  if (all || p.lodBias != was.lodBias) glSamplerParameterf(sampler, GL_TEXTURE_LOD_BIAS, p.lodBias);
  if (all || p.minLod != was.minLod) glSamplerParameterf(sampler, GL_TEXTURE_MIN_LOD, p.minLod);
  if (all || p.border != was.border) {
    float border[4];
    colourToFloats(p.border, border);
    glSamplerParameterfv(sampler, GL_TEXTURE_BORDER_COLOR, border);
  }
  if (anisotropic_ && (all || p.anisotropy != was.anisotropy))
    glSamplerParameterf(sampler, GL_TEXTURE_MAX_ANISOTROPY_EXT, p.anisotropy);
  was = p;
  samplerKnown_[stage] = true;
}

void GLDevice::applyTextures() {
  if (!texturesDirty_ && !samplersDirty_) return;
  if (texturesDeletedSeen_ != gTexturesDeleted) {
    texturesDeletedSeen_ = gTexturesDeleted;
    for (GLuint& name : boundTextures_) name = ~GLuint(0);
  }
  for (UINT s = 0; s < kMaxTextureStages; ++s) {
    auto* t = dynamic_cast<GLTexture*>(state_.textures[s]);
    const GLuint name = t ? t->glName() : 0;
    if (boundTextures_[s] != name) {
      glActiveTexture(GL_TEXTURE0 + s);
      glBindTexture(GL_TEXTURE_2D, name);
      boundTextures_[s] = name;
    }
    // Only stages with a texture sample; the others keep whatever their sampler held.
    if (t) applySampler(s, samplerParamsFor(s, t->GetLevelCount() > 1));
    if (!samplerBound_[s]) {
      glBindSampler(s, samplers_[s]);
      samplerBound_[s] = true;
    }
  }
  texturesDirty_ = samplersDirty_ = false;
}

GLDevice::Program* GLDevice::programFor(const FixedFunctionKey& key) {
  ++lookups_;
  auto it = programs_.find(key);
  if (it != programs_.end()) return it->second.id ? &it->second : nullptr;
  const GeneratedShaders source = generateFixedFunctionShaders(key);
  Program p{};
  p.id = linkProgram(source.vertex, source.fragment);
  if (p.id) {
    auto loc = [&](const char* name) { return glGetUniformLocation(p.id, name); };
    p.worldView = loc("uWorldView");
    p.projection = loc("uProjection");
    p.screen = loc("uScreen");
    p.pixelOffset = loc("uPixelOffset");
    p.texMatrix = loc("uTexMatrix");
    p.normalMatrix = loc("uNormalMatrix");
    p.matDiffuse = loc("uMatDiffuse");
    p.matAmbient = loc("uMatAmbient");
    p.matSpecular = loc("uMatSpecular");
    p.matEmissive = loc("uMatEmissive");
    p.matPower = loc("uMatPower");
    p.globalAmbient = loc("uGlobalAmbient");
    p.lightDiffuse = loc("uLightDiffuse");
    p.lightSpecular = loc("uLightSpecular");
    p.lightAmbient = loc("uLightAmbient");
    p.lightPosition = loc("uLightPosition");
    p.lightDirection = loc("uLightDirection");
    p.lightAttenuation = loc("uLightAttenuation");
    p.lightSpot = loc("uLightSpot");
    p.lightRange = loc("uLightRange");
    p.tfactor = loc("uTFactor");
    p.constant = loc("uConstant");
    p.alphaRef = loc("uAlphaRef");
    p.fogColor = loc("uFogColor");
    p.fogStart = loc("uFogStart");
    p.fogEnd = loc("uFogEnd");
    p.fogDensity = loc("uFogDensity");
    for (UINT s = 0; s < kMaxTextureStages; ++s) p.samplers[s] = loc(("uSampler" + std::to_string(s)).c_str());
    glUseProgram(p.id);
    for (UINT s = 0; s < kMaxTextureStages; ++s)
      if (p.samplers[s] >= 0) glUniform1i(p.samplers[s], static_cast<GLint>(s));
  }
  // A program that failed to build is remembered too, so it is not rebuilt every draw.
  auto [placed, inserted] = programs_.emplace(key, p);
  (void)inserted;
  return placed->second.id ? &placed->second : nullptr;
}

void GLDevice::uploadUniforms(Program& p) {
  const auto& rs = state_.renderStates;
  const D3DMATRIX& view = state_.transforms[D3DTS_VIEW];
  const D3DMATRIX worldView = multiply(state_.transforms[D3DTS_WORLD], view);
  glUniformMatrix4fv(p.worldView, 1, GL_FALSE, &worldView.m[0][0]);
  if (p.normalMatrix >= 0) {
    const NormalMatrix n = normalMatrixOf(worldView);
    glUniformMatrix3fv(p.normalMatrix, 1, GL_TRUE, n.m);
  }
  glUniformMatrix4fv(p.projection, 1, GL_FALSE, &state_.transforms[D3DTS_PROJECTION].m[0][0]);
  const D3DVIEWPORT9& vp = state_.viewport;
  glUniform4f(p.screen, static_cast<float>(vp.X), static_cast<float>(vp.Y), static_cast<float>(vp.Width), static_cast<float>(vp.Height));
  glUniform2f(p.pixelOffset, 1.0f / static_cast<float>(vp.Width), 1.0f / static_cast<float>(vp.Height));
  if (p.texMatrix >= 0) glUniformMatrix4fv(p.texMatrix, kMaxTextureStages, GL_FALSE, &state_.transforms[D3DTS_TEXTURE0].m[0][0]);
  const D3DMATERIAL9& m = state_.material;
  glUniform4f(p.matDiffuse, m.Diffuse.r, m.Diffuse.g, m.Diffuse.b, m.Diffuse.a);
  glUniform4f(p.matAmbient, m.Ambient.r, m.Ambient.g, m.Ambient.b, m.Ambient.a);
  glUniform4f(p.matSpecular, m.Specular.r, m.Specular.g, m.Specular.b, m.Specular.a);
  glUniform4f(p.matEmissive, m.Emissive.r, m.Emissive.g, m.Emissive.b, m.Emissive.a);
  glUniform1f(p.matPower, m.Power);
  float c[4];
  colourToFloats(rs[D3DRS_AMBIENT], c);
  glUniform4fv(p.globalAmbient, 1, c);
  if (p.lightDiffuse >= 0) {
    float diffuse[32] = {}, specular[32] = {}, ambient[32] = {}, position[24] = {}, direction[24] = {}, att[24] = {},
          spot[24] = {}, range[8] = {};
    UINT n = 0;
    for (const auto& [index, enabled] : state_.lightEnabled) {
      if (!enabled || n >= kMaxActiveLights) continue;
      const D3DLIGHT9& l = state_.lights.at(index);
      auto put4 = [&](float* a, const D3DCOLORVALUE& v) {
        a[n * 4] = v.r; a[n * 4 + 1] = v.g; a[n * 4 + 2] = v.b; a[n * 4 + 3] = v.a;
      };
      put4(diffuse, l.Diffuse);
      put4(specular, l.Specular);
      put4(ambient, l.Ambient);
      // Lights are given in world space; lighting is done in view space.
      const D3DVECTOR& P = l.Position;
      for (int j = 0; j < 3; ++j)
        position[n * 3 + j] = P.x * view.m[0][j] + P.y * view.m[1][j] + P.z * view.m[2][j] + view.m[3][j];
      float d[3];
      for (int j = 0; j < 3; ++j) d[j] = l.Direction.x * view.m[0][j] + l.Direction.y * view.m[1][j] + l.Direction.z * view.m[2][j];
      const float len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
      for (int j = 0; j < 3; ++j) direction[n * 3 + j] = len > 0 ? d[j] / len : 0.0f;
      att[n * 3] = l.Attenuation0;
      att[n * 3 + 1] = l.Attenuation1;
      att[n * 3 + 2] = l.Attenuation2;
      spot[n * 3] = std::cos(l.Theta * 0.5f);
      spot[n * 3 + 1] = std::cos(l.Phi * 0.5f);
      spot[n * 3 + 2] = l.Falloff;
      range[n] = l.Range;
      ++n;
    }
    glUniform4fv(p.lightDiffuse, 8, diffuse);
    glUniform4fv(p.lightSpecular, 8, specular);
    glUniform4fv(p.lightAmbient, 8, ambient);
    glUniform3fv(p.lightPosition, 8, position);
    glUniform3fv(p.lightDirection, 8, direction);
    glUniform3fv(p.lightAttenuation, 8, att);
    glUniform3fv(p.lightSpot, 8, spot);
    glUniform1fv(p.lightRange, 8, range);
  }
  colourToFloats(rs[D3DRS_TEXTUREFACTOR], c);
  glUniform4fv(p.tfactor, 1, c);
  if (p.constant >= 0) {
    float constants[32];
    for (UINT s = 0; s < kMaxTextureStages; ++s) colourToFloats(state_.stageStates[s][D3DTSS_CONSTANT], constants + s * 4);
    glUniform4fv(p.constant, 8, constants);
  }
  glUniform1f(p.alphaRef, static_cast<float>(rs[D3DRS_ALPHAREF] & 0xFF));
  colourToFloats(rs[D3DRS_FOGCOLOR], c);
  glUniform4fv(p.fogColor, 1, c);
  glUniform1f(p.fogStart, dwordToFloat(rs[D3DRS_FOGSTART]));
  glUniform1f(p.fogEnd, dwordToFloat(rs[D3DRS_FOGEND]));
  glUniform1f(p.fogDensity, dwordToFloat(rs[D3DRS_FOGDENSITY]));
  p.uploadedStamp = uniformStamp_;
}

void GLDevice::forgetBindings() {
  for (UINT i = 0; i < kMaxTextureStages; ++i) {
    boundTextures_[i] = ~GLuint(0);
    samplerBound_[i] = samplerKnown_[i] = false;
  }
  vaoBound_ = attributesSet_ = false;
  boundElements_ = ~GLuint(0);
}

void GLDevice::bindElements(GLuint buffer) {
  if (boundElements_ == buffer && buffersDeletedSeen_ == gBuffersDeleted) return;
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffer);
  boundElements_ = buffer;
}

void GLDevice::setVertexAttributes(GLuint buffer, size_t base, UINT stride) {
  const DWORD fvf = drawFvf_;
  if (!vaoBound_) {
    glBindVertexArray(vao_);
    vaoBound_ = true;
  }
  // The vertex array keeps its pointers, so a draw from the same place in the same buffer, in
  // the same layout, sets nothing.
  const AttributeSource source{buffer, base, stride, fvf};
  if (attributesSet_ && source == attributes_ && buffersDeletedSeen_ == gBuffersDeleted) return;
  if (buffersDeletedSeen_ != gBuffersDeleted) {
    buffersDeletedSeen_ = gBuffersDeleted;
    boundElements_ = 0;
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
  }
  attributes_ = source;
  attributesSet_ = true;
  glBindBuffer(GL_ARRAY_BUFFER, buffer);
  uint32_t wanted = 0;
  auto at = [&](size_t offset) { return reinterpret_cast<const void*>(base + offset); };
  size_t offset = 0;
  const GLsizei s = static_cast<GLsizei>(stride);
  switch (fvf & D3DFVF_POSITION_MASK) {
    case D3DFVF_XYZRHW:
    case D3DFVF_XYZW:
      wanted |= 1u << kAttribPosition;
      glVertexAttribPointer(kAttribPosition, 4, GL_FLOAT, GL_FALSE, s, at(0));
      offset = 16;
      break;
    default:
      wanted |= 1u << kAttribPosition;
      glVertexAttribPointer(kAttribPosition, 3, GL_FLOAT, GL_FALSE, s, at(0));
      // Blend weights follow the position; skinning is done before the device sees vertices.
      offset = fvfVertexSize(fvf & D3DFVF_POSITION_MASK);
      break;
  }
  if (fvf & D3DFVF_NORMAL) {
    wanted |= 1u << kAttribNormal;
    glVertexAttribPointer(kAttribNormal, 3, GL_FLOAT, GL_FALSE, s, at(offset));
    offset += 12;
  }
  if (fvf & D3DFVF_PSIZE) offset += 4;
  if (fvf & D3DFVF_DIFFUSE) {
    wanted |= 1u << kAttribDiffuse;
    glVertexAttribPointer(kAttribDiffuse, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, s, at(offset));
    offset += 4;
  }
  if (fvf & D3DFVF_SPECULAR) {
    wanted |= 1u << kAttribSpecular;
    glVertexAttribPointer(kAttribSpecular, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, s, at(offset));
    offset += 4;
  }
  const UINT sets = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
  for (UINT i = 0; i < sets && i < 8; ++i) {
    const UINT n = fvfTexCoordSize(fvf, i);
    wanted |= 1u << (kAttribTexCoord0 + i);
    glVertexAttribPointer(kAttribTexCoord0 + i, static_cast<GLint>(n), GL_FLOAT, GL_FALSE, s, at(offset));
    offset += n * 4;
  }
  for (GLuint i = 0; i < 12; ++i) {
    const uint32_t bit = 1u << i;
    if ((wanted & bit) == (enabledAttributes_ & bit)) continue;
    if (wanted & bit) glEnableVertexAttribArray(i);
    else glDisableVertexAttribArray(i);
  }
  enabledAttributes_ = wanted;
}

bool GLDevice::prepareDraw(GLuint buffer, size_t base, UINT stride) {
  context_->use();
  drawFvf_ = drawableFvf(stride);
  if (renderDirty_) applyRenderStates();
  if (keyDirty_ || !current_ || drawFvf_ != keyFvf_) {
    bool bound[kMaxTextureStages];
    for (UINT s = 0; s < kMaxTextureStages; ++s) bound[s] = dynamic_cast<GLTexture*>(state_.textures[s]) != nullptr;
    D3DLIGHTTYPE types[kMaxActiveLights];
    unsigned n = 0;
    for (const auto& [index, enabled] : state_.lightEnabled)
      if (enabled && n < kMaxActiveLights) types[n++] = state_.lights.at(index).Type;
    const FixedFunctionKey key = buildFixedFunctionKey(state_, drawFvf_, bound, types, n);
    keyFvf_ = drawFvf_;
    Program* program = programFor(key);
    if (!program) return false;
    if (program != current_) glUseProgram(program->id);
    current_ = program;
    keyDirty_ = false;
  } else {
    ++lookups_;
  }
  if (current_->uploadedStamp != uniformStamp_) uploadUniforms(*current_);
  applyTextures();
  setVertexAttributes(buffer, base, stride);
  return true;
}

GLenum GLDevice::primitiveMode(D3DPRIMITIVETYPE type) const {
  switch (type) {
    case D3DPT_POINTLIST: return GL_POINTS;
    case D3DPT_LINELIST: return GL_LINES;
    case D3DPT_LINESTRIP: return GL_LINE_STRIP;
    case D3DPT_TRIANGLESTRIP: return GL_TRIANGLE_STRIP;
    case D3DPT_TRIANGLEFAN: return GL_TRIANGLE_FAN;
    default: return GL_TRIANGLES;
  }
}

HRESULT GLDevice::DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) {
  auto* vb = dynamic_cast<GLVertexBuffer*>(state_.stream);
  const UINT stride = state_.streamStride;
  const UINT count = verticesForPrimitives(type, primitiveCount);
  if (!vb || !strideFits(stride) || count == 0) return D3DERR_INVALIDCALL;
  if (state_.streamOffset + (static_cast<uint64_t>(startVertex) + count) * stride > vb->size()) return D3DERR_INVALIDCALL;
  if (loss() != Loss::None) return D3D_OK;
  if (!prepareDraw(vb->glName(), state_.streamOffset, stride)) return D3DERR_DRIVERINTERNALERROR;
  glDrawArrays(primitiveMode(type), static_cast<GLint>(startVertex), static_cast<GLsizei>(count));
  return D3D_OK;
}

HRESULT GLDevice::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT baseVertexIndex, UINT, UINT, UINT startIndex,
                                       UINT primitiveCount) {
  auto* vb = dynamic_cast<GLVertexBuffer*>(state_.stream);
  auto* ib = dynamic_cast<GLIndexBuffer*>(state_.indices);
  const UINT stride = state_.streamStride;
  const UINT count = verticesForPrimitives(type, primitiveCount);
  if (!vb || !ib || !strideFits(stride) || count == 0 || baseVertexIndex < 0) return D3DERR_INVALIDCALL;
  const UINT indexSize = ib->format() == D3DFMT_INDEX32 ? 4 : 2;
  if ((static_cast<uint64_t>(startIndex) + count) * indexSize > ib->size()) return D3DERR_INVALIDCALL;
  // Every index must land inside the vertex buffer: the GPU would read past it otherwise. The
  // buffer's highest index, kept since it was filled, settles almost every draw; only a draw
  // that the whole buffer would overrun looks at its own range.
  const uint64_t available = vb->size() > state_.streamOffset ? (vb->size() - state_.streamOffset) / stride : 0;
  const uint64_t base = static_cast<uint64_t>(baseVertexIndex);
  if (ib->highestIndex() + base >= available &&
      highestIndexIn(ib->bytes().data() + static_cast<size_t>(startIndex) * indexSize, count, indexSize) + base >= available)
    return D3DERR_INVALIDCALL;
  if (loss() != Loss::None) return D3D_OK;
  if (!prepareDraw(vb->glName(), state_.streamOffset, stride)) return D3DERR_DRIVERINTERNALERROR;
  bindElements(ib->glName());
  glDrawElementsBaseVertex(primitiveMode(type), static_cast<GLsizei>(count), indexSize == 4 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT,
                           reinterpret_cast<const void*>(static_cast<uintptr_t>(startIndex) * indexSize), baseVertexIndex);
  return D3D_OK;
}

HRESULT GLDevice::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertices, UINT stride) {
  context_->use();
  const UINT count = verticesForPrimitives(type, primitiveCount);
  if (!vertices || !strideFits(stride) || count == 0) return D3DERR_INVALIDCALL;
  if (loss() != Loss::None) return D3D_OK;
  glBindBuffer(GL_ARRAY_BUFFER, upVertexBuffer_);
  glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(static_cast<size_t>(count) * stride), vertices, GL_STREAM_DRAW);
  if (!prepareDraw(upVertexBuffer_, 0, stride)) return D3DERR_DRIVERINTERNALERROR;
  glDrawArrays(primitiveMode(type), 0, static_cast<GLsizei>(count));
  return D3D_OK;
}

HRESULT GLDevice::DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minVertexIndex, UINT numVertices, UINT primitiveCount,
                                         const void* indices, D3DFORMAT indexFormat, const void* vertices, UINT stride) {
  const UINT count = verticesForPrimitives(type, primitiveCount);
  if (!indices || !vertices || !strideFits(stride) || count == 0 || (indexFormat != D3DFMT_INDEX16 && indexFormat != D3DFMT_INDEX32))
    return D3DERR_INVALIDCALL;
  const UINT indexSize = indexFormat == D3DFMT_INDEX32 ? 4 : 2;
  const uint64_t vertexCount = static_cast<uint64_t>(minVertexIndex) + numVertices;
  for (UINT i = 0; i < count; ++i) {
    uint32_t index = 0;
    std::memcpy(&index, static_cast<const uint8_t*>(indices) + static_cast<size_t>(i) * indexSize, indexSize);
    if (index >= vertexCount) return D3DERR_INVALIDCALL;
  }
  if (loss() != Loss::None) return D3D_OK;
  context_->use();
  glBindBuffer(GL_ARRAY_BUFFER, upVertexBuffer_);
  glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertexCount * stride), vertices, GL_STREAM_DRAW);
  if (!prepareDraw(upVertexBuffer_, 0, stride)) return D3DERR_DRIVERINTERNALERROR;
  bindElements(upIndexBuffer_);
  glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(static_cast<size_t>(count) * indexSize), indices, GL_STREAM_DRAW);
  glDrawElements(primitiveMode(type), static_cast<GLsizei>(count), indexSize == 4 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT, nullptr);
  return D3D_OK;
}
