// The text form of the store:
//   ; comment
//   [Software\Quillmark\Brassmoor]
//   "Width"=dword:00000320
//   "PhotoPath"=sz:"/home/me/pictures/cat.jpg"
//   "Blob"=hex(3):01,02,ff
// Texts are double-quoted; \\, \" and \xHH escape a backslash, a quote and any other byte.
// dword: is written only for REG_DWORD values of exactly 4 bytes and sz: only for REG_SZ;
// everything else keeps its type and bytes in the hex(type): form.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <cstdint>
#include <set>
#include <unordered_map>

#include "platform/registry/registry.h"
#include "platform/registry/registry_file.h"

namespace platform {
namespace {

constexpr std::size_t kMaxFileBytes = 4u << 20;

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string lowered(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = lowerAscii(c);
  return out;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
  return true;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void appendQuoted(std::string& out, std::string_view bytes) {
  static const char* digits = "0123456789abcdef";
  out.push_back('"');
  for (unsigned char c : bytes) {
    if (c == '\\' || c == '"') {
      out.push_back('\\');
      out.push_back(static_cast<char>(c));
    } else if (c < 0x20 || c == 0x7f) {
      out += "\\x";
      out.push_back(digits[c >> 4]);
      out.push_back(digits[c & 15]);
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  out.push_back('"');
}

// Reads a quoted text at the start of `in`, advancing past it.
bool readQuoted(std::string_view& in, std::string& out) {
  if (in.empty() || in.front() != '"') return false;
  std::size_t i = 1;
  while (i < in.size()) {
    const char c = in[i++];
    if (c == '"') {
      in.remove_prefix(i);
      return true;
    }
    if (c != '\\') {
      out.push_back(c);
      continue;
    }
    if (i >= in.size()) return false;
    const char e = in[i++];
    if (e == '\\' || e == '"') {
      out.push_back(e);
    } else if (e == 'x') {
      if (i + 2 > in.size()) return false;
      const int hi = hexDigit(in[i]), lo = hexDigit(in[i + 1]);
      if (hi < 0 || lo < 0) return false;
      out.push_back(static_cast<char>(hi * 16 + lo));
      i += 2;
    } else {
      return false;
    }
  }
  return false;
}

bool parseHexBytes(std::string_view in, std::vector<uint8_t>& out) {
  if (in.empty()) return true;
  while (true) {
    if (in.size() < 2) return false;
    const int hi = hexDigit(in[0]), lo = hexDigit(in[1]);
    if (hi < 0 || lo < 0) return false;
    out.push_back(static_cast<uint8_t>(hi * 16 + lo));
    in.remove_prefix(2);
    if (in.empty()) return true;
    if (in.front() != ',') return false;
    in.remove_prefix(1);
  }
}

bool parseValue(std::string_view line, RegistryValue& value) {
  if (!readQuoted(line, value.name)) return false;
  if (line.empty() || line.front() != '=') return false;
  line.remove_prefix(1);
  if (line.starts_with("dword:")) {
    line.remove_prefix(6);
    if (line.size() != 8) return false;
    uint32_t number = 0;
    for (char c : line) {
      const int d = hexDigit(c);
      if (d < 0) return false;
      number = number * 16 + static_cast<uint32_t>(d);
    }
    value.type = REG_DWORD;
    value.data = {static_cast<uint8_t>(number), static_cast<uint8_t>(number >> 8), static_cast<uint8_t>(number >> 16),
                  static_cast<uint8_t>(number >> 24)};
    return true;
  }
  if (line.starts_with("sz:")) {
    line.remove_prefix(3);
    std::string text;
    if (!readQuoted(line, text) || !line.empty()) return false;
    value.type = REG_SZ;
    value.data.assign(text.begin(), text.end());
    return true;
  }
  if (line.starts_with("hex(")) {
    line.remove_prefix(4);
    const std::size_t close = line.find("):");
    if (close == std::string_view::npos) return false;
    const std::string_view typeText = line.substr(0, close);
    auto [end, ec] = std::from_chars(typeText.data(), typeText.data() + typeText.size(), value.type);
    if (ec != std::errc() || end != typeText.data() + typeText.size() || typeText.empty()) return false;
    return parseHexBytes(line.substr(close + 2), value.data);
  }
  return false;
}

}  // namespace

RegistryValue* RegistryStore::Key::find(std::string_view name) {
  for (auto& v : values)
    if (equalsNoCase(v.name, name)) return &v;
  return nullptr;
}

const RegistryValue* RegistryStore::Key::find(std::string_view name) const {
  for (const auto& v : values)
    if (equalsNoCase(v.name, name)) return &v;
  return nullptr;
}

RegistryStore::Key* RegistryStore::findKey(std::string_view path) {
  for (auto& k : keys_)
    if (equalsNoCase(k.path, path)) return &k;
  return nullptr;
}

const RegistryStore::Key* RegistryStore::findKey(std::string_view path) const {
  for (const auto& k : keys_)
    if (equalsNoCase(k.path, path)) return &k;
  return nullptr;
}

RegistryStore::Key& RegistryStore::addKey(std::string path) {
  keys_.push_back(Key{std::move(path), {}});
  return keys_.back();
}

RegistryStore RegistryStore::parse(std::string_view text) {
  RegistryStore store;
  // Indexes by lower-cased name keep a file of many values linear to read.
  std::unordered_map<std::string, std::size_t> keyIndex;
  std::vector<std::unordered_map<std::string, std::size_t>> valueIndex;
  constexpr std::size_t kNoKey = SIZE_MAX;
  std::size_t current = kNoKey;
  std::size_t lineNumber = 0;
  while (!text.empty()) {
    ++lineNumber;
    const std::size_t eol = text.find('\n');
    std::string_view line = text.substr(0, eol);
    text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      current = kNoKey;
      if (line.size() < 3 || line.back() != ']') {
        store.skipped_.push_back(lineNumber);
        continue;
      }
      const std::string_view path = line.substr(1, line.size() - 2);
      auto [it, added] = keyIndex.try_emplace(lowered(path), store.keys_.size());
      if (added) {
        store.addKey(std::string(path));
        valueIndex.emplace_back();
      }
      current = it->second;
      continue;
    }
    RegistryValue value;
    if (current == kNoKey || !parseValue(line, value)) {
      store.skipped_.push_back(lineNumber);
      continue;
    }
    std::vector<RegistryValue>& values = store.keys_[current].values;
    auto [it, added] = valueIndex[current].try_emplace(lowered(value.name), values.size());
    if (added) values.push_back(std::move(value));
    else
      values[it->second] = std::move(value);
  }
  return store;
}

std::string RegistryStore::serialize() const {
  static const char* digits = "0123456789abcdef";
  std::string out = "; Brassmoor settings. Written by the program; values keep their registry types.\n";
  for (const Key& key : keys_) {
    out += "\n[" + key.path + "]\n";
    for (const RegistryValue& v : key.values) {
      appendQuoted(out, v.name);
      out.push_back('=');
      if (v.type == REG_DWORD && v.data.size() == 4) {
        const uint32_t n = static_cast<uint32_t>(v.data[0]) | static_cast<uint32_t>(v.data[1]) << 8 |
                           static_cast<uint32_t>(v.data[2]) << 16 | static_cast<uint32_t>(v.data[3]) << 24;
        char buf[16];
        std::snprintf(buf, sizeof buf, "dword:%08x", n);
        out += buf;
      } else if (v.type == REG_SZ) {
        out += "sz:";
        appendQuoted(out, std::string_view(reinterpret_cast<const char*>(v.data.data()), v.data.size()));
      } else {
        out += "hex(" + std::to_string(v.type) + "):";
        for (std::size_t i = 0; i < v.data.size(); ++i) {
          if (i) out.push_back(',');
          out.push_back(digits[v.data[i] >> 4]);
          out.push_back(digits[v.data[i] & 15]);
        }
      }
      out.push_back('\n');
    }
  }
  return out;
}

std::filesystem::path registryDirectory() {
  if (const char* dir = std::getenv("BRASSMOOR_CONFIG_DIR"); dir && *dir) return dir;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/')
    return std::filesystem::path(xdg) / "brassmoor";
  if (const char* home = std::getenv("HOME"); home && *home)
    return std::filesystem::path(home) / ".config" / "brassmoor";
  return {};
}

std::filesystem::path registryFilePath() {
  const auto dir = registryDirectory();
  return dir.empty() ? std::filesystem::path() : dir / "settings.reg";
}

namespace {

thread_local std::string lastError;

void failWith(const std::filesystem::path& file, const std::string& why) {
  setRegistryError(file.string() + ": " + why);
}

// A symlinked settings file is replaced at its target, so the link survives the rewrite.
std::filesystem::path followLinks(std::filesystem::path file) {
  for (int hops = 0; hops < 40; ++hops) {
    std::error_code ec;
    if (!std::filesystem::is_symlink(std::filesystem::symlink_status(file, ec))) break;
    const std::filesystem::path target = std::filesystem::read_symlink(file, ec);
    if (ec) break;
    file = target.is_absolute() ? target : file.parent_path() / target;
  }
  return file;
}

// Says once per process and file what was skipped, so that a hand-edited line that does not
// take effect is not a mystery.
void reportDamage(const std::filesystem::path& file, const std::vector<std::size_t>& lines, bool oversized) {
  static std::set<std::string> reported;
  if (!reported.insert(file.string()).second) return;
  std::string which;
  if (oversized) {
    which = "it is larger than " + std::to_string(kMaxFileBytes >> 20) + " MiB and was not read";
  } else {
    which = lines.size() == 1 ? "line " : "lines ";
    for (std::size_t i = 0; i < lines.size() && i < 10; ++i) which += (i ? ", " : "") + std::to_string(lines[i]);
    if (lines.size() > 10) which += " and " + std::to_string(lines.size() - 10) + " more";
    which += " could not be read and " + std::string(lines.size() == 1 ? "is" : "are") + " skipped";
  }
  std::fprintf(stderr, "brassmoor: %s: %s; the other settings are used. The next save keeps this file as %s.bad.\n",
               file.c_str(), which.c_str(), file.filename().c_str());
}

bool writeAll(int fd, std::string_view text) {
  std::size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    written += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

void setRegistryError(std::string text) { lastError = std::move(text); }
std::string registryLastError() { return lastError; }

StoreLoad loadStore(const std::filesystem::path& file, RegistryStore& store) {
  lastError.clear();
  if (file.empty()) {
    setRegistryError("no settings folder: neither BRASSMOOR_CONFIG_DIR, XDG_CONFIG_HOME nor HOME is set");
    return StoreLoad::Unreadable;
  }
  std::error_code ec;
  const auto status = std::filesystem::status(file, ec);
  if (ec && ec != std::errc::no_such_file_or_directory) {
    failWith(file, ec.message());
    return StoreLoad::Unreadable;
  }
  if (!std::filesystem::exists(status)) {
    store = RegistryStore();
    return StoreLoad::Missing;
  }
  if (!std::filesystem::is_regular_file(status)) {
    failWith(file, "not a regular file");
    return StoreLoad::Unreadable;
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    failWith(file, std::strerror(errno));
    return StoreLoad::Unreadable;
  }
  std::string bytes;
  char buffer[65536];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    bytes.append(buffer, static_cast<std::size_t>(in.gcount()));
    if (bytes.size() > kMaxFileBytes) {
      // Too large to be ours; start afresh and keep it aside at the next save.
      store = RegistryStore();
      reportDamage(file, {}, true);
      return StoreLoad::Damaged;
    }
  }
  if (in.bad()) {
    failWith(file, "read error");
    return StoreLoad::Unreadable;
  }
  store = RegistryStore::parse(bytes);
  if (store.skippedLines().empty()) return StoreLoad::Loaded;
  reportDamage(file, store.skippedLines(), false);
  return StoreLoad::Damaged;
}

bool saveStore(const std::filesystem::path& link, const RegistryStore& store, bool keepOriginal) {
  lastError.clear();
  if (link.empty()) {
    setRegistryError("no settings folder: neither BRASSMOOR_CONFIG_DIR, XDG_CONFIG_HOME nor HOME is set");
    return false;
  }
  const std::filesystem::path file = followLinks(link);
  std::error_code ec;
  std::filesystem::create_directories(file.parent_path(), ec);
  if (ec) {
    failWith(file.parent_path(), ec.message());
    return false;
  }
  if (keepOriginal) {
    std::filesystem::path bad = file;
    bad += ".bad";
    std::filesystem::copy_file(file, bad, std::filesystem::copy_options::overwrite_existing, ec);
    if (ec) {
      failWith(bad, ec.message());
      return false;
    }
  }
  std::string pattern = file.string() + ".XXXXXX";
  const int fd = mkstemp(pattern.data());
  if (fd < 0) {
    failWith(file.parent_path(), std::strerror(errno));
    return false;
  }
  bool ok = writeAll(fd, store.serialize()) && ::fsync(fd) == 0;
  int error = ok ? 0 : errno;
  if (::close(fd) != 0 && ok) ok = false, error = errno;
  if (ok && std::rename(pattern.c_str(), file.c_str()) != 0) ok = false, error = errno;
  if (!ok) {
    ::unlink(pattern.c_str());
    failWith(file, error ? std::strerror(error) : "write failed");
    return false;
  }
  // Make the rename itself durable; a failure here does not undo a complete file.
  const int dirFd = ::open(file.parent_path().c_str(), O_RDONLY | O_DIRECTORY);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  return true;
}

}  // namespace platform
