#include "engine/text/font_manager.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "engine/core/trace.h"
#include "engine/device/device_settings.h"
#include "engine/udf/udf_text.h"

namespace halcyon {
namespace {

// The name of a node as a number (element names "0", "1", ... of an array), truncated toward
// zero; 0 when it is not a number or lies beyond the 32-bit range.
int32_t nameAsInt(const std::string& name) {
  if (!isNumber(name)) return 0;
  const double v = numberValue(name);
  if (!(v > -2147483649.0 && v < 2147483648.0)) return 0;
  return static_cast<int32_t>(v);
}

int32_t readInt(const NodeMap& root, std::string_view key, int32_t fallback) {
  const UdfNode* n = root.findChild(key);
  return n ? n->asInt() : fallback;
}

// Iterates the children the engine's way: from the cursor, count times.
template <typename Fn>
void forEachChild(NodeMap& map, Fn fn) {
  for (int32_t i = 0, n = map.count(); i < n; ++i) {
    UdfNode* child = map.current();
    map.advance();
    if (child != nullptr) fn(*child);
  }
}

bool parseFile(FileRef& file, NodeMap& root, const SearchPaths* paths) {
  std::unique_ptr<Stream> stream = file.open(Read);
  if (!stream) return false;
  return parseUdfText(*stream, root, paths);
}

}  // namespace

FontManager::Style& FontManager::addStyle(const FontStyle& style) {
  auto at = std::upper_bound(styles_.begin(), styles_.end(), style.size,
                             [](int32_t size, const Style& s) { return size < s.style.size; });
  Style entry;
  entry.style = style;
  return *styles_.insert(at, std::move(entry));
}

bool FontManager::loadFont(FileRef font, const SearchPaths* paths) {
  SearchPaths working = searchPaths_;
  if (paths != nullptr) {
    for (const FileRef& l : paths->diskLocations()) working.addLocation(l);
    for (const FileRef& l : paths->archiveLocations()) working.addLocation(l);
  }
  if (!working.resolve(font)) return false;
  // Charsets and their textures are found beside the font and in the media folders, never
  // in the working folder.
  working.addLocation(font.directoryOf());
  working.keepToLocations(true);

  NodeMap root;
  if (!parseFile(font, root, &working)) return false;

  bool status = true;
  UdfNode* stylesNode = root.findChild("Styles");
  if (stylesNode == nullptr) return status;
  forEachChild(*stylesNode, [&](UdfNode& entry) {
    FontStyle style;
    style.size = readInt(entry, "Size", 14);
    if (const UdfNode* b = entry.findChild("Bold"); b && b->asInt() >= 1) style.flags |= kFontBold;
    if (const UdfNode* i = entry.findChild("Italic"); i && i->asInt() >= 1) style.flags |= kFontItalic;
    if (const UdfNode* n = entry.findChild("FontName")) style.fontName = utf16FromCp1251(n->asString());
    UdfNode* charsets = entry.findChild("Charsets");
    if (charsets == nullptr) return;  // a style without charsets draws nothing: not kept
    Style& added = addStyle(style);
    forEachChild(*charsets, [&](UdfNode& item) {
      const std::string name = item.asString();
      FileRef file;
      file.name = name;
      file.sources = Disk | Archive;
      auto charset = std::make_unique<Charset>();
      if (!loadCharset(file, &working, *charset)) {
        logError("", "Error: Charset '" + name + "' loading failed\n");
        status = false;
      }
      added.charsets.push_back(std::move(charset));
    });
  });
  return status;
}

bool FontManager::loadCharset(FileRef file, const SearchPaths* paths, Charset& cs) {
  SearchPaths working;
  if (paths != nullptr) {
    if (!paths->resolve(file)) return false;
    working = *paths;
    working.addLocation(file.directoryOf());
  }
  NodeMap root;
  if (!parseFile(file, root, &working)) return false;

  const UdfNode* formatNode = root.findChild("Format");
  const D3DFORMAT format = formatNode ? formatFromText(formatNode->asString()) : D3DFMT_A8R8G8B8;
  const UdfNode* nameNode = root.findChild("Name");
  const std::string textureName = nameNode ? nameNode->asString() : std::string();
  cs.charsPerLine = readInt(root, "CharsPerLine", cs.charsPerLine);
  cs.cellWidth = readInt(root, "CharWidth", cs.cellWidth);
  cs.cellHeight = readInt(root, "CharHeight", cs.cellHeight);
  cs.firstChar = readInt(root, "StartChar", cs.firstChar);
  cs.lastChar = readInt(root, "EndChar", cs.lastChar);
  const int64_t count = static_cast<int64_t>(cs.lastChar) - cs.firstChar + 1;
  // A range running backwards holds nothing; one wider than 16-bit characters can address
  // would only cost memory.
  if (count < 1 || count > Charset::kMaxCharacters) return false;
  const UdfNode* keyNode = root.findChild("ColorKey");
  const uint32_t colourKey = keyNode ? readColour(*keyNode) : 0;

  // Widths nothing sets are a whole cell wide.
  cs.widths.assign(static_cast<size_t>(count), static_cast<uint8_t>(cs.cellWidth));
  auto widthSlot = [&](int64_t character) -> uint8_t* {
    const int64_t i = character - cs.firstChar;
    return i >= 0 && i < count ? &cs.widths[static_cast<size_t>(i)] : nullptr;
  };
  if (UdfNode* sizes = root.findChild("Sizes")) {
    forEachChild(*sizes, [&](UdfNode& child) {
      const std::string& n = child.name();
      int64_t character = 0;
      if (!n.empty() && n[0] == '"') {
        character = n.size() > 1 ? static_cast<uint8_t>(n[1]) : 0;  // Sizes["a"]
      } else {
        character = nameAsInt(n);  // Sizes[97], or element 97 of an array
      }
      if (uint8_t* slot = widthSlot(character)) *slot = static_cast<uint8_t>(child.asInt());
    });
  }

  if (textureName.empty()) return true;
  CharsetTextureRequest request;
  request.file.name = textureName;
  request.file.sources = Disk | Archive;
  request.format = format;
  request.colourKey = colourKey;
  std::unique_ptr<CharsetTexture> texture = textures_ ? textures_->load(request, working) : nullptr;
  if (texture && (texture->width() <= 0 || texture->height() <= 0)) texture.reset();
  if (!texture) {
    logError("", "Error: font texture loading failed\n");
    return false;
  }
  cs.texture = std::move(texture);
  const float W = static_cast<float>(cs.texture->width());
  const float H = static_cast<float>(cs.texture->height());

  cs.rects.assign(static_cast<size_t>(count), GlyphRect{});
  if (cs.charsPerLine > 0) {
    const int64_t X0 = cs.texture->originX(), Y0 = cs.texture->originY();
    for (int64_t i = 0; i < count; ++i) {
      const int64_t row = i / cs.charsPerLine, column = i % cs.charsPerLine;
      const int64_t x0 = X0 + column * cs.cellWidth, y0 = Y0 + row * cs.cellHeight;
      const int64_t x1 = x0 + cs.widths[static_cast<size_t>(i)], y1 = y0 + cs.cellHeight;
      cs.rects[static_cast<size_t>(i)] = {static_cast<float>(x0) / W, static_cast<float>(y0) / H,
                                          static_cast<float>(x1) / W, static_cast<float>(y1) / H};
    }
  }

  if (UdfNode* rects = root.findChild("Rects")) {
    forEachChild(*rects, [&](UdfNode& child) {
      if (child.count() != 4) return;
      const std::string& n = child.name();  // expected as "x", quotes included
      const int64_t character = n.size() > 1 ? static_cast<uint8_t>(n[1]) : 0;
      auto at = [&](const char* key) {
        const UdfNode* c = child.findChild(key);
        return c ? c->asInt() : 0;
      };
      const int32_t x0 = at("0"), y0 = at("1"), x1 = at("2"), y1 = at("3");
      if (uint8_t* slot = widthSlot(character)) {
        *slot = static_cast<uint8_t>(static_cast<int64_t>(x1) - x0 + 1);
      }
      const int64_t i = character - cs.firstChar;
      if (i < 0) return;
      if (i >= static_cast<int64_t>(cs.rects.size())) cs.rects.resize(static_cast<size_t>(i) + 1);
      cs.rects[static_cast<size_t>(i)] = {static_cast<float>(x0) / W, static_cast<float>(y0) / H,
                                          static_cast<float>(x1) / W, static_cast<float>(y1) / H};
    });
  }
  return true;
}

const FontManager::Style* FontManager::matchStyle(const FontStyle& wanted) const {
  const Style* floor = nullptr;
  const Style* ceiling = nullptr;
  for (const Style& s : styles_) {
    if (s.style.size <= wanted.size) {
      // Among styles of the floor size, one that matches the wanted style wins.
      if (floor == nullptr || s.style.size > floor->style.size ||
          (s.style.size == floor->style.size && !floor->style.matches(wanted) && s.style.matches(wanted))) {
        floor = &s;
      }
    }
    if (s.style.size >= wanted.size && ceiling == nullptr) ceiling = &s;
  }
  if (floor != nullptr && (floor->style.matches(wanted) || ceiling == nullptr)) return floor;
  return ceiling;
}

const Charset* FontManager::findCharset(uint32_t character, const FontStyle& wanted) const {
  const Style* style = matchStyle(wanted);
  if (style == nullptr) return nullptr;
  for (const auto& cs : style->charsets) {
    if (cs->holds(character)) return cs.get();
  }
  return nullptr;
}

TextExtent FontManager::measure(std::string_view text, const FontStyle& style) const {
  // Sums are kept wide and the result saturates: glyph sizes come from font files.
  int64_t width = 0, lineWidth = 0, lineHeight = 0, glyphs = 0, lines = 1;
  auto endLine = [&] { width = std::max(width, lineWidth); };
  for (char ch : text) {
    if (ch == '\n') {
      endLine();
      lineWidth = 0;
      glyphs = 0;
      ++lines;
      continue;
    }
    const uint32_t c = static_cast<uint8_t>(ch);
    const Charset* cs = findCharset(c, style);
    if (cs == nullptr) continue;
    const GlyphSize size = cs->layoutSize(c, style.scale);
    if (glyphs++ > 0) lineWidth += style.charSpace;
    lineWidth += size.width;
    lineHeight = std::max<int64_t>(lineHeight, size.height);
  }
  endLine();
  if (lineHeight == 0) {
    const float h = static_cast<float>(style.size) * style.scale;
    lineHeight = std::isfinite(h) ? static_cast<int64_t>(std::clamp(h, -2.0e9f, 2.0e9f)) : 0;
  }
  auto saturate = [](int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); };
  TextExtent extent;
  extent.width = saturate(width);
  extent.height = saturate(lines * lineHeight + (lines - 1) * int64_t{style.rowSpace});
  return extent;
}

}  // namespace halcyon
