#include "platform/resources/resources.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using platform::findResource;

TEST(Resources, EveryShippedResourceIsEmbeddedAndFoundInAnyCase) {
  const std::pair<const char*, int> expected[] = {{"MEMFILE", 147},    {"MEMFILE", 186},    {"MEMFILE", 187},
                                                  {"MEMFILE", 188},    {"MEMFILE", 189},    {"MEMFILE", 190},
                                                  {"CUSTOMDATA", 193}, {"CUSTOMDATA", 194}, {"BITMAP", 155},
                                                  {"BITMAP", 173},     {"DIALOG", 103},     {"DIALOG", 129},
                                                  {"DIALOG", 132}};
  for (const auto& [type, id] : expected) {
    const auto bytes = findResource(type, id);
    EXPECT_TRUE(bytes.found()) << type << " " << id;
    EXPECT_GT(bytes.size, 0u) << type << " " << id;
  }
  EXPECT_TRUE(findResource("CustomData", 193).found());
  EXPECT_TRUE(findResource("memfile", 147).found());
  EXPECT_EQ(findResource("CustomData", 193).data, findResource("CUSTOMDATA", 193).data);
}

TEST(Resources, UnknownTypeOrIdIsNotFound) {
  EXPECT_FALSE(findResource("MEMFILE", 193).found());
  EXPECT_FALSE(findResource("CUSTOMDATA", 147).found());
  EXPECT_FALSE(findResource("BASS", 185).found());
  EXPECT_FALSE(findResource("MEMFIL", 147).found());
  EXPECT_FALSE(findResource("", 147).found());
  EXPECT_EQ(findResource("MEMFILE", 999).size, 0u);
}

TEST(Resources, LookupInAGivenTableHandlesEmptyEntries) {
  static const unsigned char bytes[] = {1, 2, 3};
  const platform::ResourceEntry table[] = {{"Empty", 1, bytes, bytes}, {"Data", 2, bytes, bytes + 3}};
  const auto empty = platform::findResourceIn(table, "EMPTY", 1);
  EXPECT_TRUE(empty.found());
  EXPECT_EQ(empty.size, 0u);
  EXPECT_EQ(platform::findResourceIn(table, "data", 2).size, 3u);
  EXPECT_FALSE(platform::findResourceIn(table, "data", 1).found());
}

TEST(Resources, CornerImagesAreSkippedPlaceholdersExceptTheLogo) {
  EXPECT_GT(findResource("MEMFILE", 187).size, 1024u);
  for (int id : {188, 189, 190}) EXPECT_LE(findResource("MEMFILE", id).size, 1024u) << id;
}

TEST(Resources, BitmapsAreWindowsBitmaps) {
  for (int id : {155, 173}) {
    const auto text = findResource("BITMAP", id).text();
    ASSERT_GE(text.size(), 54u);
    EXPECT_EQ(text.substr(0, 2), "BM") << id;
  }
}

TEST(Resources, DefaultsAreSingleByteTextWithCrLfLines) {
  const std::string text(findResource("CUSTOMDATA", 193).text());
  bool highByte = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n') {
      ASSERT_GT(i, 0u);
      EXPECT_EQ(text[i - 1], '\r') << "bare line feed at " << i;
    }
    if (static_cast<unsigned char>(text[i]) >= 0xC0) highByte = true;
  }
  EXPECT_TRUE(highByte) << "Windows-1251 comments expected";
  EXPECT_NE(text.find("UseDktpSet"), std::string::npos);
  EXPECT_NE(text.find("GammControl"), std::string::npos);
}

TEST(Resources, CaptionsCarryEveryKeyTheProgramLooksUp) {
  const std::string text(findResource("CUSTOMDATA", 194).text());
  ASSERT_GE(text.size(), 3u);
  EXPECT_EQ(text.substr(0, 3), "\xEF\xBB\xBF");
  std::string lower;
  for (char c : text) lower.push_back((c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c);
  for (const char* key : {"screensaver_configuration",
                          "screensaver_name",
                          "video_mode_selection",
                          "use_desktop_settings",
                          "sound_control",
                          "master_volume:",
                          "enable_music",
                          "enable_sfx",
                          "graphics",
                          "gamma_control:",
                          "put_your_picture_in_the_frame",
                          "browse",
                          "path",
                          "restore_default_picture",
                          "misc_options",
                          "show_fps",
                          "show_time",
                          "24h_style",
                          "12h_style",
                          "exit_on_mouse_move",
                          "products",
                          "visit_our_official_web-site_for_more_great_3d_screensavers",
                          "visit...",
                          "about",
                          "restore_defaults",
                          "ok",
                          "cancel",
                          "about_window_text"}) {
    EXPECT_NE(lower.find("\r\n#" + std::string(key) + "#\r\n"), std::string::npos) << key;
  }
  // Seven "%"-separated parts in the about text.
  const auto at = lower.find("#about_window_text#\r\n");
  ASSERT_NE(at, std::string::npos);
  const auto line = text.substr(at + 21, text.find("\r\n", at + 21) - (at + 21));
  EXPECT_EQ(std::count(line.begin(), line.end(), '%'), 6);
}

TEST(Resources, PagesHandedBackReadTheSameAndNothingOutsideAResourceIsHandedBack) {
  const auto archive = findResource("MEMFILE", 147);
  ASSERT_GT(archive.size, 4u * 4096);
  const std::vector<uint8_t> before(archive.data, archive.data + archive.size);
  // Whole pages inside the range go; the partial pages at its ends stay.
  const std::size_t from = 1001, length = archive.size - 2002;
  const std::size_t released = platform::releaseResourcePages(archive.data + from, length);
  EXPECT_GT(released, 0u);
  EXPECT_LE(released, length);
  EXPECT_TRUE(std::equal(before.begin(), before.end(), archive.data));
  EXPECT_TRUE(std::equal(before.begin(), before.end(), archive.data)) << "read a second time";

  EXPECT_EQ(platform::releaseResourcePages(archive.data + from, archive.size), 0u) << "past the resource's end";
  EXPECT_EQ(platform::releaseResourcePages(nullptr, 4096), 0u);
  std::vector<uint8_t> own(64 * 1024, 0x5A);
  EXPECT_EQ(platform::releaseResourcePages(own.data(), own.size()), 0u);
  EXPECT_TRUE(std::all_of(own.begin(), own.end(), [](uint8_t b) { return b == 0x5A; }));
}

}  // namespace
