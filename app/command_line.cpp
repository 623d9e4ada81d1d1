#include "app/command_line.h"

#include <limits>

namespace brassmoor {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

int hexDigit(char c) {
  if (isDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The window number after a switch: the digits from the first digit found on, read the way
// atol reads them (a value too large for the type stays at its largest value). X window ids
// are usually written in hex, so "0x" starts a hexadecimal number.
int64_t windowNumberAfter(std::string_view rest) {
  std::size_t i = 0;
  while (i < rest.size() && !isDigit(rest[i])) ++i;
  int base = 10;
  if (i + 2 < rest.size() && rest[i] == '0' && (rest[i + 1] == 'x' || rest[i + 1] == 'X') &&
      hexDigit(rest[i + 2]) >= 0) {
    base = 16;
    i += 2;
  }
  int64_t value = 0;
  for (; i < rest.size(); ++i) {
    const int digit = base == 16 ? hexDigit(rest[i]) : (isDigit(rest[i]) ? rest[i] - '0' : -1);
    if (digit < 0) break;
    if (value > (std::numeric_limits<int64_t>::max() - digit) / base) return std::numeric_limits<int64_t>::max();
    value = value * base + digit;
  }
  return value;
}

}  // namespace

CommandLine parseCommandLine(std::string_view line) {
  std::size_t i = 0;
  if (!line.empty() && line[0] == '"') {
    i = 1;
    while (i < line.size() && line[i] != '"') ++i;
    if (i < line.size()) ++i;
  } else {
    while (i < line.size() && line[i] != ' ') ++i;
    if (i < line.size()) ++i;
  }
  while (i < line.size() && line[i] != '/' && line[i] != '-') ++i;
  CommandLine result;
  if (i >= line.size()) return result;  // no switch: the settings dialog

  ++i;
  const char letter = i < line.size() ? line[i] : '\0';
  const std::string_view rest = i < line.size() ? line.substr(i + 1) : std::string_view();
  switch (letter) {
    case 'a':
    case 'A':
      result.mode = ScreensaverMode::Password;
      result.window = windowNumberAfter(rest);
      break;
    case 'c':
    case 'C':
      result.mode = ScreensaverMode::Config;
      result.window = windowNumberAfter(rest);
      break;
    case 'p':
    case 'P':
      result.mode = ScreensaverMode::Preview;
      result.window = windowNumberAfter(rest);
      break;
    case 't':
    case 'T': result.mode = ScreensaverMode::Test; break;
    default:
      // "/s" and every other character, including none at all, run the saver.
      result.mode = ScreensaverMode::Full;
      break;
  }
  return result;
}

std::string composeCommandLine(const std::vector<std::string>& arguments) {
  std::string line;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (i == 0) {
      const bool quote = arguments[0].find(' ') != std::string::npos;
      line += quote ? "\"" + arguments[0] + "\"" : arguments[0];
    } else {
      line += " " + arguments[i];
    }
  }
  return line;
}

}  // namespace brassmoor
