#include "settings/settings_store.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/core/trace.h"
#include "platform/registry/registry.h"

namespace brassmoor {
namespace {

using platform::RegistryKey;
using S = SaverSettings;

// In the order they are read and written. Booleans take any stored value (non-zero is true).
constexpr StoredSetting kStoredSettings[] = {
    {"UseDesktop", &S::UseDesktop},
    {"ShowFps", &S::ShowFps},
    // The dialog lists no mode smaller than 640 x 480; nothing larger than 16384 is a display.
    {"Width", nullptr, &S::Width, 640, 16384},
    {"Height", nullptr, &S::Height, 480, 16384},
    {"Depth", nullptr, &S::Depth, 16, 32},
    {"Adapter", nullptr, &S::Adapter, 0, 63},
    {"Gamma", nullptr, &S::Gamma, -100, 100},
    {"Volume", nullptr, &S::Volume, 0, 100},
    {"Music", &S::Music},
    {"Sound", &S::Sound},
    {"ExitOnMM", &S::ExitOnMM},
    {"ShowTime", &S::ShowTime},
    {"TimeStyle", &S::TimeStyle},
    {"Lightning", nullptr, &S::Lightning, 0, 2},
    {"Chimes", nullptr, &S::Chimes, 0, 2},
    {"FrameCap", nullptr, &S::FrameCap, 0, 240},
};

bool readFourBytes(const RegistryKey& key, const char* name, uint8_t (&bytes)[4]) {
  uint32_t size = 4;
  uint32_t type = 0;
  if (key.queryValue(name, &type, bytes, &size) != platform::ERROR_SUCCESS) return false;
  // A value shorter than four bytes would leave part of the field unset; it counts as missing.
  return size == 4;
}

void readSetting(const RegistryKey& key, const StoredSetting& setting, SaverSettings& s) {
  uint8_t bytes[4] = {};
  if (!readFourBytes(key, setting.name, bytes)) return;
  if (setting.flag) {
    s.*setting.flag = bytes[0] || bytes[1] || bytes[2] || bytes[3];
    return;
  }
  uint32_t raw;
  std::memcpy(&raw, bytes, 4);  // little-endian, as the registry stores it
  const auto value = static_cast<int32_t>(raw);
  if (value < setting.min || value > setting.max) {
    std::fprintf(stderr, "brassmoor: the stored setting %s = %d is outside %d..%d and is ignored; using %d.\n",
                 setting.name, value, setting.min, setting.max, s.*setting.number);
    return;
  }
  s.*setting.number = value;
}

void readPhotoPath(const RegistryKey& key, SaverSettings& s) {
  std::vector<uint8_t> path(kPhotoPathMaxBytes);
  auto size = static_cast<uint32_t>(path.size());
  uint32_t type = 0;
  const int32_t result = key.queryValue("PhotoPath", &type, path.data(), &size);
  if (result == platform::ERROR_SUCCESS) {
    const auto* text = reinterpret_cast<const char*>(path.data());
    s.PhotoPath.assign(text, strnlen(text, size));
  } else if (result == platform::ERROR_MORE_DATA) {
    std::fprintf(stderr, "brassmoor: the stored picture path is longer than %zu bytes and is ignored.\n",
                 kPhotoPathMaxBytes);
  }
}

platform::RegistryValue dwordValue(const char* name, uint32_t v) {
  return {name,
          platform::REG_DWORD,
          {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
           static_cast<uint8_t>(v >> 24)}};
}

}  // namespace

std::span<const StoredSetting> storedSettings() { return kStoredSettings; }

bool loadSettingsFromRegistry(SaverSettings& settings) {
  RegistryKey key;
  if (RegistryKey::create(kSettingsKeyPath, platform::KEY_READ, key) != platform::ERROR_SUCCESS) {
    halcyon::logLine("Registry Failed\n");
    std::fprintf(stderr, "brassmoor: the settings cannot be read (%s); the defaults are used.\n",
                 platform::registryLastError().c_str());
    return false;
  }
  readPhotoPath(key, settings);
  for (const StoredSetting& setting : kStoredSettings) readSetting(key, setting, settings);
  return true;
}

bool saveSettingsToRegistry(const SaverSettings& settings) {
  RegistryKey key;
  if (RegistryKey::create(kSettingsKeyPath, platform::KEY_WRITE, key) != platform::ERROR_SUCCESS) return false;
  std::vector<platform::RegistryValue> values;
  values.push_back({"PhotoPath", platform::REG_SZ, {settings.PhotoPath.begin(), settings.PhotoPath.end()}});
  for (const StoredSetting& setting : kStoredSettings) {
    const uint32_t v = setting.flag ? (settings.*setting.flag ? 1u : 0u)
                                    : static_cast<uint32_t>(settings.*setting.number);
    values.push_back(dwordValue(setting.name, v));
  }
  return key.setValues(values) == platform::ERROR_SUCCESS;
}

}  // namespace brassmoor
