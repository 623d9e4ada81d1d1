#pragma once
// The user's registry, kept as a typed store in one text file, settings.reg, under
// $XDG_CONFIG_HOME/brassmoor/ (else ~/.config/brassmoor/; BRASSMOOR_CONFIG_DIR overrides the
// folder). Keys keep their Windows paths and values their types and raw bytes, so the
// settings code reads and writes it with the same calls, types and result codes it would use
// on the system registry.
//
// Every write replaces the file whole and atomically (one temporary file renamed over it, a
// symlinked file's target rather than the link), so a crash or a kill never leaves half a
// file or a mix of old and new values. A file with lines that do not parse still gives every
// value that does; the next write keeps the damaged original beside it as settings.reg.bad.
// A file that cannot be read at all (no permission, a folder in its place) is never
// rewritten: its keys cannot be opened.
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Value types.
inline constexpr uint32_t REG_NONE = 0;
inline constexpr uint32_t REG_SZ = 1;
inline constexpr uint32_t REG_EXPAND_SZ = 2;
inline constexpr uint32_t REG_BINARY = 3;
inline constexpr uint32_t REG_DWORD = 4;

// Access rights.
inline constexpr uint32_t KEY_QUERY_VALUE = 0x0001;
inline constexpr uint32_t KEY_SET_VALUE = 0x0002;
inline constexpr uint32_t KEY_READ = 0x20019;
inline constexpr uint32_t KEY_WRITE = 0x20006;

// Result codes.
inline constexpr int32_t ERROR_SUCCESS = 0;
inline constexpr int32_t ERROR_FILE_NOT_FOUND = 2;
inline constexpr int32_t ERROR_ACCESS_DENIED = 5;
inline constexpr int32_t ERROR_INVALID_HANDLE = 6;
inline constexpr int32_t ERROR_INVALID_PARAMETER = 87;
inline constexpr int32_t ERROR_MORE_DATA = 234;
inline constexpr int32_t ERROR_CANTREAD = 1012;
inline constexpr int32_t ERROR_CANTWRITE = 1013;

struct RegistryValue {
  std::string name;
  uint32_t type = REG_NONE;
  std::vector<uint8_t> data;
};

// The whole store: key path (compared without regard to ASCII case) → values in the order
// they were first written.
class RegistryStore {
 public:
  struct Key {
    std::string path;
    std::vector<RegistryValue> values;
    RegistryValue* find(std::string_view name);
    const RegistryValue* find(std::string_view name) const;
  };

  // Takes every well-formed line and skips the rest; a value line under a bad or missing key
  // line is skipped too. Time grows linearly with the text.
  static RegistryStore parse(std::string_view text);
  std::string serialize() const;
  // 1-based numbers of the lines parse skipped.
  const std::vector<std::size_t>& skippedLines() const { return skipped_; }

  Key* findKey(std::string_view path);
  const Key* findKey(std::string_view path) const;
  Key& addKey(std::string path);
  const std::vector<Key>& keys() const { return keys_; }

 private:
  std::vector<Key> keys_;
  std::vector<std::size_t> skipped_;
};

// The folder and the file the registry lives in (the folder may not exist yet).
std::filesystem::path registryDirectory();
std::filesystem::path registryFilePath();

// Why the last failing open or write of this thread failed, in words ("Permission denied"),
// with the file it concerned; empty after a success.
std::string registryLastError();

// An open key under HKEY_CURRENT_USER.
class RegistryKey {
 public:
  RegistryKey() = default;
  RegistryKey(RegistryKey&&) = default;
  RegistryKey& operator=(RegistryKey&&) = default;

  // Opens `path`, creating it (and the file) when missing. ERROR_CANTREAD when the file
  // exists but cannot be read or parsed; ERROR_CANTWRITE when a missing key cannot be made.
  static int32_t create(std::string_view path, uint32_t access, RegistryKey& out);

  // With `data` null only the type and size are reported. A buffer smaller than the value
  // gives ERROR_MORE_DATA and the needed size, and leaves the buffer untouched.
  int32_t queryValue(std::string_view name, uint32_t* type, uint8_t* data, uint32_t* size) const;
  int32_t setValue(std::string_view name, uint32_t type, const uint8_t* data, uint32_t size);
  // Sets several values in one replacement of the file, so that a crash keeps either all the
  // old values or all the new ones.
  int32_t setValues(const std::vector<RegistryValue>& values);
  void close();
  bool isOpen() const { return open_; }

 private:
  bool open_ = false;
  uint32_t access_ = 0;
  std::string path_;
  std::vector<RegistryValue> values_;  // as read when opened, kept in step with writes
};

}  // namespace platform
