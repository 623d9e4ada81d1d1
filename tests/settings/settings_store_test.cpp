#include "settings/settings_store.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "platform/registry/registry.h"
#include "tests/platform/registry/scoped_config_dir.h"
#include "tests/support/trace_capture.h"

namespace {

using brassmoor::SaverSettings;
using namespace platform;

void put(const char* name, uint32_t type, std::string bytes) {
  RegistryKey key;
  ASSERT_EQ(RegistryKey::create(brassmoor::kSettingsKeyPath, KEY_WRITE, key), ERROR_SUCCESS);
  ASSERT_EQ(key.setValue(name, type, reinterpret_cast<const uint8_t*>(bytes.data()),
                         static_cast<uint32_t>(bytes.size())),
            ERROR_SUCCESS);
}

std::string le(uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }

TEST(SettingsStore, FirstRunCreatesAnEmptyKeyAndKeepsTheDefaults) {
  testsupport::ScopedConfigDir dir;
  SaverSettings s;
  s.Width = 1234;
  ASSERT_TRUE(brassmoor::loadSettingsFromRegistry(s));
  EXPECT_EQ(s.Width, 1234);
  EXPECT_TRUE(std::filesystem::exists(dir.file()));
  RegistryKey key;
  ASSERT_EQ(RegistryKey::create(brassmoor::kSettingsKeyPath, KEY_READ, key), ERROR_SUCCESS);
  uint32_t size = 0;
  EXPECT_EQ(key.queryValue("Width", nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
}

TEST(SettingsStore, SaveThenLoadRestoresEveryField) {
  testsupport::ScopedConfigDir dir;
  SaverSettings saved;
  saved.UseDesktop = false;
  saved.ExitOnMM = true;
  saved.ShowTime = false;
  saved.TimeStyle = true;
  saved.Music = false;
  saved.Sound = false;
  saved.Volume = 13;
  saved.ShowFps = true;
  saved.Gamma = -40;
  saved.Adapter = 2;
  saved.Width = 1024;
  saved.Height = 768;
  saved.Depth = 16;
  saved.PhotoPath = "/home/user/Pictures/cat.jpg";
  saved.Lightning = 0;
  saved.Chimes = 2;
  ASSERT_TRUE(brassmoor::saveSettingsToRegistry(saved));
  SaverSettings loaded;
  ASSERT_TRUE(brassmoor::loadSettingsFromRegistry(loaded));
  EXPECT_EQ(loaded, saved);
  // Booleans are stored as 0 or 1 and everything as a 4-byte REG_DWORD except the path.
  const std::string text = testsupport::readFileBytes(dir.file());
  EXPECT_NE(text.find("\"ExitOnMM\"=dword:00000001"), std::string::npos);
  EXPECT_NE(text.find("\"Gamma\"=dword:ffffffd8"), std::string::npos);
  EXPECT_NE(text.find("\"Chimes\"=dword:00000002"), std::string::npos);
  EXPECT_NE(text.find("\"PhotoPath\"=sz:\"/home/user/Pictures/cat.jpg\""), std::string::npos);
}

TEST(SettingsStore, FourByteRuleForNumbersAndBooleans) {
  testsupport::ScopedConfigDir dir;
  put("Width", REG_SZ, le(1280));  // other type, exactly 4 bytes: taken raw
  put("Height", REG_BINARY, le(720));
  put("Depth", REG_BINARY, le(16) + "x");                // longer: ignored
  put("Volume", REG_DWORD, "\x05\x00");                  // shorter: treated as missing
  put("Music", REG_BINARY, std::string("\0\0\0\1", 4));  // any non-zero byte is true
  put("Sound", REG_DWORD, le(0));
  SaverSettings s;
  s.Music = false;
  ASSERT_TRUE(brassmoor::loadSettingsFromRegistry(s));
  EXPECT_EQ(s.Width, 1280);
  EXPECT_EQ(s.Height, 720);
  EXPECT_EQ(s.Depth, 32);
  EXPECT_EQ(s.Volume, 50);
  EXPECT_TRUE(s.Music);
  EXPECT_FALSE(s.Sound);
}

TEST(SettingsStore, PhotoPathIsTakenUpToItsFirstZeroAndOnlyWhenItFits) {
  testsupport::ScopedConfigDir dir;
  put("PhotoPath", REG_SZ, std::string("/a/b.png\0junk", 13));
  SaverSettings s;
  ASSERT_TRUE(brassmoor::loadSettingsFromRegistry(s));
  EXPECT_EQ(s.PhotoPath, "/a/b.png");
  // Whole paths up to the system's limit, well past the old 255 bytes.
  const std::string deep = "/home/me/" + std::string(brassmoor::kPhotoPathMaxBytes - 9, 'p');
  put("PhotoPath", REG_SZ, deep);
  ASSERT_TRUE(brassmoor::loadSettingsFromRegistry(s));
  EXPECT_EQ(s.PhotoPath, deep);
  put("PhotoPath", REG_SZ, deep + "q");  // too long: kept as it was
  ASSERT_TRUE(brassmoor::loadSettingsFromRegistry(s));
  EXPECT_EQ(s.PhotoPath, deep);
  SaverSettings saved;
  saved.PhotoPath = deep;
  ASSERT_TRUE(brassmoor::saveSettingsToRegistry(saved));
  SaverSettings loaded;
  ASSERT_TRUE(brassmoor::loadSettingsFromRegistry(loaded));
  EXPECT_EQ(loaded.PhotoPath, deep);
}

TEST(SettingsStore, NumbersOutsideTheirRangeAreIgnored) {
  testsupport::ScopedConfigDir dir;
  put("Gamma", REG_DWORD, le(0x80000000u));
  put("Width", REG_DWORD, le(0x7fffffff));
  put("Height", REG_DWORD, le(0));
  put("Volume", REG_DWORD, le(101));
  put("Depth", REG_DWORD, le(static_cast<uint32_t>(-16)));
  put("Adapter", REG_DWORD, le(static_cast<uint32_t>(-1)));
  put("ShowFps", REG_DWORD, le(0x7fffffff));  // a flag: any non-zero value is true
  SaverSettings s;
  ASSERT_TRUE(brassmoor::loadSettingsFromRegistry(s));
  SaverSettings expected;
  expected.ShowFps = true;
  EXPECT_EQ(s, expected);
  // The edges of each range are taken.
  put("Gamma", REG_DWORD, le(static_cast<uint32_t>(-100)));
  put("Volume", REG_DWORD, le(100));
  put("Width", REG_DWORD, le(640));
  ASSERT_TRUE(brassmoor::loadSettingsFromRegistry(s));
  EXPECT_EQ(s.Gamma, -100);
  EXPECT_EQ(s.Volume, 100);
  EXPECT_EQ(s.Width, 640);
}

TEST(SettingsStore, OneBadLineKeepsEveryOtherValueAndTheNextSaveMendsTheFile) {
  testsupport::ScopedConfigDir dir;
  const std::string original =
      "[Software\\Quillmark\\Brassmoor]\n\"ShowFps\"=dword:1\n\"ExitOnMM\"=dword:00000001\n"
      "\"Volume\"=dword:00000011\n";
  dir.write(original);
  SaverSettings s;
  ASSERT_TRUE(brassmoor::loadSettingsFromRegistry(s));
  EXPECT_TRUE(s.ExitOnMM);
  EXPECT_EQ(s.Volume, 17);
  EXPECT_FALSE(s.ShowFps);
  ASSERT_TRUE(brassmoor::saveSettingsToRegistry(s));
  EXPECT_EQ(testsupport::readFileBytes(dir.folder() / "settings.reg.bad"), original);
  EXPECT_TRUE(RegistryStore::parse(testsupport::readFileBytes(dir.file())).skippedLines().empty());
  SaverSettings again;
  ASSERT_TRUE(brassmoor::loadSettingsFromRegistry(again));
  EXPECT_EQ(again, s);
}

TEST(SettingsStore, AHugeFileLoadsValueByValue) {
  // 150,000 values, under the size cap: every one is indexed once, not searched for.
  testsupport::ScopedConfigDir dir;
  std::string text = "[Software\\Quillmark\\Brassmoor]\n";
  for (int i = 0; i < 150000; ++i) text += "\"V" + std::to_string(i) + "\"=dword:00000001\n";
  text += "\"Volume\"=dword:00000009\n";
  dir.write(text);
  SaverSettings s;
  ASSERT_TRUE(brassmoor::loadSettingsFromRegistry(s));
  EXPECT_EQ(s.Volume, 9);
}

TEST(SettingsStore, UnreadableStoreKeepsDefaultsLogsAndIsLeftAlone) {
  testsupport::ScopedConfigDir dir;
  std::filesystem::create_directories(dir.file());  // nothing can read a folder as the file
  testsupport::TraceCapture trace;
  SaverSettings s;
  EXPECT_FALSE(brassmoor::loadSettingsFromRegistry(s));
  EXPECT_EQ(s, SaverSettings());
  EXPECT_TRUE(trace.contains("Registry Failed\n"));
  EXPECT_FALSE(brassmoor::saveSettingsToRegistry(s));
  EXPECT_TRUE(std::filesystem::is_directory(dir.file()));
}

}  // namespace
