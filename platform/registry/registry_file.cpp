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
#include <fstream>

#include "platform/registry/registry.h"
#include "platform/registry/registry_file.h"

namespace platform {
namespace {

constexpr std::size_t kMaxFileBytes = 4u << 20;

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

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

std::optional<RegistryStore> RegistryStore::parse(std::string_view text) {
  RegistryStore store;
  Key* current = nullptr;
  while (!text.empty()) {
    const std::size_t eol = text.find('\n');
    std::string_view line = text.substr(0, eol);
    text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      if (line.size() < 3 || line.back() != ']') return std::nullopt;
      const std::string_view path = line.substr(1, line.size() - 2);
      current = store.findKey(path);
      if (current == nullptr) current = &store.addKey(std::string(path));
      continue;
    }
    if (current == nullptr) return std::nullopt;
    RegistryValue value;
    if (!parseValue(line, value)) return std::nullopt;
    if (RegistryValue* existing = current->find(value.name)) {
      *existing = std::move(value);
    } else {
      current->values.push_back(std::move(value));
    }
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
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') return std::filesystem::path(xdg) / "brassmoor";
  if (const char* home = std::getenv("HOME"); home && *home) return std::filesystem::path(home) / ".config" / "brassmoor";
  return {};
}

std::filesystem::path registryFilePath() {
  const auto dir = registryDirectory();
  return dir.empty() ? std::filesystem::path() : dir / "settings.reg";
}

StoreLoad loadStore(const std::filesystem::path& file, RegistryStore& store) {
  if (file.empty()) return StoreLoad::Unreadable;
  std::error_code ec;
  const auto status = std::filesystem::status(file, ec);
  if (ec && ec != std::errc::no_such_file_or_directory) return StoreLoad::Unreadable;
  if (!std::filesystem::exists(status)) {
    store = RegistryStore();
    return StoreLoad::Missing;
  }
  if (!std::filesystem::is_regular_file(status)) return StoreLoad::Unreadable;
  std::ifstream in(file, std::ios::binary);
  if (!in) return StoreLoad::Unreadable;
  std::string bytes;
  char buffer[16384];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    bytes.append(buffer, static_cast<std::size_t>(in.gcount()));
    if (bytes.size() > kMaxFileBytes) return StoreLoad::Unreadable;
  }
  if (in.bad()) return StoreLoad::Unreadable;
  auto parsed = RegistryStore::parse(bytes);
  if (!parsed) return StoreLoad::Unreadable;
  store = std::move(*parsed);
  return StoreLoad::Loaded;
}

bool saveStore(const std::filesystem::path& file, const RegistryStore& store) {
  if (file.empty()) return false;
  std::error_code ec;
  std::filesystem::create_directories(file.parent_path(), ec);
  if (ec) return false;
  std::string pattern = file.string() + ".XXXXXX";
  const int fd = mkstemp(pattern.data());
  if (fd < 0) return false;
  const std::string text = store.serialize();
  bool ok = true;
  std::size_t written = 0;
  while (ok && written < text.size()) {
    const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) ok = false;
    else written += static_cast<std::size_t>(n);
  }
  if (ok && ::fsync(fd) != 0) ok = false;
  if (::close(fd) != 0) ok = false;
  if (ok && std::rename(pattern.c_str(), file.c_str()) != 0) ok = false;
  if (!ok) {
    ::unlink(pattern.c_str());
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
