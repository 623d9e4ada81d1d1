#include "platform/dialog/dialog_box.h"

#include <gtest/gtest.h>

namespace {

using namespace platform;

DialogTemplate smallTemplate() {
  auto t = parseDialogTemplate(
      "DIALOG 7 100 50\n"
      "CONTROL 10 EDIT 3 5 41 7 \"\" ES_READONLY\n"
      "CONTROL 11 TRACKBAR 44 5 40 10 \"\"\n"
      "CONTROL 12 COMBOBOX 3 20 80 60 \"\"\n"
      "CONTROL -1 BITMAP 0 30 10 10 \"#155\"\n");
  EXPECT_TRUE(t);
  return *t;
}

TEST(DialogBox, DialogUnitsBecomePixelsEdgeByEdge) {
  // Both edges round on their own, so touching controls still touch.
  EXPECT_EQ(dialogUnitsToPixels(3, 5, 41, 7, {6, 13}), (PixelRect{5, 8, 61, 12}));
  EXPECT_EQ(dialogUnitsToPixels(44, 5, 40, 10, {6, 13}).x, 66);
  EXPECT_EQ(dialogUnitsToPixels(0, 0, 382, 263, {7, 15}), (PixelRect{0, 0, 669, 493}));
  DialogBox box(smallTemplate(), {6, 13});
  EXPECT_EQ(box.clientRect(), (PixelRect{0, 0, 150, 81}));
  EXPECT_TRUE(box.item(10)->hasStyle("ES_READONLY"));
  EXPECT_EQ(box.item(-1), nullptr) << "controls without an id cannot be addressed";
  EXPECT_EQ(box.items().back().bitmap, "#155");
}

TEST(DialogBox, ControlStateStaysConsistent) {
  DialogBox box(smallTemplate());
  // Text is cut by characters and never inside a UTF-8 sequence.
  box.setItemText(10, "\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(box.itemText(10, 2), "\xC3\xA9t");
  EXPECT_EQ(box.itemText(10, 0), "");
  EXPECT_FALSE(box.setItemText(99, "x"));
  EXPECT_EQ(box.itemText(99), "");

  box.setTrackRange(11, 100, -100);
  box.setTrackPosition(11, -300);
  EXPECT_EQ(box.trackPosition(11), -100);
  box.setTrackRange(11, 0, 10);
  EXPECT_EQ(box.trackPosition(11), 0);

  EXPECT_EQ(box.addListEntry(12, "a"), 0);
  EXPECT_EQ(box.addListEntry(12, "b"), 1);
  box.setListEntryData(12, 1, 42);
  box.setListEntryData(12, 5, 7);  // no such entry: ignored
  EXPECT_EQ(box.listEntryData(12, 1), 42);
  EXPECT_EQ(box.listEntryData(12, 5), -1);
  EXPECT_EQ(box.findListEntry(12, "b"), 1);
  box.setListSelection(12, 9);
  EXPECT_EQ(box.listSelection(12), -1);
  box.setListSelection(12, 1);
  box.resetList(12);
  EXPECT_EQ(box.listSelection(12), -1);
  EXPECT_EQ(box.addListEntry(99, "x"), -1);

  EXPECT_FALSE(box.ended());
  box.endDialog(2);
  EXPECT_TRUE(box.ended());
  EXPECT_EQ(box.result(), 2);
}

}  // namespace
