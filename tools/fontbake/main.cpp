// fontbake: bakes the scene's two bitmap fonts from a scalable font.
//
//   fontbake small  <font file> <media dir> <name>    text font: <name>.fs, .css, .png
//   fontbake digits <font file> <media dir> <name>    clock figures: <name>.fs, .css, .png
#include <cstdio>
#include <fstream>
#include <string>

#include "tools/fontbake/font_bake.h"

namespace {

bool writeText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fputs("usage: fontbake small|digits <font file> <media dir> <name>\n", stderr);
    return 2;
  }
  const std::string kind = argv[1], dir = argv[3], name = argv[4];
  auto face = fontbake::FontFace::open(argv[2]);
  if (!face) {
    std::fprintf(stderr, "fontbake: cannot open font %s\n", argv[2]);
    return 1;
  }
  std::optional<fontbake::BakedFont> font;
  int size = 0;
  std::string comment;
  if (kind == "small") {
    font = fontbake::bakeSmallFont(*face, 14, name + ".png");
    size = 14;
    comment = "Text font, size 14.";
  } else if (kind == "digits") {
    font = fontbake::bakeClockFigures(*face, name + ".png");
    size = 64;
    comment = "Clock figures for the overlays, size 64.";
  } else {
    std::fputs("fontbake: the kind is small or digits\n", stderr);
    return 2;
  }
  if (!font) {
    std::fprintf(stderr, "fontbake: %s lacks a character the font needs\n", argv[2]);
    return 1;
  }
  const std::string charset = fontbake::charsetText(font->charset);
  if (charset.empty() || !fontbake::writePng(dir + "/" + name + ".png", font->texture) ||
      !writeText(dir + "/" + name + ".css", charset) ||
      !writeText(dir + "/" + name + ".fs", fontbake::fontText(name, size, name + ".css", comment))) {
    std::fprintf(stderr, "fontbake: cannot write %s into %s\n", name.c_str(), dir.c_str());
    return 1;
  }
  return 0;
}
