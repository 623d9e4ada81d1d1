#include "charset_reader.h"

#include <fstream>
#include <iterator>

#include "engine/udf/udf_text.h"

namespace fontbake::reader {
namespace {

using halcyon::NodeMap;
using halcyon::UdfNode;

template <typename Fn>
void eachChild(NodeMap& map, Fn fn) {
  for (int32_t i = 0; i < map.count(); ++i) {
    fn(*map.current());
    map.advance();
  }
}

int intOf(const NodeMap& root, const char* key, int fallback) {
  const UdfNode* node = root.findChild(key);
  return node ? node->asInt() : fallback;
}

}  // namespace

std::vector<Style> readFont(const std::string& text) {
  NodeMap root;
  halcyon::parseUdfText(text, root);
  std::vector<Style> styles;
  UdfNode* list = root.findChild("Styles");
  if (!list) return styles;
  eachChild(*list, [&](UdfNode& s) {
    Style style;
    style.size = intOf(s, "Size", 14);
    if (UdfNode* charsets = s.findChild("Charsets"))
      eachChild(*charsets, [&](UdfNode& c) { style.charsets.push_back(c.asString()); });
    styles.push_back(style);
  });
  return styles;
}

Charset readCharset(const std::string& text) {
  NodeMap root;
  halcyon::parseUdfText(text, root);
  Charset c;
  if (const UdfNode* f = root.findChild("Format")) c.format = f->asString();
  if (const UdfNode* n = root.findChild("Name")) c.texture = n->asString();
  c.perLine = intOf(root, "CharsPerLine", 0);
  c.cellWidth = intOf(root, "CharWidth", 14);
  c.cellHeight = intOf(root, "CharHeight", 14);
  c.first = intOf(root, "StartChar", 0);
  c.last = intOf(root, "EndChar", 256);
  if (UdfNode* sizes = root.findChild("Sizes")) {
    eachChild(*sizes, [&](UdfNode& s) {
      ++c.sizesChildren;
      if (!halcyon::isNumber(s.value())) c.sizesAllNumbers = false;
      const std::string& name = s.name();
      int ch = 0;
      if (!name.empty() && name[0] == '"') {
        ch = name.size() > 1 ? static_cast<unsigned char>(name[1]) : 0;
      } else if (halcyon::isNumber(name)) {
        ch = static_cast<int>(halcyon::numberValue(name));
      }
      c.widths[ch] = s.asInt();
    });
  }
  if (UdfNode* rects = root.findChild("Rects")) {
    eachChild(*rects, [&](UdfNode& r) {
      if (r.count() != 4 || r.name().size() < 2) return;
      const int ch = static_cast<unsigned char>(r.name()[1]);
      c.rects[ch] = {r.findChild("0")->asInt(), r.findChild("1")->asInt(), r.findChild("2")->asInt(),
                     r.findChild("3")->asInt()};
    });
  }
  return c;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace fontbake::reader
