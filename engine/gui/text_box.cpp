#include "engine/gui/text_box.h"

#include <algorithm>
#include <cmath>

#include "engine/device/overlay_states.h"
#include "engine/device/state_cache.h"

namespace halcyon {
namespace {

constexpr DWORD kVertexFormat = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

struct Vertex {
  float x, y, z, rhw;
  D3DCOLOR colour;
  float u, v;
};
static_assert(sizeof(Vertex) == 28);

void pushQuad(std::vector<Vertex>& out, float x0, float y0, float x1, float y1, D3DCOLOR colour, const GlyphRect& uv) {
  // Pre-transformed vertices address pixel centres at half-integers: shifting by half a pixel
  // puts texel edges on pixel edges.
  x0 -= 0.5f;
  y0 -= 0.5f;
  x1 -= 0.5f;
  y1 -= 0.5f;
  const Vertex a{x0, y0, 0.0f, 1.0f, colour, uv.u0, uv.v0};
  const Vertex b{x1, y0, 0.0f, 1.0f, colour, uv.u1, uv.v0};
  const Vertex c{x0, y1, 0.0f, 1.0f, colour, uv.u0, uv.v1};
  const Vertex d{x1, y1, 0.0f, 1.0f, colour, uv.u1, uv.v1};
  out.insert(out.end(), {a, b, c, c, b, d});
}

}  // namespace

uint32_t packColour(const std::array<float, 4>& argb) {
  uint32_t packed = 0;
  for (float f : argb) {
    const float v = std::isfinite(f) ? std::clamp(f, 0.0f, 1.0f) : 0.0f;
    packed = (packed << 8) | static_cast<uint32_t>(std::lround(v * 255.0f));
  }
  return packed;
}

TextBox::TextBox(const FontManager& fonts, const FontStyle& style) : fonts_(&fonts), style_(style) {}

void TextBox::setText(std::string text) {
  if (text == text_) return;
  text_ = std::move(text);
  markForRedraw();
}

void TextBox::setStyle(const FontStyle& style) {
  style_ = style;
  markForRedraw();
}

void TextBox::setDrawBackground(bool on) {
  background_ = on;
  markForRedraw();
}

const std::vector<GlyphQuad>& TextBox::layout() {
  if (!needsRedraw()) return quads_;
  quads_.clear();
  float penX = static_cast<float>(x()), penY = static_cast<float>(y());
  int32_t lineHeight = 0, glyphsOnLine = 0;
  auto newLine = [&] {
    if (lineHeight == 0) {
      const float h = static_cast<float>(style_.size) * style_.scale;
      lineHeight = std::isfinite(h) ? static_cast<int32_t>(h) : 0;
    }
    penX = static_cast<float>(x());
    penY += static_cast<float>(lineHeight + style_.rowSpace);
    lineHeight = 0;
    glyphsOnLine = 0;
  };
  for (char ch : text_) {
    if (ch == '\n') {
      newLine();
      continue;
    }
    const uint32_t c = static_cast<uint8_t>(ch);
    const Charset* cs = fonts_->findCharset(c, style_);
    if (cs == nullptr) continue;  // no glyph: nothing drawn, no room taken
    const GlyphSize size = cs->layoutSize(c, style_.scale);
    if (glyphsOnLine++ > 0) penX += static_cast<float>(style_.charSpace);
    GlyphQuad q;
    q.charset = cs;
    q.x0 = penX;
    q.y0 = penY;
    q.x1 = penX + static_cast<float>(size.width);
    q.y1 = penY + static_cast<float>(size.height);
    q.uv = cs->glyphRect(c);
    if (cs->texture && size.width > 0 && size.height > 0) quads_.push_back(q);
    penX += static_cast<float>(size.width);
    lineHeight = std::max(lineHeight, size.height);
  }
  redrawn();
  return quads_;
}

bool TextBox::render(StateCache& states) {
  IDirect3DDevice9* device = states.device();
  if (device == nullptr) return false;
  const std::vector<GlyphQuad>& quads = layout();
  if (quads.empty() && !background_) return true;

  // Everything the overlay changes goes back when `set` goes.
  OverlayStates set(states);
  set.setCommon();
  bool ok = SUCCEEDED(device->SetFVF(kVertexFormat));

  std::vector<Vertex> vertices;
  if (background_) {
    set.texture(nullptr);
    set.stage(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    set.stage(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    set.stage(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    set.stage(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    pushQuad(vertices, static_cast<float>(x()), static_cast<float>(y()), static_cast<float>(x() + width()),
             static_cast<float>(y() + height()), packColour(style_.background), GlyphRect{});
    ok = SUCCEEDED(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, vertices.data(), sizeof(Vertex))) && ok;
  }

  // Text colour times the glyph texel; the colour key's texels have alpha 0 and vanish.
  set.stage(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
  set.stage(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
  set.stage(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
  set.stage(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
  set.stage(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
  set.stage(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
  const D3DCOLOR colour = packColour(style_.colour);
  // One draw per run of glyphs from the same texture.
  size_t i = 0;
  while (i < quads.size()) {
    IDirect3DBaseTexture9* texture = quads[i].charset->texture->deviceTexture();
    vertices.clear();
    size_t j = i;
    for (; j < quads.size() && quads[j].charset->texture->deviceTexture() == texture; ++j) {
      const GlyphQuad& q = quads[j];
      pushQuad(vertices, q.x0, q.y0, q.x1, q.y1, colour, q.uv);
    }
    set.texture(texture);
    const UINT triangles = static_cast<UINT>(2 * (j - i));
    ok = SUCCEEDED(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, triangles, vertices.data(), sizeof(Vertex))) && ok;
    i = j;
  }
  return ok;
}

}  // namespace halcyon
