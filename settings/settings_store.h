#pragma once
// Reading and writing SaverSettings under the user's registry key. A run reads them at its
// start; only the settings dialog's OK writes them.
#include "settings/saver_settings.h"

namespace brassmoor {

// Opens (creating when missing) the key and reads every value present. A missing key file
// location or an unreadable store leaves the fields as they are and answers false. Values
// of any type are taken as raw bytes when exactly 4 bytes long; longer or shorter ones are
// treated as missing.
bool loadSettingsFromRegistry(SaverSettings& settings);
// Writes every field: PhotoPath as REG_SZ (no terminating zero), the rest as REG_DWORD.
bool saveSettingsToRegistry(const SaverSettings& settings);

}  // namespace brassmoor
