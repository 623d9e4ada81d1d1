#pragma once
// Dialog layouts kept as resources (type "DIALOG"): the size of the dialog and of every
// control in dialog units of the dialog's font, its caption, font and styles. The text form
// is one statement per line:
//   DIALOG id width height
//   CAPTION "text"      FONT points "face"      STYLE name...
//   CONTROL id kind x y width height "text" [style...]   (id -1: a control without an id)
// Lines starting with ";" and blank lines are ignored; texts are double-quoted with \" and \\.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct DialogControl {
  int32_t id = -1;
  std::string kind;  // GROUPBOX, STATIC, COMBOBOX, AUTOCHECKBOX, AUTORADIOBUTTON, TRACKBAR,
                     // EDIT, PUSHBUTTON, DEFPUSHBUTTON, BITMAP (text "#id" names the bitmap)
  int32_t x = 0, y = 0, width = 0, height = 0;
  std::string text;
  std::vector<std::string> styles;
  bool hasStyle(std::string_view style) const;
};

struct DialogTemplate {
  int32_t id = 0;
  int32_t width = 0, height = 0;
  std::string caption;
  int32_t fontPoints = 8;
  std::string fontFace;
  std::vector<std::string> styles;
  std::vector<DialogControl> controls;
  const DialogControl* control(int32_t id) const;
};

// None when a line is malformed or the DIALOG line is missing.
std::optional<DialogTemplate> parseDialogTemplate(std::string_view text);
// The embedded dialog resource `id`, parsed; none when absent or malformed.
std::optional<DialogTemplate> loadDialogTemplate(int32_t id);

}  // namespace platform
