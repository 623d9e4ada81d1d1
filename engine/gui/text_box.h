#pragma once
// A text box: plain text in a font style at a place on screen. Lines break at "\n"; glyphs
// are laid out from the box's top-left corner, each advancing by its layout width plus the
// style's char space, lines by the tallest glyph plus the row space. The box does not clip:
// its size is where the owner means the text to go, and the text extent says what it takes.
//
// The laid-out glyph quads are kept and rebuilt only after a change (text, place, size or
// style), so a text that is set every frame to the same value costs one comparison.
#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "engine/gui/window.h"
#include "engine/text/font_manager.h"


namespace halcyon {

struct GlyphQuad {
  const Charset* charset = nullptr;
  float x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // screen pixels
  GlyphRect uv;
};

class TextBox : public Window {
 public:
  TextBox(const FontManager& fonts, const FontStyle& style);

  void setText(std::string text);
  const std::string& text() const { return text_; }
  void setStyle(const FontStyle& style);
  const FontStyle& style() const { return style_; }
  // A filled rectangle in the style's background colour behind the text (off by default).
  void setDrawBackground(bool on);

  // The extent of the current text, or of any text, in the box's style.
  TextExtent textExtent() const { return measure(text_); }
  TextExtent measure(std::string_view text) const { return fonts_->measure(text, style_); }

  // The glyphs as they will be drawn (laid out again when marked for redrawing).
  const std::vector<GlyphQuad>& layout();

  bool render(StateCache& states) override;

 private:
  const FontManager* fonts_;
  FontStyle style_;
  std::string text_;
  bool background_ = false;
  std::vector<GlyphQuad> quads_;
};

// A colour of four floats (alpha, red, green, blue; 0..1) as 0xAARRGGBB, each channel
// scaled by 255, rounded and held to 0..255.
uint32_t packColour(const std::array<float, 4>& argb);

}  // namespace halcyon
