#include "platform/resources/dialog_template.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using platform::parseDialogTemplate;

TEST(DialogTemplate, SettingsDialogCarriesItsLayout) {
  const auto dialog = platform::loadDialogTemplate(132);
  ASSERT_TRUE(dialog);
  EXPECT_EQ(dialog->width, 382);
  EXPECT_EQ(dialog->height, 263);
  EXPECT_EQ(dialog->fontPoints, 8);
  EXPECT_GE(dialog->controls.size(), 31u);
  const auto* list = dialog->control(1011);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->kind, "COMBOBOX");
  EXPECT_EQ(list->x, 11);
  EXPECT_EQ(list->y, 13);
  EXPECT_EQ(list->width, 178);
  EXPECT_EQ(list->height, 74);
  EXPECT_TRUE(list->hasStyle("CBS_DROPDOWNLIST"));
  const auto* edit = dialog->control(1009);
  ASSERT_NE(edit, nullptr);
  EXPECT_TRUE(edit->hasStyle("ES_READONLY"));
  const auto* picture = dialog->control(1026);
  ASSERT_NE(picture, nullptr);
  EXPECT_EQ(picture->kind, "BITMAP");
  EXPECT_EQ(picture->text, "#155");
  ASSERT_NE(dialog->control(1), nullptr);
  EXPECT_EQ(dialog->control(1)->y, 242);
}

TEST(DialogTemplate, SettingsDialogLayoutShowsEveryControlButTheProducts) {
  const auto dialog = platform::loadDialogTemplate(132);
  ASSERT_TRUE(dialog);
  const platform::DialogLayout& layout = dialog->layout;
  std::vector<int32_t> placed = layout.buttonsStart;
  placed.insert(placed.end(), layout.buttonsEnd.begin(), layout.buttonsEnd.end());
  for (const auto& column : layout.columns) placed.insert(placed.end(), column.begin(), column.end());
  for (const auto& row : layout.rows) placed.insert(placed.end(), row.cells.begin(), row.cells.end());
  for (const auto& control : dialog->controls) {
    const bool shown = std::find(placed.begin(), placed.end(), control.id) != placed.end();
    const bool products = control.id == 1018 || control.id == 1019 || control.id == 1061;
    EXPECT_EQ(shown, !products) << "control " << control.id;
  }
  // The desktop's order: Cancel before OK, at the end of the button row.
  EXPECT_EQ(layout.buttonsEnd, (std::vector<int32_t>{2, 1}));
  EXPECT_EQ(layout.columns.front().front(), 1013) << "the video mode group comes first";
}

TEST(DialogTemplate, LayoutLinesAreReadAndChecked) {
  const std::string controls =
      "DIALOG 7 10 20\n"
      "CONTROL 10 GROUPBOX 0 0 1 1 \"g\"\nCONTROL 11 STATIC 0 0 1 1 \"a\"\nCONTROL 12 TRACKBAR 0 0 1 1 \"\"\n"
      "CONTROL 13 AUTORADIOBUTTON 0 0 1 1 \"r\"\nCONTROL 1 DEFPUSHBUTTON 0 0 1 1 \"OK\"\n"
      "CONTROL 2 PUSHBUTTON 0 0 1 1 \"Cancel\"\n";
  const auto ok = parseDialogTemplate(controls + "COLUMN 10\nROW 10 11 - 12\nLINE 10 INDENT 13\nBUTTONS | 2 1\n");
  ASSERT_TRUE(ok);
  const platform::DialogLayout& layout = ok->layout;
  ASSERT_EQ(layout.rows.size(), 2u);
  EXPECT_EQ(layout.rows[0].cells, (std::vector<int32_t>{11, platform::DialogLayoutRow::kEmptyCell, 12}));
  EXPECT_FALSE(layout.rows[0].line);
  EXPECT_TRUE(layout.rows[1].line && layout.rows[1].indent);
  EXPECT_TRUE(layout.buttonsStart.empty());
  EXPECT_EQ(layout.buttonsEnd, (std::vector<int32_t>{2, 1}));
  EXPECT_TRUE(parseDialogTemplate(controls)->layout.empty());

  // A slip in the layout is caught when the template is read, not met as a missing control.
  EXPECT_FALSE(parseDialogTemplate(controls + "COLUMN 10\nROW 10 99\n")) << "no such control";
  EXPECT_FALSE(parseDialogTemplate(controls + "COLUMN 10\nROW 10 11\nROW 10 11\n")) << "placed twice";
  EXPECT_FALSE(parseDialogTemplate(controls + "COLUMN 10\nROW 11 12\n")) << "rows of a static";
  EXPECT_FALSE(parseDialogTemplate(controls + "ROW 10 12\n")) << "a group in no column";
  EXPECT_FALSE(parseDialogTemplate(controls + "COLUMN 10\nLINE 10 - 12\n")) << "a line has no empty cells";
  EXPECT_FALSE(parseDialogTemplate(controls + "COLUMN -1\n"));
  EXPECT_FALSE(parseDialogTemplate(controls + "COLUMN\n"));
}

TEST(DialogTemplate, AboutAndMissingGraphicsDialogs) {
  const auto about = platform::loadDialogTemplate(103);
  ASSERT_TRUE(about);
  for (int id = 1039; id <= 1045; ++id) EXPECT_NE(about->control(id), nullptr) << id;
  EXPECT_NE(about->control(1), nullptr);
  const auto missing = platform::loadDialogTemplate(129);
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->caption, "Dialog");
  EXPECT_EQ(missing->fontFace, "MS Sans Serif");
  EXPECT_EQ(missing->width, 248);
  EXPECT_EQ(missing->height, 60);
  ASSERT_NE(missing->control(1), nullptr);
  EXPECT_EQ(missing->control(1)->text, "Get OpenGL 3.3");
  ASSERT_NE(missing->control(-1), nullptr);
  EXPECT_NE(missing->control(-1)->text.find("\"Get OpenGL 3.3\""), std::string::npos);
  EXPECT_FALSE(platform::loadDialogTemplate(132 + 1000));
}

TEST(DialogTemplate, MalformedTextIsRejected) {
  EXPECT_FALSE(parseDialogTemplate(""));
  EXPECT_FALSE(parseDialogTemplate("CAPTION \"x\"\n"));
  EXPECT_FALSE(parseDialogTemplate("DIALOG 1 2\n"));
  EXPECT_FALSE(parseDialogTemplate("DIALOG 1 2 x\n"));
  EXPECT_FALSE(parseDialogTemplate("DIALOG 1 2 3\nCAPTION \"open\n"));
  EXPECT_FALSE(parseDialogTemplate("DIALOG 1 2 3\nCONTROL 5 STATIC 1 2 3 \"t\"\n"));
  EXPECT_FALSE(parseDialogTemplate("DIALOG 1 2 3\nCONTROL 5 STATIC 1 2 3 99999999999 \"t\"\n"));
  EXPECT_FALSE(parseDialogTemplate("DIALOG 1 2 3\nWIDGET 5\n"));
  EXPECT_FALSE(parseDialogTemplate("DIALOG 1 2 3\nDIALOG 1 2 3\n"));
  EXPECT_FALSE(parseDialogTemplate("DIALOG 1 2 3\nCAPTION \"a\\"));
  const auto ok =
      parseDialogTemplate("; note\r\n\r\nDIALOG 7 10 20\r\nCONTROL 3 STATIC 1 2 3 4 \"say \\\"hi\\\" \\\\\"\r\n");
  ASSERT_TRUE(ok);
  EXPECT_EQ(ok->id, 7);
  ASSERT_EQ(ok->controls.size(), 1u);
  EXPECT_EQ(ok->controls[0].text, "say \"hi\" \\");
}

}  // namespace
