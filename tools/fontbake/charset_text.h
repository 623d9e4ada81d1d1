#pragma once
// The text files a baked font is described by: the font file (".fs", its styles) and the
// charset file (".css", the texture and where each glyph lies in it), both in the engine's
// UDF text syntax.
#include <map>
#include <string>
#include <vector>

namespace fontbake {

struct GlyphRect {
  int x0, y0, x1, y1;  // texel coordinates, inclusive
};

struct CharsetDescription {
  std::string comment;      // a line or two saying what the charset is
  std::string textureName;  // found beside the charset file
  int charsPerLine = 16;
  int cellWidth = 16;
  int cellHeight = 16;
  int firstChar = 0;
  int lastChar = 255;
  // Either a width for every character from first to last, written as one array...
  std::vector<int> gridWidths;
  // ...or single characters with explicit rectangles (their widths follow from them).
  std::map<unsigned char, GlyphRect> rects;
};

std::string fontText(const std::string& name, int size, const std::string& charsetFile, const std::string& comment);
// Empty when the description cannot be written: a rectangle for a character that has no
// quoted form (see charset_text.cpp).
std::string charsetText(const CharsetDescription& charset);

}  // namespace fontbake
