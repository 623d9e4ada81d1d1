#include "udf_probe.h"

#include <fstream>
#include <iterator>

namespace fontbake::probe {
namespace {

std::string trim(const std::string& s) {
  const auto first = s.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

// Position of the first `separator` outside quotes, brackets and parentheses.
std::size_t topLevel(const std::string& s, char separator) {
  int depth = 0;
  bool quoted = false;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '"') quoted = !quoted;
    if (quoted) continue;
    if (c == '[' || c == '(') ++depth;
    if (c == ']' || c == ')') --depth;
    if (depth == 0 && c == separator) return i;
  }
  return std::string::npos;
}

}  // namespace

std::vector<Statement> statements(const std::string& text) {
  std::vector<Statement> out;
  std::string current;
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') continue;
    if (!quoted && c == '/' && i + 1 < text.size() && text[i + 1] == '/') {
      while (i < text.size() && text[i] != '\n') ++i;
      continue;
    }
    if (c == '"') quoted = !quoted;
    if (c == ';' && !quoted) {
      const std::string statement = trim(current);
      current.clear();
      const auto eq = topLevel(statement, '=');
      if (eq != std::string::npos) out.push_back({trim(statement.substr(0, eq)), trim(statement.substr(eq + 1))});
      continue;
    }
    current += c;
  }
  return out;
}

std::vector<std::string> arrayElements(const std::string& value) {
  if (value.rfind("array(", 0) != 0 || value.back() != ')') return {};
  std::string list = value.substr(6, value.size() - 7);
  std::vector<std::string> out;
  for (;;) {
    const auto comma = topLevel(list, ',');
    out.push_back(trim(list.substr(0, comma)));
    if (comma == std::string::npos) break;
    list = list.substr(comma + 1);
  }
  return out;
}

bool isInteger(const std::string& text) {
  if (text.empty()) return false;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (!(text[i] >= '0' && text[i] <= '9') && !(i == 0 && text[i] == '-')) return false;
  return text != "-";
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace fontbake::probe
