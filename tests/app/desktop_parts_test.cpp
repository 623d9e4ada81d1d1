#include "app/desktop_parts.h"

#include <gtest/gtest.h>

#include "platform/resources/dialog_template.h"

namespace {

TEST(DesktopParts, InstalledPartsCarryTheCaptions) {
  EXPECT_EQ(brassmoor::standInShellParts().captions->lookup("screensaver_name"), "");
  brassmoor::installDesktopParts();
  const brassmoor::ShellParts parts = brassmoor::standInShellParts();
  ASSERT_TRUE(parts.captions && parts.dialog && parts.input && parts.text);
  EXPECT_EQ(parts.captions->lookup("screensaver_name"), "Brassmoor");
  EXPECT_EQ(parts.captions->lookup("Screensaver_Configuration"), "Brassmoor Configuration");
  EXPECT_EQ(parts.captions->lookup("no_such_caption"), "");
  brassmoor::setDialogPartsMaker({});
}

TEST(DesktopParts, MissingRuntimeDialogPlacesItselfAndEndsWithTheButton) {
  const auto t = platform::loadDialogTemplate(129);
  ASSERT_TRUE(t);
  for (int32_t button : {platform::IDOK, platform::IDCANCEL}) {
    platform::DialogBox box(*t);
    EXPECT_EQ(brassmoor::missingRuntimeDialogProc(box, platform::WM_INITDIALOG, 0, 0), 1);
    EXPECT_EQ(box.windowRect(), (platform::PixelRect{300, 300, 390, 131}));
    brassmoor::missingRuntimeDialogProc(box, platform::WM_COMMAND, 1062, 0);
    EXPECT_FALSE(box.ended());
    brassmoor::missingRuntimeDialogProc(box, platform::WM_COMMAND, platform::makeWParam(button, platform::BN_CLICKED),
                                        0);
    EXPECT_EQ(box.result(), button);
  }
}

}  // namespace
