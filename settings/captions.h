#pragma once
// The caption texts of the settings dialog, the saver window's title and the about box: a
// keyed text resource (CUSTOMDATA 194, UTF-8 with CR LF lines) read once when the
// application object is made. Each caption is a key line "#key#" followed by its text line;
// key lines may be written in mixed case, since keys are compared in lower case.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace brassmoor {

class CaptionTable {
 public:
  static constexpr std::size_t kMaxLines = 200;
  static constexpr std::size_t kAboutLines = 7;
  static constexpr int32_t kResourceId = 194;

  // Replaces the table with the lines of `bytes`. Lines past kMaxLines are dropped, and so
  // is any byte that starts no one-, two- or three-byte UTF-8 sequence.
  void load(std::string_view bytes);
  // Loads the embedded captions resource; false when the build carries none.
  bool loadResource();

  // The text line after the first key line that matches `key`, narrowed to single bytes (the
  // low 8 bits of each character, so Latin-1 text survives); empty when no line matches.
  std::string lookup(std::string_view key) const;
  // The same caption as UTF-8, for toolkits that show text.
  std::string lookupUtf8(std::string_view key) const;

  // "about_window_text" split at each "%", as UTF-8; missing parts are empty and parts past
  // the seventh are not shown.
  const std::array<std::string, kAboutLines>& aboutLines() const { return about_; }

  std::size_t lineCount() const { return lines_.size(); }
  const std::u16string& line(std::size_t i) const { return lines_[i]; }

 private:
  const std::u16string* find(std::string_view key) const;

  std::vector<std::u16string> lines_;
  std::array<std::string, kAboutLines> about_;
};

// Single-byte text read as Latin-1, widened to UTF-8.
std::string latin1ToUtf8(std::string_view text);

}  // namespace brassmoor
