#include "settings/defaults_table.h"

#include <limits>
#include <utility>

#include "platform/resources/resources.h"
#include "settings/setting_choices.h"

namespace brassmoor {
namespace {

std::string lowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

// Blanks, tabs, control characters and every byte of 128 or above: all bytes that are 32 or
// less when read as signed 8-bit numbers.
bool droppedByte(char c) { return static_cast<signed char>(c) <= 32; }

}  // namespace

DefaultsTable::DefaultsTable(MessageBoxFn messageBox) : messageBox_(std::move(messageBox)) {}

void DefaultsTable::show(const std::string& text, const std::string& caption) const {
  if (messageBox_) messageBox_(text, caption);
}

void DefaultsTable::parse(std::string_view bytes) {
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    // A line ends at a carriage return (a line feed right after it belongs to it); a bare
    // line feed does not end a line and is dropped with the other control bytes below.
    std::size_t end = bytes.find('\r', pos);
    if (end == std::string_view::npos) end = bytes.size();
    const std::string_view raw = bytes.substr(pos, end - pos);
    pos = end;
    if (pos < bytes.size()) {
      ++pos;
      if (pos < bytes.size() && bytes[pos] == '\n') ++pos;
    }

    std::string line;
    for (char c : raw)
      if (!droppedByte(c)) line.push_back(c);
    if (const std::size_t semicolon = line.find(';'); semicolon != std::string::npos) line.resize(semicolon);
    if (line.empty()) continue;
    if (pairs_.size() >= kCapacity) continue;

    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) {
      show("неправильный формат файла def_settings.txt", "");
      pairs_.emplace_back(line, line);
    } else {
      pairs_.emplace_back(line.substr(0, equals), line.substr(equals + 1));
    }
  }
}

bool DefaultsTable::loadResource() {
  const platform::ResourceBytes bytes = platform::findResource("CustomData", kResourceId);
  if (!bytes.found()) return false;
  parse(bytes.text());
  return true;
}

std::optional<std::string> DefaultsTable::find(std::string_view key) const {
  const std::string wanted = lowerAscii(key);
  for (const auto& [k, v] : pairs_)
    if (lowerAscii(k) == wanted) return lowerAscii(v);
  return std::nullopt;
}

std::string DefaultsTable::lookup(std::string_view key) const {
  if (std::optional<std::string> value = find(key)) return *value;
  show("Не найден параметр в файле def_settings.txt", lowerAscii(key));
  return std::string();
}

int32_t DefaultsTable::number(std::string_view key) const {
  const std::string value = lookup(key);
  if (value == "true") return 1;
  if (value == "false") return 0;
  return atoiSaturating(value);
}

void DefaultsTable::applyTo(SaverSettings& s) const {
  s.TimeStyle = number("DigClock_24H") != 0;
  s.ExitOnMM = number("ExitOnMouseMove") != 0;
  // The stored key counts from 100 (no correction); the field is the offset from it.
  s.Gamma = static_cast<int32_t>(static_cast<int64_t>(number("GammControl")) - 100);
  s.Height = number("MH");
  s.Width = number("MW");
  s.Music = number("Music") != 0;
  s.Volume = number("MusicVolume");
  s.ShowFps = number("ShowFPS") != 0;
  s.ShowTime = number("ShowTime") != 0;
  s.UseDesktop = number("UseDktpSet") != 0;
  s.Adapter = number("Adapter");
  s.Depth = number("MBitCount");
  s.Sound = number("SFX") != 0;
  // The storm's and the clock's modes came later: a defaults text without them (or with a
  // word it does not know) leaves the record's own defaults.
  const std::optional<LightningMode> lightning = parseLightning(find("Lightning").value_or(""));
  s.Lightning = static_cast<int32_t>(lightning.value_or(kDefaultLightning));
  const std::optional<ChimeMode> chimes = parseChimes(find("Chimes").value_or(""));
  s.Chimes = static_cast<int32_t>(chimes.value_or(kDefaultChimes));
  // The built-in defaults have no key for the frame cap: its default is the field's own.
  s.FrameCap = SaverSettings{}.FrameCap;
}

int32_t atoiSaturating(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int64_t value = 0;
  constexpr int64_t limit = static_cast<int64_t>(std::numeric_limits<int32_t>::max()) + 1;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > limit) value = limit;
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<int32_t>::max()) value = std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(value);
}

}  // namespace brassmoor
