#pragma once
// Just enough of the UDF text syntax to check what the font baker writes: statements split
// at ";" outside quotes, "//" comments dropped, each statement split at its first top-level
// "=" into a path and a value, and array(...) values split at top-level commas.
#include <map>
#include <string>
#include <vector>

namespace fontbake::probe {

struct Statement {
  std::string path;
  std::string value;
};

std::vector<Statement> statements(const std::string& text);
// The elements of "array(a, b, c)", trimmed; empty when the value is not an array.
std::vector<std::string> arrayElements(const std::string& value);
bool isInteger(const std::string& text);
std::string readFile(const std::string& path);

}  // namespace fontbake::probe
