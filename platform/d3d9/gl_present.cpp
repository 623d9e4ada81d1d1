#include "platform/d3d9/gl_device.h"

#include <algorithm>
#include <optional>

#include "platform/d3d9/gl_enums.h"

namespace {

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

// The same look-up done in place on the window's own pixels, where the driver lets a pass read
// the pixel it writes: the frame is then drawn straight into the window under any ramp, with
// no offscreen target to copy from.
const char* kInPlaceFragment = R"(#version 330 core
#extension GL_EXT_shader_framebuffer_fetch : require
uniform sampler2D uGamma;
layout(location = 0) inout vec4 colour;
void main() {
  ivec3 i = ivec3(floor(clamp(colour.rgb, 0.0, 1.0) * 255.0 + 0.5));
  colour = vec4(texelFetch(uGamma, ivec2(i.r, 0), 0).r, texelFetch(uGamma, ivec2(i.g, 0), 0).g,
                texelFetch(uGamma, ivec2(i.b, 0), 0).b, 1.0);
}
)";

// The brightness step: one colour, added to the window's pixels or taken from them.
const char* kOffsetFragment = R"(#version 330 core
uniform vec4 uColour;
out vec4 colour;
void main() { colour = uColour; }
)";

// The step by which a ramp moves every level of one colour, when it does exactly that (the
// level an entry gives is its high byte, clamped to 0..255); nullopt otherwise.
std::optional<int> offsetOf(const WORD* ramp) {
  int i = 0;
  while (i < 256 && ((ramp[i] >> 8) == 0 || (ramp[i] >> 8) == 255)) ++i;
  if (i == 256) return std::nullopt;  // every entry saturated: no step to read
  const int step = (ramp[i] >> 8) - i;
  for (int j = 0; j < 256; ++j)
    if ((ramp[j] >> 8) != std::clamp(j + step, 0, 255)) return std::nullopt;
  return step;
}

// Drains the GL error queue so that the next check sees only what follows.
void clearGLErrors() {
  for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i) {
  }
}

// The back buffer seen as a surface: locking reads the finished pixels back.
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

// ---- the present pass and the frame's targets ----

bool GLDevice::createPresentPass() {
  presentProgram_ = linkProgram(kPresentVertex, kPresentFragment);
  if (!presentProgram_) return false;
  presentSourceLoc_ = glGetUniformLocation(presentProgram_, "uSource");
  presentGammaLoc_ = glGetUniformLocation(presentProgram_, "uGamma");
  glGenVertexArrays(1, &emptyVao_);
  glGenTextures(1, &gammaTex_);
  glActiveTexture(kScratchUnit);
  glBindTexture(GL_TEXTURE_2D, gammaTex_);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 256, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
  offsetProgram_ = linkProgram(kPresentVertex, kOffsetFragment);
  if (!offsetProgram_) return false;
  offsetColourLoc_ = glGetUniformLocation(offsetProgram_, "uColour");
  // Without the extension every other ramp keeps going through the offscreen target.
  if (epoxy_has_gl_extension("GL_EXT_shader_framebuffer_fetch")) {
    inPlaceProgram_ = linkProgram(kPresentVertex, kInPlaceFragment);
    inPlaceGammaLoc_ = glGetUniformLocation(inPlaceProgram_, "uGamma");
    if (inPlaceProgram_) warmInPlacePass();
  }
  return true;
}

void GLDevice::warmInPlacePass() {
  // The driver builds a program's code at its first draw, which for this pass would be the
  // first lightning flash; one draw now over no pixel, in the state the pass draws in, does it
  // while the device is made.
  beginInPlacePass();
  glEnable(GL_SCISSOR_TEST);
  glScissor(0, 0, 0, 0);
  glDrawArrays(GL_TRIANGLES, 0, 3);
  glDisable(GL_SCISSOR_TEST);
  glBindTexture(GL_TEXTURE_2D, 0);
  glUseProgram(0);
  samplerBound_[1] = false;
}

void GLDevice::beginInPlacePass() {
  beginWindowPass();
  glDisable(GL_BLEND);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  glUseProgram(inPlaceProgram_);
  glActiveTexture(GL_TEXTURE1);
  glBindTexture(GL_TEXTURE_2D, gammaTex_);
  glBindSampler(1, 0);
  glUniform1i(inPlaceGammaLoc_, 1);
  glBindVertexArray(emptyVao_);
}

void GLDevice::destroyPresentPass() {
  if (presentProgram_) glDeleteProgram(presentProgram_);
  if (offsetProgram_) glDeleteProgram(offsetProgram_);
  if (inPlaceProgram_) glDeleteProgram(inPlaceProgram_);
  if (gammaTex_) glDeleteTextures(1, &gammaTex_);
  if (emptyVao_) glDeleteVertexArrays(1, &emptyVao_);
}

bool GLDevice::applyWindowMode() {
  SDL_Window* window = context_->window;
  if (params_.Windowed) {
    if (SDL_GetWindowFlags(window) & (SDL_WINDOW_FULLSCREEN | SDL_WINDOW_FULLSCREEN_DESKTOP))
      SDL_SetWindowFullscreen(window, 0);
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
    if (static_cast<UINT>(desktop.w) == params_.BackBufferWidth &&
        static_cast<UINT>(desktop.h) == params_.BackBufferHeight) {
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
  else if (SDL_GL_SetSwapInterval(-1) != 0)
    SDL_GL_SetSwapInterval(1);
  return true;
}

bool GLDevice::makeOffscreenTarget() {
  if (fbo_) return true;
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
  const bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
  if (complete) clearBoundTarget();
  glBindFramebuffer(GL_FRAMEBUFFER, frameOpen_ ? frameFbo_ : 0);
  if (complete) return true;
  glDeleteFramebuffers(1, &fbo_);
  glDeleteTextures(1, &colourTex_);
  glDeleteRenderbuffers(1, &depthRb_);
  fbo_ = colourTex_ = depthRb_ = 0;
  return false;
}

void GLDevice::clearBoundTarget() {
  // Whatever the draws left set must not narrow the clear; the next draw sets its own again.
  glDisable(GL_SCISSOR_TEST);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  glDepthMask(GL_TRUE);
  glStencilMask(0xFF);
  renderDirty_ = true;
  glClearColor(0, 0, 0, 1);
  glClearDepth(1.0);
  glClearStencil(0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
}

bool GLDevice::createTargets() {
  const GLsizei w = static_cast<GLsizei>(params_.BackBufferWidth), h = static_cast<GLsizei>(params_.BackBufferHeight);
  samples_ = 0;
  if (params_.MultiSampleType >= D3DMULTISAMPLE_2_SAMPLES) {
    GLint maxSamples = 0;
    glGetIntegerv(GL_MAX_SAMPLES, &maxSamples);
    samples_ = std::min<GLint>(static_cast<GLint>(params_.MultiSampleType), maxSamples);
  }
  // The offscreen target costs two buffers of the window's size. It is made now only when no
  // frame can be drawn in the window; otherwise when a frame first needs it (a ramp the window
  // cannot apply, a window of another size), which may be never.
  if (samples_ >= 2 || !windowHoldsFrames_ || formatHasAlphaChannel(params_.BackBufferFormat))
    if (!makeOffscreenTarget()) return false;
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
    clearBoundTarget();
  }
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
  else if (rampFitsTheWindow() && windowHoldsFrames_ && !formatHasAlphaChannel(params_.BackBufferFormat) &&
           windowMatchesBackBuffer())
    frameFbo_ = 0;
  else if (makeOffscreenTarget())
    frameFbo_ = fbo_;
  else {
    // Frames then go to the window as they are, without the ramp.
    if (!offscreenFailureSaid_)
      SDL_Log("the offscreen target could not be made; frames are shown without the gamma ramp");
    offscreenFailureSaid_ = true;
    frameFbo_ = 0;
  }
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

HRESULT GLDevice::GetBackBuffer(UINT swapChain, UINT index, D3DBACKBUFFER_TYPE, IDirect3DSurface9** surface) {
  if (!surface || swapChain != 0 || index != 0) return D3DERR_INVALIDCALL;
  D3DSURFACE_DESC desc = backBufferDescription();
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
  if (coverNothing_) {
    // Nothing was drawn to show; what the frame built is done, and its memory goes now.
    releaseCompilerIfUsed();
    frameOpen_ = false;
    renderDirty_ = true;
    return D3D_OK;
  }
  const GLuint drawn = frameTarget();
  if (drawn == 0 && rampIsOffset_) offsetInWindow();
  else if (drawn == 0 && !rampIsIdentity_ && inPlaceProgram_)
    lookUpInWindow();
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
  releaseCompilerIfUsed();
  // The next frame chooses its target again, by the ramp it will be shown through.
  frameOpen_ = false;
  renderDirty_ = true;
  return D3D_OK;
}

void GLDevice::uploadRampTable() {
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
}

void GLDevice::presentThroughRamp(GLuint source) {
  (void)source;  // always the single-sampled target, whose colour is colourTex_
  uploadRampTable();
  beginWindowPass();
  glDisable(GL_BLEND);
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

void GLDevice::rampChanged() {
  gammaDirty_ = true;
  const D3DGAMMARAMP& g = state_.gamma;
  const WORD* channels[3] = {g.red, g.green, g.blue};
  rampIsOffset_ = true;
  for (int c = 0; c < 3 && rampIsOffset_; ++c) {
    const std::optional<int> step = offsetOf(channels[c]);
    rampIsOffset_ = step.has_value();
    rampOffset_[c] = step.value_or(0);
  }
  rampIsIdentity_ = rampIsOffset_ && rampOffset_[0] == 0 && rampOffset_[1] == 0 && rampOffset_[2] == 0;
  if (rampIsIdentity_) rampIsOffset_ = false;
}

void GLDevice::lookUpInWindow() {
  uploadRampTable();
  beginInPlacePass();
  glDrawArrays(GL_TRIANGLES, 0, 3);
  // The pass changed bindings and state that draws rely on.
  current_ = nullptr;
  vaoBound_ = false;
  boundTextures_[1] = ~GLuint(0);
  samplerBound_[1] = false;
  texturesDirty_ = samplersDirty_ = true;
  glUseProgram(0);
}

void GLDevice::offsetInWindow() {
  // Colours raised and colours lowered take a pass each; a colour moved by one of them gets
  // nothing from the other. Blending clamps, as the ramp does, and a step of k/255 moves an
  // 8-bit level by exactly k.
  beginWindowPass();
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_FALSE);
  glEnable(GL_BLEND);
  glBlendFunc(GL_ONE, GL_ONE);
  glUseProgram(offsetProgram_);
  glBindVertexArray(emptyVao_);
  for (const GLenum equation : {GL_FUNC_ADD, GL_FUNC_REVERSE_SUBTRACT}) {
    const int sign = equation == GL_FUNC_ADD ? 1 : -1;
    float colour[4] = {0, 0, 0, 0};
    bool any = false;
    for (int c = 0; c < 3; ++c) {
      const int step = std::max(0, sign * rampOffset_[c]);
      colour[c] = static_cast<float>(step) / 255.0f;
      any = any || step > 0;
    }
    if (!any) continue;
    glBlendEquation(equation);
    glUniform4fv(offsetColourLoc_, 1, colour);
    glDrawArrays(GL_TRIANGLES, 0, 3);
  }
  // The pass changed state and bindings that draws rely on; the next frame sets them again.
  current_ = nullptr;
  vaoBound_ = false;
  glUseProgram(0);
}

void GLDevice::beginWindowPass() {
  int dw = 0, dh = 0;
  SDL_GL_GetDrawableSize(context_->window, &dw, &dh);
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  glViewport(0, 0, dw, dh);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_CULL_FACE);
  glDisable(GL_STENCIL_TEST);
  glDisable(GL_SCISSOR_TEST);
  glDisable(GL_POLYGON_OFFSET_FILL);
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
}
