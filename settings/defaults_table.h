#pragma once
// The built-in defaults: a keyed text resource (CUSTOMDATA 193, called "def_settings.txt" in
// its messages) read once when the application object is made and kept for the process, so
// that "Restore Defaults" in the dialog can read it again.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/saver_settings.h"

namespace brassmoor {

// Shows a message box without an owner (OK button only) and returns when it is closed.
// Texts are UTF-8.
using MessageBoxFn = std::function<void(const std::string& text, const std::string& caption)>;

class DefaultsTable {
 public:
  static constexpr std::size_t kCapacity = 100;
  static constexpr int32_t kResourceId = 193;

  explicit DefaultsTable(MessageBoxFn messageBox = {});

  // Adds the pairs of `bytes` (Windows-1251 text, CR LF lines) after those already held.
  // A line without "=" shows a message box and is kept with the whole line as key and value.
  // Lines past the capacity are dropped.
  void parse(std::string_view bytes);
  // Parses the embedded defaults resource; false when the build carries none.
  bool loadResource();

  // The value of `key` lower-cased (ASCII). A missing key shows a message box naming it and
  // gives an empty text.
  std::string lookup(std::string_view key) const;
  // The value of `key` lower-cased, or nothing, without a message: for the keys later versions
  // added, which an older defaults text may lack.
  std::optional<std::string> find(std::string_view key) const;
  // "true" 1, "false" 0, anything else read as a decimal integer the way atoi reads it.
  int32_t number(std::string_view key) const;

  std::size_t size() const { return pairs_.size(); }
  const std::pair<std::string, std::string>& pair(std::size_t i) const { return pairs_[i]; }

  // Every field except PhotoPath from the defaults, in the fixed order of their keys.
  void applyTo(SaverSettings& settings) const;

 private:
  void show(const std::string& text, const std::string& caption) const;

  MessageBoxFn messageBox_;
  std::vector<std::pair<std::string, std::string>> pairs_;
};

// The C library's atoi over a text, saturating instead of overflowing.
int32_t atoiSaturating(std::string_view text);

}  // namespace brassmoor
