#pragma once
// A FreeType face that renders single characters as coverage maps.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace fontbake {

struct Coverage {
  int width = 0, height = 0;
  int left = 0;              // from the pen position to the first column
  int top = 0;               // from the baseline up to the first row
  int advance = 0;           // pen advance, whole pixels
  std::vector<float> alpha;  // width * height values in 0..1
  float at(int x, int y) const {
    return x < 0 || y < 0 || x >= width || y >= height ? 0.0f : alpha[static_cast<std::size_t>(y * width + x)];
  }
};

class FontFace {
 public:
  static std::unique_ptr<FontFace> open(const std::string& path);
  ~FontFace();
  FontFace(const FontFace&) = delete;
  FontFace& operator=(const FontFace&) = delete;

  bool setPixelSize(int pixels);
  // Hinted rendering snaps stems to pixels (for small text); unhinted keeps the design's
  // exact shapes (for glyphs rendered large and scaled down).
  std::optional<Coverage> render(std::uint32_t codepoint, bool hinted) const;
  bool hasGlyph(std::uint32_t codepoint) const;
  int ascender() const;   // pixels above the baseline for this size
  int descender() const;  // pixels below it (positive)

 private:
  struct Handles;
  explicit FontFace(std::unique_ptr<Handles> handles);
  std::unique_ptr<Handles> handles_;
};

}  // namespace fontbake
