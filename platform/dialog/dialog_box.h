#pragma once
// A modal dialog as its procedure sees it, free of any toolkit: the controls of a dialog
// template by id, each with its text, check state, enabled state, place in pixels, trackbar
// range and position, and list entries; the dialog's title, place and result. Procedures read
// and change this state with calls shaped like the Win32 dialog functions; the GTK view
// shows it and turns the user's actions into WM_COMMAND and WM_NOTIFY messages. Tests drive
// the same procedures with no display at all.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/resources/dialog_template.h"
#include "platform/window/win32_messages.h"

namespace platform {

inline constexpr uint32_t WM_NOTIFY = 0x004E;
inline constexpr uint32_t WM_INITDIALOG = 0x0110;
inline constexpr uint32_t WM_COMMAND = 0x0111;
inline constexpr uint32_t WM_HSCROLL = 0x0114;

inline constexpr int32_t IDOK = 1;
inline constexpr int32_t IDCANCEL = 2;

// Notification codes in the high word of a WM_COMMAND's wParam.
inline constexpr uint32_t BN_CLICKED = 0;
inline constexpr uint32_t CBN_SELCHANGE = 1;
inline constexpr uint32_t EN_CHANGE = 0x0300;

inline constexpr WPARAM makeWParam(int32_t low, uint32_t high) {
  return static_cast<WPARAM>(static_cast<uint16_t>(low)) | (static_cast<WPARAM>(static_cast<uint16_t>(high)) << 16);
}
inline constexpr int32_t loWord(WPARAM w) { return static_cast<uint16_t>(w & 0xFFFF); }
inline constexpr uint32_t hiWord(WPARAM w) { return static_cast<uint16_t>((w >> 16) & 0xFFFF); }

// A place on the screen or in the dialog's client area, in pixels.
struct PixelRect {
  int32_t x = 0, y = 0, width = 0, height = 0;
  bool operator==(const PixelRect&) const = default;
};

// Average character width and line height of the dialog's font, in pixels: one horizontal
// dialog unit is a quarter of the first, one vertical unit an eighth of the second.
struct DialogBaseUnits {
  int32_t x = 6;
  int32_t y = 13;
};

struct DialogItem {
  int32_t id = -1;
  std::string kind;  // the template's control kind
  PixelRect rect;    // in the client area
  std::string text;  // UTF-8
  bool checked = false;
  bool enabled = true;
  int32_t rangeMin = 0, rangeMax = 100, position = 0;  // trackbars
  std::vector<std::string> entries;                    // list entries
  std::vector<int64_t> entryData;
  int32_t selection = -1;
  std::string bitmap;               // "#155": the bitmap resource a BITMAP control shows
  std::vector<std::string> styles;  // the template's style names
  bool hasStyle(std::string_view style) const;
};

class DialogBox;

// What a dialog procedure may ask of the toolkit besides its own controls.
class DialogServices {
 public:
  virtual ~DialogServices() = default;
  // A message box owned by `owner` (null: no owner) with an OK button. Texts are UTF-8.
  virtual void messageBox(DialogBox* owner, const std::string& text, const std::string& caption) = 0;
  // The file-open dialog. `filter` holds description and pattern pairs separated by "|".
  // The chosen file's full path (an existing file), or none when cancelled.
  virtual std::optional<std::string> openFile(DialogBox& owner, const std::string& filter) = 0;
  // Opens a web address with the desktop's handler; false when nothing could open it.
  virtual bool openAddress(const std::string& address) = 0;
  // Runs dialog `templateId` modally over `owner` with `procedure`; the dialog's result, or
  // -1 when the template is missing or cannot be shown.
  using Procedure = std::function<intptr_t(DialogBox&, uint32_t message, WPARAM, LPARAM)>;
  virtual intptr_t runModal(DialogBox* owner, int32_t templateId, Procedure procedure) = 0;
};

class DialogBox {
 public:
  // Controls placed from the template's dialog units with `units`; the client area is the
  // template's size in pixels and the dialog sits at (0, 0) until moved.
  DialogBox(const DialogTemplate& dialogTemplate, DialogBaseUnits units = {}, DialogServices* services = nullptr);

  int32_t templateId() const { return templateId_; }
  DialogBaseUnits baseUnits() const { return units_; }
  DialogServices* services() const { return services_; }
  void setServices(DialogServices* services) { services_ = services; }

  // Control look-ups; null when the dialog has no control of that id.
  DialogItem* item(int32_t id);
  const DialogItem* item(int32_t id) const;
  std::vector<DialogItem>& items() { return items_; }
  const std::vector<DialogItem>& items() const { return items_; }

  // SetDlgItemText / GetDlgItemText: false or empty for an unknown id. `maxChars` cuts the
  // text the way a fixed buffer of maxChars + 1 would, never inside a UTF-8 sequence.
  bool setItemText(int32_t id, std::string_view text);
  std::string itemText(int32_t id, std::size_t maxChars = std::string::npos) const;
  void checkButton(int32_t id, bool checked);
  bool isButtonChecked(int32_t id) const;
  void enableItem(int32_t id, bool enabled);
  bool isItemEnabled(int32_t id) const;
  void moveItem(int32_t id, const PixelRect& rect);
  PixelRect itemRect(int32_t id) const;

  // Trackbars: the position is kept inside the range.
  void setTrackRange(int32_t id, int32_t low, int32_t high);
  void setTrackPosition(int32_t id, int32_t position);
  int32_t trackPosition(int32_t id) const;

  // Drop-down lists.
  void resetList(int32_t id);
  // The new entry's index, or -1.
  int32_t addListEntry(int32_t id, std::string_view text);
  void setListEntryData(int32_t id, int32_t index, int64_t data);
  int64_t listEntryData(int32_t id, int32_t index) const;
  // Index of the entry whose text equals `text`, or -1.
  int32_t findListEntry(int32_t id, std::string_view text) const;
  void setListSelection(int32_t id, int32_t index);  // -1 clears it
  int32_t listSelection(int32_t id) const;

  // The dialog's own window: title, and place and size of the whole window on the screen.
  const std::string& title() const { return title_; }
  void setTitle(std::string_view title) { title_ = std::string(title); }
  PixelRect windowRect() const { return window_; }
  void moveWindow(const PixelRect& rect) { window_ = rect; }
  // The window's size beyond its client area (frame and title bar), kept when it resizes.
  void setFrameSize(int32_t width, int32_t height);
  PixelRect clientRect() const;

  // EndDialog: the modal loop ends after the current message with `result`.
  void endDialog(intptr_t result);
  bool ended() const { return result_.has_value(); }
  intptr_t result() const { return result_.value_or(0); }

 private:
  int32_t templateId_ = 0;
  DialogBaseUnits units_;
  DialogServices* services_ = nullptr;
  std::vector<DialogItem> items_;
  std::string title_;
  PixelRect window_;
  int32_t frameWidth_ = 0, frameHeight_ = 0;
  std::optional<intptr_t> result_;
};

// Dialog units to pixels with `units`, rounded the way the system rounds them.
PixelRect dialogUnitsToPixels(int32_t x, int32_t y, int32_t width, int32_t height, DialogBaseUnits units);

}  // namespace platform
