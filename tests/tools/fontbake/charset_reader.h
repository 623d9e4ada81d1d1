#pragma once
// Reads a font or charset text the way the engine's font loader does: parsed by the data
// language, "Styles" children with their "Size" and "Charsets", and a charset's "Sizes"
// (children named by a quoted character or by its code) and "Rects" (children of exactly
// four elements, named by a quoted character).
#include <map>
#include <string>
#include <vector>

namespace fontbake::reader {

struct Style {
  int size = 14;
  std::vector<std::string> charsets;
};

struct Rect {
  int x0, y0, x1, y1;
};

struct Charset {
  std::string format, texture;
  int perLine = 0, cellWidth = 14, cellHeight = 14, first = 0, last = 256;
  std::map<int, int> widths;  // character -> width, as written
  std::map<int, Rect> rects;  // character -> rectangle in texels
  int sizesChildren = 0;      // children under "Sizes", for spotting merged elements
  bool sizesAllNumbers = true;
};

std::vector<Style> readFont(const std::string& text);
Charset readCharset(const std::string& text);
std::string readFile(const std::string& path);

}  // namespace fontbake::reader
