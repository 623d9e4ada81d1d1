#include "platform/resources/dialog_template.h"

#include <gtest/gtest.h>

namespace {

using platform::parseDialogTemplate;

TEST(DialogTemplate, SettingsDialogCarriesItsLayout) {
  const auto dialog = platform::loadDialogTemplate(132);
  ASSERT_TRUE(dialog);
  EXPECT_EQ(dialog->width, 382);
  EXPECT_EQ(dialog->height, 263);
  EXPECT_EQ(dialog->fontPoints, 8);
  EXPECT_EQ(dialog->controls.size(), 30u);
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
  const auto* picture = dialog->control(-1);
  ASSERT_NE(picture, nullptr);
  EXPECT_EQ(picture->kind, "BITMAP");
  EXPECT_EQ(picture->text, "#155");
  ASSERT_NE(dialog->control(1), nullptr);
  EXPECT_EQ(dialog->control(1)->y, 242);
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
  EXPECT_EQ(missing->control(1)->text, "Download DirectX 9");
  ASSERT_NE(missing->control(-1), nullptr);
  EXPECT_NE(missing->control(-1)->text.find("\"Download DirectX 9\""), std::string::npos);
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
  const auto ok = parseDialogTemplate("; note\r\n\r\nDIALOG 7 10 20\r\nCONTROL 3 STATIC 1 2 3 4 \"say \\\"hi\\\" \\\\\"\r\n");
  ASSERT_TRUE(ok);
  EXPECT_EQ(ok->id, 7);
  ASSERT_EQ(ok->controls.size(), 1u);
  EXPECT_EQ(ok->controls[0].text, "say \"hi\" \\");
}

}  // namespace
