#include "tools/fontbake/charset_text.h"

#include <sstream>

namespace fontbake {
namespace {

// A character as the key of a bracketed path: `Sizes["5"]`. The full stop cannot be
// written this way (the path would split at it), nor can characters that end the bracket,
// the string or the statement, or that would be taken for the assignment ("]", a double
// quote, a backslash, ";", "="), nor a byte outside printable ASCII.
bool quotable(unsigned char c) {
  return c >= 0x20 && c < 0x7F && c != '.' && c != '"' && c != '\\' && c != ';' && c != '=' && c != ']';
}

std::string quoted(unsigned char c) { return std::string("\"") + static_cast<char>(c) + "\""; }

}  // namespace

std::string fontText(const std::string& name, int size, const std::string& charsetFile, const std::string& comment) {
  std::ostringstream out;
  out << "// " << comment << "\n"
      << "Name = \"" << name << "\";\n"
      << "Styles[0].Size = " << size << ";\n"
      << "Styles[0].Charsets = array(\"" << charsetFile << "\");\n";
  return out.str();
}

std::string charsetText(const CharsetDescription& c) {
  std::ostringstream out;
  out << "// " << c.comment << "\n"
      << "Format       = \"D3DFMT_A8R8G8B8\";\n"
      << "Name         = \"" << c.textureName << "\";\n"
      << "CharsPerLine = " << c.charsPerLine << ";\n"
      << "CharWidth    = " << c.cellWidth << ";\n"
      << "CharHeight   = " << c.cellHeight << ";\n"
      << "StartChar    = " << c.firstChar << ";\n"
      << "EndChar      = " << c.lastChar << ";\n";
  if (!c.gridWidths.empty()) {
    out << "\n// Glyph widths in texels, one for each character from StartChar on.\n"
        << "Sizes = array(\n";
    for (std::size_t i = 0; i < c.gridWidths.size(); ++i) {
      if (i % 16 == 0) out << "  ";
      out << c.gridWidths[i];
      if (i + 1 < c.gridWidths.size()) out << (i % 16 == 15 ? ",\n" : ", ");
    }
    out << "\n);\n";
  }
  if (!c.rects.empty()) {
    // A "Rects" entry names its character by the byte after the opening quote, so only
    // quotable characters can have one; anything else makes the description unusable.
    for (const auto& entry : c.rects)
      if (!quotable(entry.first)) return {};
    out << "\n// Glyph widths and rectangles (left, top, right, bottom; inclusive) in texels.\n";
    for (const auto& [ch, r] : c.rects) out << "Sizes[" << quoted(ch) << "] = " << (r.x1 - r.x0 + 1) << ";\n";
    for (const auto& [ch, r] : c.rects)
      out << "Rects[" << quoted(ch) << "] = array(" << r.x0 << ", " << r.y0 << ", " << r.x1 << ", " << r.y1 << ");\n";
  }
  return out.str();
}

}  // namespace fontbake
