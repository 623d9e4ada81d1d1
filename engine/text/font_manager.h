#pragma once
// The font registry. Fonts (".fs" files) list styles; each style owns the charsets (".css"
// files) named in it, in file order. All styles of all fonts are kept ordered by size, and
// text is drawn by asking, character by character, for the charset that serves a wanted
// style, then for the glyph's width and texture rectangle.
//
// Charset textures come from a CharsetTextureSource (the texture manager in the program), so
// that shared textures and device loss are handled where every other texture's are.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/fs/file_ref.h"
#include "platform/d3d9/d3d9types.h"
#include "engine/text/charset.h"
#include "engine/text/font_style.h"

namespace halcyon {

// The format a charset asks for when its file names none.
constexpr uint32_t kFormatA8R8G8B8 = D3DFMT_A8R8G8B8;

struct CharsetTextureRequest {
  static constexpr uint32_t kFormatGiven = 0x01;
  static constexpr uint32_t kColourKeyGiven = 0x02;

  FileRef file;  // the texture's name, to be found on disk or in an archive
  uint32_t flags = kFormatGiven | kColourKeyGiven;
  D3DFORMAT format = D3DFMT_A8R8G8B8;
  uint32_t colourKey = 0;  // 0xAARRGGBB; texels of this colour become transparent
};

class CharsetTextureSource {
 public:
  virtual ~CharsetTextureSource() = default;
  // The texture, or null when it cannot be had.
  virtual std::unique_ptr<CharsetTexture> load(const CharsetTextureRequest& request, const SearchPaths& paths) = 0;
};

struct TextExtent {
  int32_t width = 0, height = 0;
};

class FontManager {
 public:
  struct Style {
    FontStyle style;
    std::vector<std::unique_ptr<Charset>> charsets;
  };

  explicit FontManager(CharsetTextureSource* textures = nullptr) : textures_(textures) {}
  FontManager(const FontManager&) = delete;
  FontManager& operator=(const FontManager&) = delete;

  void setTextureSource(CharsetTextureSource* textures) { textures_ = textures; }
  // Copied into every load; the owner adds the media locations here.
  SearchPaths& searchPaths() { return searchPaths_; }

  // Adds the font's styles and their charsets. False when the font file cannot be found,
  // opened or parsed (nothing is added then) or when one of its charsets failed (its styles
  // and the failed charset stay registered).
  bool loadFont(FileRef font, const SearchPaths* paths = nullptr);
  // Reads one charset file into `charset`; with `paths` the name is resolved through them
  // first and the file's own folder is searched for the texture.
  bool loadCharset(FileRef file, const SearchPaths* paths, Charset& charset);

  // The style that serves `wanted`: the floor (greatest size not above the wanted one) when
  // it matches the wanted style or there is no ceiling, else the ceiling. Null without styles.
  const Style* matchStyle(const FontStyle& wanted) const;
  // The first charset of the matched style that holds the character; null when none does.
  const Charset* findCharset(uint32_t character, const FontStyle& wanted) const;

  // The extent of a text laid out in `style` (its scale and char space): glyph advances
  // summed per line, the widest line; lines ("\n") are the tallest glyph high plus the row
  // space between them. Characters without a charset take no room.
  TextExtent measure(std::string_view text, const FontStyle& style) const;

  const std::vector<Style>& styles() const { return styles_; }

 private:
  Style& addStyle(const FontStyle& style);

  CharsetTextureSource* textures_;
  SearchPaths searchPaths_;
  std::vector<Style> styles_;  // ordered by size; equal sizes in the order they were added
};

}  // namespace halcyon
