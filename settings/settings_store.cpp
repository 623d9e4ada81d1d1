#include "settings/settings_store.h"

#include <cstring>

#include "engine/core/trace.h"
#include "platform/registry/registry.h"

namespace brassmoor {
namespace {

using platform::RegistryKey;

// The integer and boolean values in the order they are read and written.
template <typename Visitor>
void forEachNumber(SaverSettings& s, Visitor visit) {
  visit("UseDesktop", s.UseDesktop);
  visit("ShowFps", s.ShowFps);
  visit("Width", s.Width);
  visit("Height", s.Height);
  visit("Depth", s.Depth);
  visit("Adapter", s.Adapter);
  visit("Gamma", s.Gamma);
  visit("Volume", s.Volume);
  visit("Music", s.Music);
  visit("Sound", s.Sound);
  visit("ExitOnMM", s.ExitOnMM);
  visit("ShowTime", s.ShowTime);
  visit("TimeStyle", s.TimeStyle);
}

bool readFourBytes(const RegistryKey& key, const char* name, uint8_t (&bytes)[4]) {
  uint32_t size = 4;
  uint32_t type = 0;
  if (key.queryValue(name, &type, bytes, &size) != platform::ERROR_SUCCESS) return false;
  // A value shorter than four bytes would leave part of the field unset; it counts as missing.
  return size == 4;
}

void assignRaw(const uint8_t (&bytes)[4], bool& field) { field = bytes[0] || bytes[1] || bytes[2] || bytes[3]; }

void assignRaw(const uint8_t (&bytes)[4], int32_t& field) {
  uint32_t v;
  std::memcpy(&v, bytes, 4);  // little-endian, as the registry stores it
  field = static_cast<int32_t>(v);
}

uint32_t asDword(bool value) { return value ? 1u : 0u; }
uint32_t asDword(int32_t value) { return static_cast<uint32_t>(value); }

}  // namespace

bool loadSettingsFromRegistry(SaverSettings& settings) {
  RegistryKey key;
  if (RegistryKey::create(kSettingsKeyPath, platform::KEY_READ, key) != platform::ERROR_SUCCESS) {
    halcyon::logLine("Registry Failed\n");
    return false;
  }
  char path[256] = {};
  uint32_t size = sizeof path;
  uint32_t type = 0;
  if (key.queryValue("PhotoPath", &type, reinterpret_cast<uint8_t*>(path), &size) == platform::ERROR_SUCCESS) {
    settings.PhotoPath.assign(path, strnlen(path, size));
  }
  key.close();

  if (RegistryKey::create(kSettingsKeyPath, platform::KEY_READ, key) != platform::ERROR_SUCCESS) return false;
  forEachNumber(settings, [&](const char* name, auto& field) {
    uint8_t bytes[4] = {};
    if (readFourBytes(key, name, bytes)) assignRaw(bytes, field);
  });
  key.close();
  return true;
}

bool saveSettingsToRegistry(const SaverSettings& settings) {
  RegistryKey key;
  if (RegistryKey::create(kSettingsKeyPath, platform::KEY_WRITE, key) != platform::ERROR_SUCCESS) return false;
  key.setValue("PhotoPath", platform::REG_SZ, reinterpret_cast<const uint8_t*>(settings.PhotoPath.data()),
               static_cast<uint32_t>(settings.PhotoPath.size()));
  key.close();

  if (RegistryKey::create(kSettingsKeyPath, platform::KEY_WRITE, key) != platform::ERROR_SUCCESS) return false;
  SaverSettings copy = settings;
  forEachNumber(copy, [&](const char* name, auto& field) {
    const uint32_t v = asDword(field);
    const uint8_t bytes[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                              static_cast<uint8_t>(v >> 24)};
    key.setValue(name, platform::REG_DWORD, bytes, 4);
  });
  key.close();
  return true;
}

}  // namespace brassmoor
