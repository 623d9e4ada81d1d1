#include "engine/text/charset.h"

#include <cmath>
#include <limits>

namespace halcyon {
namespace {

int32_t truncated(float v) {
  if (!std::isfinite(v)) return 0;
  if (v >= 2147483647.0f) return std::numeric_limits<int32_t>::max();
  if (v <= -2147483648.0f) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
}

}  // namespace

bool Charset::holds(uint32_t character) const {
  const int64_t c = static_cast<uint16_t>(character);
  return firstChar <= c && c <= lastChar;
}

int32_t Charset::glyphWidth(uint32_t character) const {
  if (!holds(character)) return cellWidth;
  const int64_t i = static_cast<int64_t>(static_cast<uint16_t>(character)) - firstChar;
  return i < static_cast<int64_t>(widths.size()) ? widths[static_cast<size_t>(i)] : cellWidth;
}

GlyphRect Charset::glyphRect(uint32_t character) const {
  if (!texture) return {};
  const int64_t i = static_cast<int64_t>(static_cast<uint16_t>(character)) - firstChar;
  if (i < 0 || i >= static_cast<int64_t>(rects.size())) return {};
  return rects[static_cast<size_t>(i)];
}

GlyphRect Charset::croppedGlyphRect(uint32_t character, int32_t left, int32_t top, int32_t right,
                                    int32_t bottom) const {
  if (!texture || texture->width() <= 0 || texture->height() <= 0) return {};
  GlyphRect r = glyphRect(character);
  const float w = static_cast<float>(texture->width());
  const float h = static_cast<float>(texture->height());
  r.u0 += static_cast<float>(left) / w;
  r.v0 += static_cast<float>(top) / h;
  r.u1 -= static_cast<float>(right) / w;
  r.v1 -= static_cast<float>(bottom) / h;
  return r;
}

GlyphSize Charset::layoutSize(uint32_t character, float scale) const {
  return {truncated(static_cast<float>(glyphWidth(character)) * scale),
          truncated(static_cast<float>(cellHeight) * scale)};
}

}  // namespace halcyon
