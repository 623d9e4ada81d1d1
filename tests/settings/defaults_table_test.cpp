#include "settings/defaults_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using brassmoor::DefaultsTable;
using brassmoor::SaverSettings;

struct Boxes {
  std::vector<std::pair<std::string, std::string>> shown;
  brassmoor::MessageBoxFn fn() {
    return [this](const std::string& text, const std::string& caption) { shown.emplace_back(text, caption); };
  }
};

const std::string kBadFormat = "неправильный формат файла def_settings.txt";
const std::string kMissing = "Не найден параметр в файле def_settings.txt";

TEST(DefaultsTable, ShippedResourceGivesTheDocumentedDefaults) {
  Boxes boxes;
  DefaultsTable table(boxes.fn());
  ASSERT_TRUE(table.loadResource());
  SaverSettings s;
  s.UseDesktop = false;
  s.Volume = 7;
  s.PhotoPath = "/keep/me.jpg";
  table.applyTo(s);
  EXPECT_TRUE(boxes.shown.empty()) << boxes.shown.front().first;
  EXPECT_TRUE(s.UseDesktop);
  EXPECT_FALSE(s.ExitOnMM);
  EXPECT_TRUE(s.ShowTime);
  EXPECT_FALSE(s.TimeStyle);
  EXPECT_TRUE(s.Music);
  EXPECT_TRUE(s.Sound);
  EXPECT_EQ(s.Volume, 50);
  EXPECT_FALSE(s.ShowFps);
  EXPECT_EQ(s.Gamma, 0);
  EXPECT_EQ(s.Adapter, 0);
  EXPECT_EQ(s.Width, 800);
  EXPECT_EQ(s.Height, 600);
  EXPECT_EQ(s.Depth, 32);
  EXPECT_EQ(s.PhotoPath, "/keep/me.jpg");
  EXPECT_EQ(s.Lightning, 2) << "full lightning";
  EXPECT_EQ(s.Chimes, 0) << "the clock silent";
  // The shipped lines come first, in their order, then keys the saver does not read.
  ASSERT_GE(table.size(), 14u);
  EXPECT_EQ(table.pair(0).first, "ShowFPS");
  EXPECT_EQ(table.pair(12).first, "Adapter");
  EXPECT_EQ(table.lookup("language"), "eng");
}

TEST(DefaultsTable, CaseAndBlanksDoNotMatterButWordsOtherThanTrueAreZero) {
  Boxes boxes;
  DefaultsTable table(boxes.fn());
  table.parse("  Music \t=\t  TRUE ;comment\r\nSFX = yes;\r\nmusicvolume=75\r\nShowTime = False;\r\n");
  EXPECT_EQ(table.lookup("MUSIC"), "true");
  EXPECT_EQ(table.number("music"), 1);
  EXPECT_EQ(table.number("SFX"), 0);  // "yes" reads as the number 0
  EXPECT_EQ(table.number("MusicVolume"), 75);
  EXPECT_EQ(table.number("showtime"), 0);
  EXPECT_TRUE(boxes.shown.empty());
}

TEST(DefaultsTable, LaterModeKeysAreNamedAndMayBeAbsentWithoutABox) {
  Boxes boxes;
  DefaultsTable named(boxes.fn());
  named.parse("Lightning = Soft;\r\nChimes = QUARTERS;\r\n");
  SaverSettings s;
  named.applyTo(s);
  EXPECT_EQ(s.Lightning, 1);
  EXPECT_EQ(s.Chimes, 2);
  const size_t boxesBefore = boxes.shown.size();
  // An older text without them, or with a word it does not know: the record's own defaults,
  // and no box for these two.
  DefaultsTable older(boxes.fn());
  older.parse("Lightning = bright;\r\n");
  older.applyTo(s);
  EXPECT_EQ(s.Lightning, 2);
  EXPECT_EQ(s.Chimes, 0);
  for (size_t i = boxesBefore; i < boxes.shown.size(); ++i) {
    EXPECT_EQ(boxes.shown[i].second.find("lightning"), std::string::npos);
    EXPECT_EQ(boxes.shown[i].second.find("chimes"), std::string::npos);
  }
}

TEST(DefaultsTable, GammaCountsFromOneHundred) {
  DefaultsTable table;
  table.parse("GammControl = 150;\r\n");
  SaverSettings s;
  table.applyTo(s);
  EXPECT_EQ(s.Gamma, 50);
  DefaultsTable neutral;
  neutral.parse("GammControl = 100;\r\n");
  neutral.applyTo(s);
  EXPECT_EQ(s.Gamma, 0);
}

TEST(DefaultsTable, MalformedLinesShowTheBoxAndAreKept) {
  Boxes boxes;
  DefaultsTable table(boxes.fn());
  table.parse("=orphan value;\r\nNoEquals here\r\n");
  ASSERT_EQ(table.size(), 2u);
  EXPECT_EQ(table.pair(0).first, "");
  EXPECT_EQ(table.pair(0).second, "orphanvalue");
  EXPECT_EQ(table.pair(1).first, "NoEqualshere");
  EXPECT_EQ(table.pair(1).second, "NoEqualshere");
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].first, kBadFormat);
  EXPECT_EQ(boxes.shown[0].second, "");
  EXPECT_EQ(table.lookup(""), "orphanvalue");
  EXPECT_EQ(table.lookup("noequalshere"), "noequalshere");
}

TEST(DefaultsTable, MissingKeyNamesItInTheCaptionAndGivesZero) {
  Boxes boxes;
  DefaultsTable table(boxes.fn());
  table.parse("MW = 1024;\r\n");
  EXPECT_EQ(table.number("MH"), 0);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].first, kMissing);
  EXPECT_EQ(boxes.shown[0].second, "mh");
}

TEST(DefaultsTable, LineEndsAndDroppedBytes) {
  Boxes boxes;
  DefaultsTable table(boxes.fn());
  // A bare line feed does not end a line; CR alone does; CR LF LF leaves an empty line.
  // Bytes of 128 and above vanish, so a Windows-1251 comment after ";" or on its own is harmless.
  table.parse("MW = 10\nMH = 20\rMBitCount = 16\r\n\n; \xCD\xE0\xF1\xF2\xF0\xEE\xE9\xEA\xE8\r\nAda\xE0pter = 3");
  ASSERT_EQ(table.size(), 3u);
  EXPECT_EQ(table.pair(0).first, "MW");
  EXPECT_EQ(table.pair(0).second, "10MH=20");
  EXPECT_EQ(table.number("MBitCount"), 16);
  EXPECT_EQ(table.number("Adapter"), 3);
  EXPECT_TRUE(boxes.shown.empty());
}

TEST(DefaultsTable, FirstMatchWinsAndTheTableStopsAtItsCapacity) {
  DefaultsTable table;
  std::string text = "MW = 1;\r\nmw = 2;\r\n";
  for (int i = 0; i < 150; ++i) text += "K" + std::to_string(i) + " = " + std::to_string(i) + ";\r\n";
  table.parse(text);
  EXPECT_EQ(table.size(), DefaultsTable::kCapacity);
  EXPECT_EQ(table.number("MW"), 1);
  EXPECT_EQ(table.number("K97"), 97);
}

TEST(DefaultsTable, NumbersReadLikeAtoiWithoutOverflow) {
  EXPECT_EQ(brassmoor::atoiSaturating("42abc"), 42);
  EXPECT_EQ(brassmoor::atoiSaturating("-17"), -17);
  EXPECT_EQ(brassmoor::atoiSaturating("abc"), 0);
  EXPECT_EQ(brassmoor::atoiSaturating(""), 0);
  EXPECT_EQ(brassmoor::atoiSaturating("99999999999999999999"), 2147483647);
  EXPECT_EQ(brassmoor::atoiSaturating("-99999999999999999999"), -2147483647 - 1);
}

}  // namespace
