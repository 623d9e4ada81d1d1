#pragma once
// A charset texture that is only a size and an origin, with no device texture behind it: for
// font code that lays glyphs out without drawing them.
#include <cstdint>

#include "engine/text/font_manager.h"

namespace texttest {

class SizedCharsetTexture : public halcyon::CharsetTexture {
 public:
  SizedCharsetTexture(int32_t w, int32_t h, int32_t originX = 0, int32_t originY = 0)
      : w_(w), h_(h), originX_(originX), originY_(originY) {}
  int32_t width() const override { return w_; }
  int32_t height() const override { return h_; }
  int32_t originX() const override { return originX_; }
  int32_t originY() const override { return originY_; }
  IDirect3DBaseTexture9* deviceTexture() const override { return nullptr; }

 private:
  int32_t w_, h_, originX_, originY_;
};

}  // namespace texttest
