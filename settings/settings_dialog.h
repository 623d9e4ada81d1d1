#pragma once
// The settings dialog's behaviour, free of any toolkit: what happens to the controls of
// dialog 132 and to SaverSettings on each message. The shell's procedure handles everything
// but the picture controls, which belong to the clock scene's procedure (it runs first and
// passes every message on). Every change made through the controls goes into the settings
// at once; only OK writes them.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/dialog/dialog_box.h"
#include "settings/captions.h"
#include "settings/defaults_table.h"
#include "settings/saver_settings.h"
#include "settings/settings_store.h"

namespace brassmoor {

using platform::LPARAM;
using platform::WPARAM;

namespace dialog_id {
inline constexpr int32_t kSettingsDialog = 132;
inline constexpr int32_t kAboutDialog = 103;
inline constexpr int32_t kBrowse = 1008;
inline constexpr int32_t kPhotoPath = 1009;
inline constexpr int32_t kRestorePicture = 1010;
inline constexpr int32_t kModeList = 1011;
inline constexpr int32_t kUseDesktop = 1012;
inline constexpr int32_t kVideoGroup = 1013;
inline constexpr int32_t kSoundGroup = 1014;
inline constexpr int32_t kGraphicsGroup = 1015;
inline constexpr int32_t kPictureGroup = 1016;
inline constexpr int32_t kPathLabel = 1017;
inline constexpr int32_t kProductsGroup = 1018;
inline constexpr int32_t kProductsLine = 1019;
inline constexpr int32_t kVolume = 1020;
inline constexpr int32_t kMusic = 1021;
inline constexpr int32_t kSound = 1022;
inline constexpr int32_t kVolumeLabel = 1023;
inline constexpr int32_t kMiscGroup = 1025;
inline constexpr int32_t kShowFps = 1044;
inline constexpr int32_t kExitOnMM = 1045;
inline constexpr int32_t kGamma = 1046;
inline constexpr int32_t kVisit = 1061;
inline constexpr int32_t kAbout = 1062;
inline constexpr int32_t kRestoreDefaults = 1063;
inline constexpr int32_t kGammaLabel = 1106;
inline constexpr int32_t kGammaHint = 1107;
inline constexpr int32_t kTimeStyle12h = 1111;
inline constexpr int32_t kTimeStyle24h = 1112;
inline constexpr int32_t kShowTime = 1119;
inline constexpr int32_t kLightning = 1130;
inline constexpr int32_t kChimes = 1131;
inline constexpr int32_t kLightningLabel = 1132;
inline constexpr int32_t kChimesLabel = 1133;
inline constexpr int32_t kAboutFirstLine = 1039;
inline constexpr int32_t kFrameCapLabel = 1140;
inline constexpr int32_t kFrameCap = 1141;
}  // namespace dialog_id

// The pictures the frame accepts, as the file dialog offers them: description and pattern.
inline constexpr const char* kPictureFilter =
    "Pictures (JPEG, PNG, BMP, GIF, TGA)|*.jpg;*.jpeg;*.png;*.bmp;*.gif;*.tga|";
// Where "Visit..." leads: nowhere until the project has a page of its own, so that no button
// opens an address that cannot be reached (the desktop's view does not show it).
inline constexpr const char* kVisitAddress = "";

// A full-screen mode as the graphics runtime offers it.
struct OfferedMode {
  int32_t width = 0, height = 0;
  int32_t bits = 0;     // bits per pixel of its format
  uint32_t format = 0;  // the runtime's format code
  bool operator==(const OfferedMode&) const = default;
};

struct AdapterModes {
  int32_t ordinal = 0;
  std::vector<OfferedMode> modes;  // in the runtime's order
};

struct DisplayModeOffer {
  OfferedMode desktop;  // of adapter 0
  std::vector<AdapterModes> adapters;
};

// Asks the graphics runtime for its adapters and modes; none when it cannot be started.
using ModeSource = std::function<std::optional<DisplayModeOffer>()>;

// What happens once per process, not once per dialog: the first caption pass closes the gap
// under the products group, and the first initialisation centres the dialog.
struct SettingsDialogSession {
  bool captionsApplied = false;
  bool centred = false;
};

struct SettingsDialogContext {
  SaverSettings& settings;
  const DefaultsTable& defaults;
  const CaptionTable& captions;
  ModeSource modes;
  // Writes the settings (the application's saveSettings). When it fails, OK tells the user
  // why and the dialog stays open.
  std::function<bool()> save;
  SettingsDialogSession& session;
};

// The shell's procedure of the settings dialog. Answers 1 for WM_INITDIALOG, else 0.
intptr_t settingsDialogProc(SettingsDialogContext& context, platform::DialogBox& dialog, uint32_t message,
                            WPARAM wParam, LPARAM lParam);

// The picture controls (Browse, the path field, Restore Default Picture, and the path that
// OK takes). The clock scene's procedure calls this first and then passes the message on.
// Always answers 0, so the message goes on.
intptr_t pictureDialogProc(std::string& photoPath, platform::DialogBox& dialog, uint32_t message, WPARAM wParam,
                           LPARAM lParam);

// The about box: its title and OK button from the captions, its seven lines from the about
// text; it ends on OK or Cancel.
intptr_t aboutDialogProc(const CaptionTable& captions, platform::DialogBox& dialog, uint32_t message, WPARAM wParam,
                         LPARAM lParam);

// "1024x768x32bit".
std::string modeText(const OfferedMode& mode);

}  // namespace brassmoor
