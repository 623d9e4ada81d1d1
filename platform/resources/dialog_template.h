#pragma once
// Dialog layouts kept as resources (type "DIALOG"): the size of the dialog and of every
// control in dialog units of the dialog's font, its caption, font and styles. The text form
// is one statement per line:
//   DIALOG id width height
//   CAPTION "text"      FONT points "face"      STYLE name...
//   CONTROL id kind x y width height "text" [style...]   (id -1: a control without an id)
// and, for views that size controls from their texts and the desktop's font instead of the
// dialog units, where each control stands (see DialogLayout):
//   COLUMN id...                  ROW group id...      LINE group [INDENT] id...
//   BUTTONS id... [| id...]
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

// The dialog as rows and columns. The body is a row of COLUMNs, each a stack of group boxes
// (or single controls) from top to bottom; a group box holds a grid built from its ROWs in
// order: a ROW's controls take one grid column each ("-" leaves a cell empty) and its last
// control spans the columns the row leaves over; a LINE puts its controls side by side
// across the whole grid, INDENT setting them in under the row above. Under the body stands
// the button row: the BUTTONS before "|" at its start, those after it at its end. Keyboard
// focus follows the same order: column by column, each from top to bottom, then the buttons.
// A control named nowhere is not shown.
struct DialogLayoutRow {
  static constexpr int32_t kEmptyCell = -1;
  int32_t group = 0;
  bool line = false;
  bool indent = false;
  std::vector<int32_t> cells;
};

struct DialogLayout {
  std::vector<std::vector<int32_t>> columns;
  std::vector<DialogLayoutRow> rows;
  std::vector<int32_t> buttonsStart, buttonsEnd;
  bool empty() const { return columns.empty() && buttonsStart.empty() && buttonsEnd.empty(); }
};

struct DialogTemplate {
  int32_t id = 0;
  int32_t width = 0, height = 0;
  std::string caption;
  int32_t fontPoints = 8;
  std::string fontFace;
  std::vector<std::string> styles;
  std::vector<DialogControl> controls;
  DialogLayout layout;  // empty: the view arranges the controls in their template order
  const DialogControl* control(int32_t id) const;
};

// None when a line is malformed or the DIALOG line is missing, and when the layout names a
// control the template lacks, names one twice, or gives rows to what is not a group box of
// a column.
std::optional<DialogTemplate> parseDialogTemplate(std::string_view text);
// The embedded dialog resource `id`, parsed; none when absent or malformed.
std::optional<DialogTemplate> loadDialogTemplate(int32_t id);

}  // namespace platform
