#pragma once
// Reading and writing SaverSettings under the user's registry key. A run reads them at its
// start; only the settings dialog's OK writes them.
#include <climits>
#include <cstddef>
#include <cstdint>
#include <span>

#include "settings/saver_settings.h"

namespace brassmoor {

// One stored number or flag: its registry value name, its field, and for numbers the range a
// stored value must lie in to be used (the dialog's range). A new setting adds one row to
// storedSettings() in settings_store.cpp.
struct StoredSetting {
  const char* name;
  bool SaverSettings::*flag = nullptr;
  int32_t SaverSettings::*number = nullptr;
  int32_t min = INT32_MIN;
  int32_t max = INT32_MAX;
};
std::span<const StoredSetting> storedSettings();

// The longest picture path kept, in bytes: the system's path limit less its terminating zero.
inline constexpr std::size_t kPhotoPathMaxBytes = PATH_MAX - 1;

// Opens (creating when missing) the key and reads every value present. A missing key file
// location or an unreadable store leaves the fields as they are and answers false. Values
// of any type are taken as raw bytes when exactly 4 bytes long; longer or shorter ones are
// treated as missing, and so is a number outside its range (said on stderr).
bool loadSettingsFromRegistry(SaverSettings& settings);
// Writes every field in one replacement of the settings file: PhotoPath as REG_SZ (no
// terminating zero), the rest as REG_DWORD. On failure registryLastError() says why.
bool saveSettingsToRegistry(const SaverSettings& settings);

}  // namespace brassmoor
