#include "settings/settings_dialog.h"

#include <string>
#include <utility>

#include "platform/registry/registry.h"
#include "settings/setting_choices.h"

namespace brassmoor {
namespace {

using namespace dialog_id;
using platform::DialogBox;

// Where the first initialisation places the dialog: centred for a window of this size.
constexpr int32_t kCentringWidth = 530;
constexpr int32_t kCentringHeight = 440;
// The first caption pass closes the gap between the products group and the buttons.
constexpr int32_t kButtonsRaise = 47;
constexpr int32_t kDialogShrink = 54;

// The mode list keeps each entry's mode in the entry's data.
int64_t packMode(const OfferedMode& m) {
  return (static_cast<int64_t>(m.width & 0xFFFFFF) << 32) | (static_cast<int64_t>(m.height & 0xFFFFFF) << 8) |
         static_cast<int64_t>(m.bits & 0xFF);
}
OfferedMode unpackMode(int64_t data) {
  return OfferedMode{static_cast<int32_t>((data >> 32) & 0xFFFFFF), static_cast<int32_t>((data >> 8) & 0xFFFFFF),
                     static_cast<int32_t>(data & 0xFF), 0};
}

// A control keeps its template text when the captions lack its key.
void applyCaption(DialogBox& dialog, const CaptionTable& captions, int32_t id, const char* key,
                  const char* suffix = "") {
  const std::string text = captions.lookupUtf8(key);
  if (!text.empty()) dialog.setItemText(id, text + suffix);
}

void applyCaptions(SettingsDialogContext& c, DialogBox& dialog) {
  const std::string title = c.captions.lookupUtf8("screensaver_configuration");
  if (!title.empty()) dialog.setTitle(title);
  static constexpr std::pair<int32_t, const char*> kCaptions[] = {
      {kVideoGroup, "video_mode_selection"},
      {kUseDesktop, "use_desktop_settings"},
      {kSoundGroup, "sound_control"},
      {kVolumeLabel, "master_volume:"},
      {kMusic, "enable_music"},
      {kSound, "enable_sfx"},
      {kGraphicsGroup, "graphics"},
      {kPictureGroup, "put_your_picture_in_the_frame"},
      {kBrowse, "browse"},
      {kPathLabel, "path"},
      {kRestorePicture, "restore_default_picture"},
      {kMiscGroup, "misc_options"},
      {kShowFps, "show_fps"},
      {kShowTime, "show_time"},
      {kTimeStyle24h, "24h_style"},
      {kTimeStyle12h, "12h_style"},
      {kExitOnMM, "exit_on_mouse_move"},
      {kLightningLabel, "lightning"},
      {kChimesLabel, "chimes"},
      {kProductsGroup, "products"},
      {kProductsLine, "visit_our_official_web-site_for_more_great_3d_screensavers"},
      {kVisit, "visit..."},
      {kRestoreDefaults, "restore_defaults"},
      {platform::IDOK, "ok"},
      {platform::IDCANCEL, "cancel"},
  };
  for (const auto& [id, key] : kCaptions) applyCaption(dialog, c.captions, id, key);
  applyCaption(dialog, c.captions, kGammaHint, "gamma_hint");
  applyCaption(dialog, c.captions, kAbout, "about", "...");

  if (!c.session.captionsApplied) {
    c.session.captionsApplied = true;
    for (int32_t id : {platform::IDOK, platform::IDCANCEL, kRestoreDefaults}) {
      platform::PixelRect r = dialog.itemRect(id);
      r.y -= kButtonsRaise;
      dialog.moveItem(id, r);
    }
    platform::PixelRect w = dialog.windowRect();
    w.height -= kDialogShrink;
    dialog.moveWindow(w);
  }
}

// The gamma label follows its slider: "Gamma Control: +35".
void showGamma(SettingsDialogContext& c, DialogBox& dialog) {
  std::string caption = c.captions.lookupUtf8("gamma_control:");
  if (caption.empty()) caption = "Gamma:";
  const int32_t gamma = c.settings.Gamma;
  dialog.setItemText(kGammaLabel, caption + " " + (gamma > 0 ? "+" : "") + std::to_string(gamma));
}

void fillModeList(SettingsDialogContext& c, DialogBox& dialog, const DisplayModeOffer& offer) {
  const SaverSettings& s = c.settings;
  dialog.resetList(kModeList);
  bool exact = false;    // the stored mode, or the desktop's, has been selected
  bool matched = false;  // anything has been selected
  for (const AdapterModes& adapter : offer.adapters) {
    for (const OfferedMode& mode : adapter.modes) {
      if (mode.width < 640 || mode.height < 480) continue;
      const std::string text = modeText(mode);
      if (dialog.findListEntry(kModeList, text) >= 0) continue;
      const int32_t index = dialog.addListEntry(kModeList, text);
      dialog.setListEntryData(kModeList, index, packMode(mode));
      if (mode.width == s.Width && mode.height == s.Height && mode.bits == s.Depth && adapter.ordinal == s.Adapter) {
        dialog.setListSelection(kModeList, index);
        exact = matched = true;
      } else if (!exact && mode.width == offer.desktop.width && mode.height == offer.desktop.height &&
                 mode.format == offer.desktop.format) {
        dialog.setListSelection(kModeList, index);
        exact = matched = true;
      } else if (!matched && mode.width == 800 && mode.height == 600 && mode.bits == 16) {
        dialog.setListSelection(kModeList, index);
        matched = true;
      }
    }
  }
}

// A mode list's entries, in the order of the mode's stored values, each with its caption key
// and the text it keeps when the captions lack that key.
struct ChoiceEntry {
  const char* key;
  const char* fallback;
};
constexpr ChoiceEntry kLightningEntries[] = {
    {"lightning_off", "Off"}, {"lightning_soft", "Soft"}, {"lightning_full", "Full"}};
constexpr ChoiceEntry kChimeEntries[] = {
    {"chimes_off", "Off"}, {"chimes_hours", "Hours"}, {"chimes_quarters", "Quarters"}};

void fillChoiceList(SettingsDialogContext& c, DialogBox& dialog, int32_t id, const ChoiceEntry (&entries)[3],
                    int32_t selected) {
  dialog.resetList(id);
  for (const ChoiceEntry& e : entries) {
    const std::string text = c.captions.lookupUtf8(e.key);
    dialog.addListEntry(id, text.empty() ? e.fallback : text);
  }
  dialog.setListSelection(id, selected);
}

// The list's choice, or `current` while nothing is selected.
int32_t chosenEntry(DialogBox& dialog, int32_t id, int32_t current) {
  const int32_t selected = dialog.listSelection(id);
  return selected >= 0 && selected <= 2 ? selected : current;
}

// The frame-rate choices; the stored cap is listed too when it is none of them. Each entry
// keeps its cap (0, "Auto": as the display refreshes) in its data.
void showFrameCap(DialogBox& dialog, int32_t cap) {
  dialog.resetList(kFrameCap);
  auto add = [&](int32_t value) {
    const int32_t index = dialog.addListEntry(kFrameCap,
                                              value == 0 ? std::string("Auto") : std::to_string(value) + " fps");
    dialog.setListEntryData(kFrameCap, index, value);
    if (value == cap) dialog.setListSelection(kFrameCap, index);
  };
  bool listed = false;
  for (const int32_t value : {0, 30, 60, 120}) {
    if (cap > 0 && !listed && cap < value) {
      add(cap);
      listed = true;
    }
    listed = listed || value == cap;
    add(value);
  }
  if (!listed) add(cap);
}

// Steps shared by the first initialisation and Restore Defaults: the runtime's modes, the
// controls from the settings, and (first time only) the dialog's place.
void showSettings(SettingsDialogContext& c, DialogBox& dialog) {
  const std::optional<DisplayModeOffer> offer = c.modes ? c.modes() : std::nullopt;
  if (!offer) {
    if (dialog.services())
      dialog.services()->messageBox(nullptr, "Cannot start OpenGL 3.3; please install or update the graphics driver",
                                    "Error");
    dialog.endDialog(0);
    return;
  }
  const SaverSettings& s = c.settings;
  dialog.setTrackRange(kGamma, -100, 100);
  dialog.setTrackPosition(kGamma, s.Gamma);
  showGamma(c, dialog);
  dialog.setTrackRange(kVolume, 0, 100);
  dialog.setTrackPosition(kVolume, s.Volume);

  dialog.checkButton(kTimeStyle24h, s.TimeStyle);
  dialog.checkButton(kTimeStyle12h, !s.TimeStyle);
  dialog.checkButton(kShowTime, s.ShowTime);
  dialog.enableItem(kTimeStyle24h, s.ShowTime);
  dialog.enableItem(kTimeStyle12h, s.ShowTime);
  dialog.checkButton(kMusic, s.Music);
  dialog.checkButton(kSound, s.Sound);
  dialog.checkButton(kShowFps, s.ShowFps);
  showFrameCap(dialog, s.FrameCap);
  dialog.checkButton(kExitOnMM, s.ExitOnMM);
  dialog.checkButton(kUseDesktop, s.UseDesktop);
  dialog.enableItem(kModeList, !s.UseDesktop);
  fillChoiceList(c, dialog, kLightning, kLightningEntries, static_cast<int32_t>(lightningMode(s.Lightning)));
  fillChoiceList(c, dialog, kChimes, kChimeEntries, static_cast<int32_t>(chimeMode(s.Chimes)));

  if (!c.session.centred) {
    c.session.centred = true;
    platform::PixelRect w = dialog.windowRect();
    w.x = (offer->desktop.width - kCentringWidth) / 2;
    w.y = (offer->desktop.height - kCentringHeight) / 2;
    dialog.moveWindow(w);
  }
  fillModeList(c, dialog, *offer);
}

// The settings stay in the dialog, so the user can free the folder and press OK again, or
// cancel knowing that nothing was kept.
void reportFailedSave(DialogBox& dialog) {
  if (!dialog.services()) return;
  std::string why = platform::registryLastError();
  if (why.empty()) why = platform::registryFilePath().string();
  dialog.services()->messageBox(&dialog,
                                "The settings could not be saved.\n\n" + why +
                                    "\n\nPress OK to try again, or Cancel to close without saving.",
                                "Error");
}

void onCommand(SettingsDialogContext& c, DialogBox& dialog, int32_t id) {
  SaverSettings& s = c.settings;
  switch (id) {
    case kMusic:
    case kSound:
      (id == kMusic ? s.Music : s.Sound) = dialog.isButtonChecked(id);
      dialog.enableItem(kVolume, s.Music || s.Sound);
      dialog.enableItem(kVolumeLabel, s.Music || s.Sound);
      break;
    case kShowFps: s.ShowFps = dialog.isButtonChecked(id); break;
    case kExitOnMM: s.ExitOnMM = dialog.isButtonChecked(id); break;
    case kShowTime:
      s.ShowTime = dialog.isButtonChecked(id);
      dialog.enableItem(kTimeStyle12h, s.ShowTime);
      dialog.enableItem(kTimeStyle24h, s.ShowTime);
      break;
    case kTimeStyle24h: s.TimeStyle = dialog.isButtonChecked(kTimeStyle24h); break;
    case kTimeStyle12h: s.TimeStyle = !dialog.isButtonChecked(kTimeStyle12h); break;
    case kUseDesktop:
      s.UseDesktop = dialog.isButtonChecked(id);
      dialog.enableItem(kModeList, !s.UseDesktop);
      break;
    case kVolume: s.Volume = dialog.trackPosition(kVolume); break;
    case kGamma:
      s.Gamma = dialog.trackPosition(kGamma);
      showGamma(c, dialog);
      break;
    case kLightning: s.Lightning = chosenEntry(dialog, kLightning, s.Lightning); break;
    case kChimes: s.Chimes = chosenEntry(dialog, kChimes, s.Chimes); break;
    case kRestoreDefaults:
      c.defaults.applyTo(s);  // the picture path is not a default and stays
      showSettings(c, dialog);
      break;
    case kAbout:
      if (dialog.services()) {
        const CaptionTable& captions = c.captions;
        dialog.services()->runModal(&dialog, kAboutDialog,
                                    [&captions](DialogBox& about, uint32_t m, WPARAM w, LPARAM l) {
                                      return aboutDialogProc(captions, about, m, w, l);
                                    });
      }
      break;
    case kVisit:
      if (dialog.services() && *kVisitAddress) dialog.services()->openAddress(kVisitAddress);
      break;
    case platform::IDOK: {
      const int32_t selected = dialog.listSelection(kModeList);
      if (selected >= 0) {
        const OfferedMode mode = unpackMode(dialog.listEntryData(kModeList, selected));
        s.Width = mode.width;
        s.Height = mode.height;
        s.Depth = mode.bits;
        // Every adapter's copy of a mode shares one entry, so the choice names no adapter.
        s.Adapter = 0;
      }
      if (const int32_t cap = dialog.listSelection(kFrameCap); cap >= 0)
        s.FrameCap = static_cast<int32_t>(dialog.listEntryData(kFrameCap, cap));
      if (c.save && !c.save()) {
        reportFailedSave(dialog);
        break;
      }
      dialog.endDialog(1);
      break;
    }
    case platform::IDCANCEL: dialog.endDialog(2); break;
    default: break;
  }
}

}  // namespace

std::string modeText(const OfferedMode& mode) {
  return std::to_string(mode.width) + "x" + std::to_string(mode.height) + "x" + std::to_string(mode.bits) + "bit";
}

intptr_t settingsDialogProc(SettingsDialogContext& c, DialogBox& dialog, uint32_t message, WPARAM wParam, LPARAM) {
  switch (message) {
    case platform::WM_INITDIALOG:
      applyCaptions(c, dialog);
      showSettings(c, dialog);
      return 1;
    case platform::WM_NOTIFY:
      // A trackbar's notification names it in wParam.
      if (wParam == static_cast<WPARAM>(kVolume) || wParam == static_cast<WPARAM>(kGamma))
        onCommand(c, dialog, static_cast<int32_t>(wParam));
      return 0;
    case platform::WM_HSCROLL:
      c.settings.Volume = dialog.trackPosition(kVolume);
      c.settings.Gamma = dialog.trackPosition(kGamma);
      showGamma(c, dialog);
      return 0;
    case platform::WM_COMMAND: onCommand(c, dialog, platform::loWord(wParam)); return 0;
    default: return 0;
  }
}

intptr_t pictureDialogProc(std::string& photoPath, DialogBox& dialog, uint32_t message, WPARAM wParam, LPARAM) {
  if (message == platform::WM_INITDIALOG) {
    dialog.setItemText(kPhotoPath, photoPath);
    return 0;
  }
  if (message != platform::WM_COMMAND) return 0;
  switch (platform::loWord(wParam)) {
    case kBrowse: {
      if (!dialog.services()) break;
      if (std::optional<std::string> chosen = dialog.services()->openFile(dialog, kPictureFilter)) {
        photoPath = *chosen;
        dialog.setItemText(kPhotoPath, photoPath);
      }
      break;
    }
    case kRestorePicture:
      photoPath.clear();
      dialog.setItemText(kPhotoPath, "");
      break;
    case platform::IDOK:
      // What the field shows wins over what Browse chose.
      photoPath = dialog.itemText(kPhotoPath);
      // The settings store reads back no more than kPhotoPathMaxBytes; a longer path would be
      // written and then never read again. No file has a longer path anyway.
      if (photoPath.size() > kPhotoPathMaxBytes) {
        std::size_t cut = kPhotoPathMaxBytes;  // never inside a character
        while (cut > 0 && (static_cast<unsigned char>(photoPath[cut]) & 0xC0) == 0x80) --cut;
        photoPath.resize(cut);
      }
      break;
    default: break;
  }
  return 0;
}

intptr_t aboutDialogProc(const CaptionTable& captions, DialogBox& dialog, uint32_t message, WPARAM wParam, LPARAM) {
  if (message == platform::WM_INITDIALOG) {
    const std::string title = captions.lookupUtf8("about");
    if (!title.empty()) dialog.setTitle(title);
    applyCaption(dialog, captions, platform::IDOK, "ok");
    for (std::size_t i = 0; i < CaptionTable::kAboutLines; ++i)
      dialog.setItemText(kAboutFirstLine + static_cast<int32_t>(i), captions.aboutLines()[i]);
    return 1;
  }
  if (message == platform::WM_COMMAND) {
    const int32_t id = platform::loWord(wParam);
    if (id == platform::IDOK || id == platform::IDCANCEL) dialog.endDialog(id);
  }
  return 0;
}

}  // namespace brassmoor
