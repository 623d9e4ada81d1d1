#include "settings/captions.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace std::string_literals;
using brassmoor::CaptionTable;

TEST(Captions, ShippedResourceNamesEveryDialogText) {
  CaptionTable t;
  ASSERT_TRUE(t.loadResource());
  EXPECT_EQ(t.lookup("screensaver_configuration"), "Brassmoor Configuration");
  EXPECT_EQ(t.lookup("screensaver_name"), "Brassmoor");
  EXPECT_EQ(t.lookup("show_fps"), "Show FPS");
  EXPECT_EQ(t.lookup("exit_on_mouse_move"), "Exit on Mouse Move");
  EXPECT_EQ(t.lookup("24h_style"), "24h format");
  EXPECT_EQ(t.lookup("visit..."), "Visit...");
  EXPECT_EQ(t.lookup("master_volume:"), "Volume");
  EXPECT_EQ(t.lookup("ok"), "OK");
  EXPECT_EQ(t.lookup("about"), "About");
  // Keys are compared in lower case whatever case the caller uses.
  EXPECT_EQ(t.lookup("Show_FPS"), "Show FPS");
  for (const std::string& line : t.aboutLines()) EXPECT_FALSE(line.empty());
  EXPECT_EQ(t.aboutLines()[5], "Copyright \u00a9 Quillmark");
}

TEST(Captions, KeyLineMayExceedTheKeyByTwoCharactersAtMost) {
  CaptionTable t;
  t.load("#Show_FPS#\r\nShow FPS\r\n#Exit#X\r\nLeave\r\n#Quit\r\nStop\r\n");
  EXPECT_EQ(t.lookup("show_fps"), "Show FPS");
  EXPECT_EQ(t.lookup("exit"), "");      // length difference 3
  EXPECT_EQ(t.lookup("quit"), "Stop");  // no closing mark: difference 1
  EXPECT_EQ(t.lookup("show_fp"), "");   // a key that is only a prefix
  EXPECT_EQ(t.lookup("missing"), "");

  CaptionTable longer;
  longer.load("#Show_FPS#x\r\nShow FPS\r\n");
  EXPECT_EQ(longer.lookup("show_fps"), "");
}

TEST(Captions, LinesAreDecodedAndSplitByTheirOwnRules) {
  CaptionTable t;
  // A byte-order mark anywhere yields nothing; carriage returns and zero bytes are dropped;
  // a byte that starts no sequence is skipped; the last line is never a key.
  t.load("\xEF\xBB\xBF#Caf\xC3\xA9#\r\nCaf\xC3\xA9 \xE2\x82\xAC\r\n#A\xEF\xBB\xBF\x80Z#\r\nx\0y\r\n#Last#"s);
  ASSERT_EQ(t.lineCount(), 5u);
  EXPECT_EQ(t.line(0), u"#caf\u00e9#");
  EXPECT_EQ(t.line(1), u"Caf\u00e9 \u20ac");
  EXPECT_EQ(t.line(2), u"#az#");
  EXPECT_EQ(t.line(3), u"xy");
  // Narrowing keeps the low byte of each character: é survives as Latin-1, € does not.
  EXPECT_EQ(t.lookup("CAF\xE9"), "Caf\xE9 \xAC");
  EXPECT_EQ(t.lookupUtf8("az"), "xy");
  EXPECT_EQ(t.lookup("last"), "");

  CaptionTable cafe;
  cafe.load("#k#\nCaf\xC3\xA9\n");
  EXPECT_EQ(cafe.lookup("k"), "Caf\xE9");
  EXPECT_EQ(brassmoor::latin1ToUtf8(cafe.lookup("k")), "Caf\xC3\xA9");
}

TEST(Captions, TruncatedSequencesAndOversizedFilesStaySafe) {
  CaptionTable cut;
  cut.load("#k#\r\nab\xE2\x82");
  ASSERT_EQ(cut.lineCount(), 2u);
  EXPECT_EQ(cut.lookup("k"), "ab");

  std::string many;
  for (int i = 0; i < 300; ++i) many += "#k" + std::to_string(i) + "#\r\nv" + std::to_string(i) + "\r\n";
  CaptionTable t;
  t.load(many);
  EXPECT_EQ(t.lineCount(), CaptionTable::kMaxLines);
  EXPECT_EQ(t.lookup("k99"), "v99");
  EXPECT_EQ(t.lookup("k100"), "");
}

TEST(Captions, AboutTextSplitsIntoSevenParts) {
  CaptionTable few;
  few.load("#about_window_text#\r\nOne%Two\r\n");
  EXPECT_EQ(few.aboutLines()[0], "One");
  EXPECT_EQ(few.aboutLines()[1], "Two");
  EXPECT_EQ(few.aboutLines()[6], "");

  CaptionTable many;
  many.load("#About_Window_Text#\r\n1%2%3%4%5%6%7%8%9\r\n");
  EXPECT_EQ(many.aboutLines()[6], "7");

  CaptionTable none;
  none.load("#about#\r\nAbout\r\n");
  for (const std::string& line : none.aboutLines()) EXPECT_EQ(line, "");
}

}  // namespace
