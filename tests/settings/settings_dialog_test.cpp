#include "settings/settings_dialog.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/resources/dialog_template.h"

namespace {

using namespace brassmoor;
using namespace brassmoor::dialog_id;
using platform::DialogBox;
using platform::IDCANCEL;
using platform::IDOK;
using platform::WM_COMMAND;
using platform::WM_INITDIALOG;
using platform::WM_NOTIFY;

constexpr uint32_t kX8R8G8B8 = 22, kR5G6B5 = 23;

OfferedMode mode(int32_t w, int32_t h, int32_t bits) {
  return OfferedMode{w, h, bits, bits == 16 ? kR5G6B5 : kX8R8G8B8};
}

class FakeServices : public platform::DialogServices {
 public:
  void messageBox(DialogBox* owner, const std::string& text, const std::string& caption) override {
    boxes.push_back({owner, text, caption});
  }
  std::optional<std::string> openFile(DialogBox&, const std::string& filter) override {
    filters.push_back(filter);
    return chosenFile;
  }
  bool openAddress(const std::string& address) override {
    addresses.push_back(address);
    return true;
  }
  intptr_t runModal(DialogBox*, int32_t templateId, Procedure procedure) override {
    const auto t = platform::loadDialogTemplate(templateId);
    if (!t) return -1;
    DialogBox box(*t, {}, this);
    procedure(box, WM_INITDIALOG, 0, 0);
    nested.push_back(box);
    procedure(box, WM_COMMAND, IDOK, 0);
    return box.result();
  }

  struct Box {
    DialogBox* owner;
    std::string text, caption;
  };
  std::vector<Box> boxes;
  std::vector<std::string> filters, addresses;
  std::vector<DialogBox> nested;
  std::optional<std::string> chosenFile;
};

// A settings dialog as the clock scene runs it: the picture controls first, then the shell.
class SettingsDialogTest : public ::testing::Test {
 protected:
  SettingsDialogTest() {
    defaults.loadResource();
    defaults.applyTo(settings);
    captions.loadResource();
    offer.desktop = mode(1280, 1024, 32);
    offer.adapters = {
        {0, {mode(640, 480, 16), mode(800, 600, 16), mode(800, 600, 32), mode(1024, 768, 32), mode(1280, 1024, 32)}}};
  }

  DialogBox& open() {
    const auto t = platform::loadDialogTemplate(kSettingsDialog);
    EXPECT_TRUE(t);
    dialog.emplace(*t, platform::DialogBaseUnits{}, &services);
    send(WM_INITDIALOG);
    return *dialog;
  }
  void send(uint32_t message, WPARAM w = 0, platform::LPARAM l = 0) {
    pictureDialogProc(settings.PhotoPath, *dialog, message, w, l);
    settingsDialogProc(context, *dialog, message, w, l);
  }
  void click(int32_t id) { send(WM_COMMAND, platform::makeWParam(id, platform::BN_CLICKED)); }
  void toggle(int32_t id) {
    dialog->checkButton(id, !dialog->isButtonChecked(id));
    click(id);
  }
  std::string selectedMode() const {
    const int32_t i = dialog->listSelection(kModeList);
    return i < 0 ? std::string("none") : dialog->item(kModeList)->entries[static_cast<std::size_t>(i)];
  }

  DefaultsTable defaults;
  CaptionTable captions;
  SaverSettings settings;
  DisplayModeOffer offer;
  FakeServices services;
  SettingsDialogSession session;
  int saves = 0;
  SaverSettings saved;
  SettingsDialogContext context{settings,
                                defaults,
                                captions,
                                [this] { return std::optional(offer); },
                                [this] {
                                  ++saves;
                                  saved = settings;
                                  return true;
                                },
                                session};
  std::optional<DialogBox> dialog;
};

TEST_F(SettingsDialogTest, InitialisationShowsTheSettingsWithCaptionsAndClosesTheGapOnce) {
  settings.Volume = 73;
  settings.Gamma = -20;
  settings.TimeStyle = true;
  settings.ShowTime = false;
  settings.UseDesktop = false;
  settings.PhotoPath = "/pictures/cat.png";
  DialogBox& d = open();
  EXPECT_EQ(d.title(), "Brassmoor Configuration");
  EXPECT_EQ(d.itemText(kGammaLabel), "Gamma Control: -20") << "the label shows the slider's value";
  EXPECT_NE(d.itemText(kGammaHint).find("blacks"), std::string::npos) << "a hint says what gamma does";
  EXPECT_EQ(d.itemText(kAbout), "About...");
  EXPECT_EQ(d.itemText(kShowFps), "Show FPS");
  EXPECT_EQ(d.itemText(kPhotoPath), "/pictures/cat.png");
  EXPECT_EQ(d.trackPosition(kVolume), 73);
  EXPECT_EQ(d.trackPosition(kGamma), -20);
  EXPECT_EQ(d.item(kGamma)->rangeMin, -100);
  EXPECT_TRUE(d.isButtonChecked(kTimeStyle24h));
  EXPECT_FALSE(d.isButtonChecked(kTimeStyle12h));
  EXPECT_FALSE(d.isItemEnabled(kTimeStyle12h));
  EXPECT_TRUE(d.isItemEnabled(kModeList));

  // Base units 6 x 13: OK at 242 dialog units is at 393 pixels, raised by 47; the window
  // is centred for a 530 x 440 window on the 1280 x 1024 desktop.
  EXPECT_EQ(d.itemRect(IDOK).y, 393 - 47);
  EXPECT_EQ(d.itemRect(kRestoreDefaults).y, 393 - 47);
  EXPECT_EQ(d.itemRect(kVisit).y, 304);
  const platform::PixelRect w = d.windowRect();
  EXPECT_EQ(w.x, 375);
  EXPECT_EQ(w.y, 292);
  EXPECT_EQ(d.clientRect().height, 427 - 54);

  // A second dialog in the same process is neither shrunk nor moved again.
  open();
  EXPECT_EQ(dialog->itemRect(IDOK).y, 393);
  EXPECT_EQ(dialog->windowRect().x, 0);
  EXPECT_EQ(dialog->clientRect().height, 427);
}

TEST_F(SettingsDialogTest, ModeListSkipsSmallModesAndDuplicatesAcrossAdapters) {
  offer.adapters = {
      {0, {mode(512, 384, 32), mode(640, 400, 32), mode(640, 480, 32), mode(1024, 768, 32), mode(1024, 768, 32)}},
      {1, {mode(1024, 768, 32), mode(1600, 1200, 32)}}};
  settings.Width = 1600, settings.Height = 1200, settings.Depth = 32, settings.Adapter = 1;
  open();
  EXPECT_EQ(dialog->item(kModeList)->entries,
            (std::vector<std::string>{"640x480x32bit", "1024x768x32bit", "1600x1200x32bit"}));
  EXPECT_EQ(selectedMode(), "1600x1200x32bit");
  // The choice names no adapter: OK stores adapter 0 even for the second adapter's mode.
  dialog->setListSelection(kModeList, 1);
  click(IDOK);
  EXPECT_EQ(saves, 1);
  EXPECT_EQ(saved.Width, 1024);
  EXPECT_EQ(saved.Height, 768);
  EXPECT_EQ(saved.Adapter, 0);
  EXPECT_EQ(dialog->result(), 1);
}

TEST_F(SettingsDialogTest, ModeSelectionPrefersStoredThenDesktopThenEightHundredBySixteen) {
  // The stored mode wins over a desktop mode listed earlier.
  offer.desktop = mode(800, 600, 32);
  settings.Width = 1024, settings.Height = 768, settings.Depth = 32, settings.Adapter = 0;
  open();
  EXPECT_EQ(selectedMode(), "1024x768x32bit");

  // A stored mode of another adapter is no match: the desktop's mode is selected.
  settings.Adapter = 1;
  open();
  EXPECT_EQ(selectedMode(), "800x600x32bit");

  // No stored match and no desktop entry: 800 x 600 at 16 bits.
  offer.desktop = mode(1920, 1080, 32);
  open();
  EXPECT_EQ(selectedMode(), "800x600x16bit");

  // Nothing to select: OK leaves the mode settings alone.
  offer.adapters = {{0, {mode(1024, 768, 32)}}};
  settings.Width = 1280, settings.Height = 720, settings.Depth = 16, settings.Adapter = 3;
  open();
  EXPECT_EQ(selectedMode(), "none");
  click(IDOK);
  EXPECT_EQ(saved.Width, 1280);
  EXPECT_EQ(saved.Depth, 16);
  EXPECT_EQ(saved.Adapter, 3);
}

TEST_F(SettingsDialogTest, ControlsChangeTheSettingsAtOnceAndCancelWritesNothing) {
  open();
  toggle(kShowFps);
  EXPECT_TRUE(settings.ShowFps);
  toggle(kShowTime);
  EXPECT_FALSE(settings.ShowTime);
  EXPECT_FALSE(dialog->isItemEnabled(kTimeStyle24h));
  dialog->checkButton(kTimeStyle12h, false);
  dialog->checkButton(kTimeStyle24h, true);
  click(kTimeStyle24h);
  EXPECT_TRUE(settings.TimeStyle);
  toggle(kMusic);
  EXPECT_TRUE(dialog->isItemEnabled(kVolume));
  toggle(kSound);
  EXPECT_FALSE(dialog->isItemEnabled(kVolume));
  EXPECT_FALSE(dialog->isItemEnabled(kVolumeLabel));
  toggle(kUseDesktop);
  EXPECT_FALSE(settings.UseDesktop);
  EXPECT_TRUE(dialog->isItemEnabled(kModeList));
  dialog->setTrackPosition(kVolume, 80);
  send(WM_NOTIFY, kVolume);
  dialog->setTrackPosition(kGamma, 250);  // kept inside the range
  send(WM_NOTIFY, kGamma);
  EXPECT_EQ(settings.Volume, 80);
  EXPECT_EQ(settings.Gamma, 100);
  EXPECT_EQ(dialog->itemText(kGammaLabel), "Gamma Control: +100");
  dialog->setTrackPosition(kGamma, 0);
  send(platform::WM_HSCROLL);
  EXPECT_EQ(dialog->itemText(kGammaLabel), "Gamma Control: 0");
  EXPECT_EQ(dialog->listSelection(kLightning), 2);
  EXPECT_EQ(dialog->findListEntry(kLightning, "Soft"), 1);
  dialog->setListSelection(kLightning, 1);
  click(kLightning);
  EXPECT_EQ(settings.Lightning, 1);
  dialog->setListSelection(kChimes, 2);
  click(kChimes);
  EXPECT_EQ(settings.Chimes, 2);

  click(kVisit);
  EXPECT_TRUE(services.addresses.empty()) << "there is no page to visit, so nothing is opened";
  click(IDCANCEL);
  EXPECT_EQ(dialog->result(), 2);
  EXPECT_EQ(saves, 0);
}

TEST_F(SettingsDialogTest, FrameCapListsItsChoicesWithTheStoredOneAndIsSavedOnOk) {
  settings.FrameCap = 45;  // stored by hand, none of the choices
  open();
  const auto& entries = dialog->item(kFrameCap)->entries;
  EXPECT_EQ(entries, (std::vector<std::string>{"Auto", "30 fps", "45 fps", "60 fps", "120 fps"}));
  EXPECT_EQ(dialog->listSelection(kFrameCap), 2);
  dialog->setListSelection(kFrameCap, 4);
  click(IDOK);
  ASSERT_EQ(saves, 1);
  EXPECT_EQ(saved.FrameCap, 120);

  settings.FrameCap = 0;
  open();
  EXPECT_EQ(dialog->item(kFrameCap)->entries.size(), 4u);
  EXPECT_EQ(dialog->listSelection(kFrameCap), 0) << "the display's own rate";
}

TEST_F(SettingsDialogTest, RestoreDefaultsResetsEverythingButThePicture) {
  settings = SaverSettings{false, true, false, true, false, false, 5, true, 40, 2, 1024, 768, 16, "/p/cat.jpg", 0, 2};
  open();
  click(kRestoreDefaults);
  EXPECT_EQ(selectedMode(), "800x600x32bit");
  EXPECT_EQ(dialog->trackPosition(kVolume), 50);
  EXPECT_EQ(dialog->trackPosition(kGamma), 0);
  EXPECT_EQ(dialog->itemText(kGammaLabel), "Gamma Control: 0");
  EXPECT_TRUE(dialog->isButtonChecked(kShowTime));
  EXPECT_TRUE(dialog->isButtonChecked(kMusic));
  EXPECT_TRUE(dialog->isButtonChecked(kSound));
  EXPECT_TRUE(dialog->isButtonChecked(kUseDesktop));
  EXPECT_FALSE(dialog->isButtonChecked(kShowFps));
  EXPECT_FALSE(dialog->isButtonChecked(kExitOnMM));
  EXPECT_EQ(dialog->listSelection(kLightning), 2);
  EXPECT_EQ(dialog->listSelection(kChimes), 0);
  EXPECT_EQ(dialog->itemText(kPhotoPath), "/p/cat.jpg");
  EXPECT_EQ(settings.PhotoPath, "/p/cat.jpg");
  EXPECT_EQ(saves, 0);

  // Without 800 x 600 x 32 the desktop's entry is chosen.
  offer.adapters[0].modes.erase(offer.adapters[0].modes.begin() + 2);
  click(kRestoreDefaults);
  EXPECT_EQ(selectedMode(), "1280x1024x32bit");
}

TEST_F(SettingsDialogTest, PictureControlsBrowseEditRestoreAndCancel) {
  settings.PhotoPath = "/old.jpg";
  open();
  services.chosenFile = "/home/me/cat.png";
  click(kBrowse);
  EXPECT_EQ(services.filters, std::vector<std::string>{kPictureFilter});
  EXPECT_EQ(dialog->itemText(kPhotoPath), "/home/me/cat.png");
  // What the field holds at OK wins.
  dialog->setItemText(kPhotoPath, "/home/me/dog.png");
  click(IDOK);
  EXPECT_EQ(saved.PhotoPath, "/home/me/dog.png");

  settings.PhotoPath = "/old.jpg";
  open();
  click(kBrowse);
  click(IDCANCEL);
  EXPECT_EQ(saves, 1);  // only the first dialog saved

  open();
  services.chosenFile.reset();  // the file dialog was cancelled
  click(kBrowse);
  EXPECT_EQ(dialog->itemText(kPhotoPath), "/home/me/cat.png");
  click(kRestorePicture);
  EXPECT_EQ(dialog->itemText(kPhotoPath), "");
  // Ordinary deep paths are kept whole; only what no file could have is cut, never inside a
  // character.
  const std::string deep = "/" + std::string(250, 'a') + "/b.jpg";
  dialog->setItemText(kPhotoPath, deep);
  click(IDOK);
  EXPECT_EQ(saved.PhotoPath, deep);
  open();
  std::string wide = "/";
  while (wide.size() < kPhotoPathMaxBytes + 10) wide += "\xC3\xA9";
  dialog->setItemText(kPhotoPath, wide);
  click(IDOK);
  const std::size_t whole = (kPhotoPathMaxBytes - 1) / 2 * 2 + 1;  // "/" and whole two-byte characters
  EXPECT_EQ(saved.PhotoPath, wide.substr(0, whole));
  EXPECT_LE(saved.PhotoPath.size(), kPhotoPathMaxBytes);
}

TEST_F(SettingsDialogTest, OkThatCannotSaveSaysSoAndStaysOpen) {
  bool saveWorks = false;
  context.save = [&] {
    ++saves;
    return saveWorks;
  };
  open();
  click(IDOK);
  EXPECT_FALSE(dialog->ended());
  ASSERT_EQ(services.boxes.size(), 1u);
  EXPECT_EQ(services.boxes[0].owner, &*dialog);
  EXPECT_NE(services.boxes[0].text.find("could not be saved"), std::string::npos);
  saveWorks = true;
  click(IDOK);
  EXPECT_TRUE(dialog->ended());
  EXPECT_EQ(dialog->result(), 1);
  EXPECT_EQ(saves, 2);
  EXPECT_EQ(services.boxes.size(), 1u);
}

TEST_F(SettingsDialogTest, MissingRuntimeShowsTheErrorAndEndsWithZero) {
  context.modes = [] { return std::optional<DisplayModeOffer>(); };
  open();
  ASSERT_EQ(services.boxes.size(), 1u);
  EXPECT_EQ(services.boxes[0].owner, nullptr);
  EXPECT_EQ(services.boxes[0].text, "Cannot start OpenGL 3.3; please install or update the graphics driver");
  EXPECT_EQ(services.boxes[0].caption, "Error");
  EXPECT_TRUE(dialog->ended());
  EXPECT_EQ(dialog->result(), 0);
  EXPECT_EQ(saves, 0);
}

TEST_F(SettingsDialogTest, AboutBoxShowsItsCaptionsAndSevenLines) {
  open();
  click(kAbout);
  ASSERT_EQ(services.nested.size(), 1u);
  const DialogBox& about = services.nested[0];
  EXPECT_EQ(about.title(), "About");
  EXPECT_EQ(about.itemText(IDOK), "OK");
  for (int32_t id = kAboutFirstLine; id < kAboutFirstLine + 7; ++id)
    EXPECT_EQ(about.itemText(id), captions.aboutLines()[static_cast<std::size_t>(id - kAboutFirstLine)]);
  EXPECT_FALSE(dialog->ended());
}

}  // namespace
