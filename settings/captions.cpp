#include "settings/captions.h"

#include "platform/resources/resources.h"

namespace brassmoor {
namespace {

char16_t lowerAscii(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; }

void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

std::string utf16ToUtf8(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) appendUtf8(out, c);
  return out;
}

}  // namespace

std::string latin1ToUtf8(std::string_view text) {
  std::string out;
  for (char c : text) appendUtf8(out, static_cast<unsigned char>(c));
  return out;
}

void CaptionTable::load(std::string_view bytes) {
  lines_.clear();
  std::u16string line;
  bool lineStarted = false;  // any byte since the last line feed
  auto finishLine = [&] {
    if (lines_.size() < kMaxLines) {
      // Key lines are kept in lower case between their first and last characters, so that
      // mixed-case keys in the file match the program's lower-case keys.
      if (!line.empty() && line.front() == u'#')
        for (std::size_t i = 1; i + 1 < line.size(); ++i) line[i] = lowerAscii(line[i]);
      lines_.push_back(line);
    }
    line.clear();
    lineStarted = false;
  };

  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t size = bytes.size();
  std::size_t pos = 0;
  while (pos < size) {
    lineStarted = true;
    const unsigned char b = data[pos];
    char32_t c;
    if (b == 0xEF && pos + 2 < size && data[pos + 1] == 0xBB && data[pos + 2] == 0xBF) {
      pos += 3;  // a byte-order mark, wherever it stands, is no text
      continue;
    }
    if (b < 0x80) {
      c = b;
      pos += 1;
    } else if (b >= 0xC0 && b <= 0xDF) {
      if (pos + 1 >= size) break;  // a sequence cut off by the end of the data
      c = static_cast<char32_t>(((b & 0x1F) << 6) | (data[pos + 1] & 0x3F));
      pos += 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
      if (pos + 2 >= size) break;
      c = static_cast<char32_t>(((b & 0x0F) << 12) | ((data[pos + 1] & 0x3F) << 6) | (data[pos + 2] & 0x3F));
      pos += 3;
    } else {
      pos += 1;  // starts no sequence the table can hold
      continue;
    }
    if (c == 10) {
      finishLine();
      continue;
    }
    if (c == 0 || c == 13) continue;
    line.push_back(static_cast<char16_t>(c));
  }
  if (lineStarted) finishLine();

  about_ = {};
  if (const std::u16string* text = find("about_window_text")) {
    std::size_t part = 0, start = 0;
    while (part < kAboutLines) {
      const std::size_t end = text->find(u'%', start);
      about_[part++] = utf16ToUtf8(
          std::u16string_view(*text).substr(start, end == std::u16string::npos ? std::u16string::npos : end - start));
      if (end == std::u16string::npos) break;
      start = end + 1;
    }
  }
}

bool CaptionTable::loadResource() {
  const platform::ResourceBytes bytes = platform::findResource("CustomData", kResourceId);
  if (!bytes.found()) return false;
  load(bytes.text());
  return true;
}

const std::u16string* CaptionTable::find(std::string_view key) const {
  std::u16string wanted;
  for (char k : key) wanted.push_back(lowerAscii(static_cast<unsigned char>(k)));
  // The last line can never be a key: it has no text line after it.
  for (std::size_t i = 0; i + 1 < lines_.size(); ++i) {
    const std::u16string& l = lines_[i];
    if (l.empty() || l.front() != u'#') continue;
    if (l.compare(1, wanted.size(), wanted) != 0 || l.size() - 1 < wanted.size()) continue;
    // The key may be followed by its closing "#" and one more character at most.
    if (l.size() - wanted.size() < 3) return &lines_[i + 1];
  }
  return nullptr;
}

std::string CaptionTable::lookup(std::string_view key) const {
  const std::u16string* text = find(key);
  if (!text) return std::string();
  std::string out;
  for (char16_t c : *text) out.push_back(static_cast<char>(c & 0xFF));
  return out;
}

std::string CaptionTable::lookupUtf8(std::string_view key) const {
  const std::u16string* text = find(key);
  return text ? utf16ToUtf8(*text) : std::string();
}

}  // namespace brassmoor
