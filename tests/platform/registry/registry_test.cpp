#include "platform/registry/registry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>

#include "tests/platform/registry/scoped_config_dir.h"

namespace {

using namespace platform;
using testsupport::readFileBytes;

constexpr const char* kPath = "Software\\Quillmark\\Brassmoor";

uint32_t setDword(RegistryKey& key, const char* name, uint32_t v) {
  const uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
  return static_cast<uint32_t>(key.setValue(name, REG_DWORD, b, 4));
}

TEST(Registry, LocationFollowsOverrideThenXdgThenHome) {
  testsupport::ScopedConfigDir dir;
  EXPECT_EQ(registryFilePath(), dir.folder() / "settings.reg");
  const std::string saved = std::getenv("BRASSMOOR_CONFIG_DIR");
  unsetenv("BRASSMOOR_CONFIG_DIR");
  setenv("XDG_CONFIG_HOME", "/xdg", 1);
  EXPECT_EQ(registryFilePath(), std::filesystem::path("/xdg/brassmoor/settings.reg"));
  unsetenv("XDG_CONFIG_HOME");
  const char* home = std::getenv("HOME");
  if (home) {
    EXPECT_EQ(registryFilePath(), std::filesystem::path(home) / ".config/brassmoor/settings.reg");
  }
  setenv("BRASSMOOR_CONFIG_DIR", saved.c_str(), 1);
}

TEST(Registry, OpeningAMissingKeyCreatesFolderFileAndKey) {
  testsupport::ScopedConfigDir dir;
  ASSERT_FALSE(std::filesystem::exists(dir.file()));
  RegistryKey key;
  ASSERT_EQ(RegistryKey::create(kPath, KEY_READ, key), ERROR_SUCCESS);
  EXPECT_TRUE(key.isOpen());
  ASSERT_TRUE(std::filesystem::exists(dir.file()));
  EXPECT_NE(readFileBytes(dir.file()).find("[Software\\Quillmark\\Brassmoor]"), std::string::npos);
  uint32_t size = 4;
  uint8_t data[4];
  EXPECT_EQ(key.queryValue("Width", nullptr, data, &size), ERROR_FILE_NOT_FOUND);
}

TEST(Registry, ValuesKeepTypeAndRawBytesAcrossRuns) {
  testsupport::ScopedConfigDir dir;
  {
    RegistryKey key;
    ASSERT_EQ(RegistryKey::create(kPath, KEY_WRITE, key), ERROR_SUCCESS);
    EXPECT_EQ(setDword(key, "Gamma", static_cast<uint32_t>(-50)), 0u);
    const std::string text = "/home/a \"b\"\\c\nd\xC3\xA9";
    EXPECT_EQ(key.setValue("PhotoPath", REG_SZ, reinterpret_cast<const uint8_t*>(text.data()),
                           static_cast<uint32_t>(text.size())),
              ERROR_SUCCESS);
    const uint8_t blob[] = {0, 1, 0xff, '"', '\n'};
    EXPECT_EQ(key.setValue("Blob", REG_BINARY, blob, sizeof blob), ERROR_SUCCESS);
    const uint8_t shortDword[] = {7, 0};
    EXPECT_EQ(key.setValue("Odd", REG_DWORD, shortDword, 2), ERROR_SUCCESS);
    EXPECT_EQ(key.setValue("Empty", REG_SZ, nullptr, 0), ERROR_SUCCESS);
  }
  RegistryKey key;
  ASSERT_EQ(RegistryKey::create(kPath, KEY_READ, key), ERROR_SUCCESS);
  uint8_t buf[64];
  uint32_t type = 0, size = sizeof buf;
  ASSERT_EQ(key.queryValue("gamma", &type, buf, &size), ERROR_SUCCESS) << "names ignore case";
  EXPECT_EQ(type, REG_DWORD);
  ASSERT_EQ(size, 4u);
  int32_t gamma;
  std::memcpy(&gamma, buf, 4);
  EXPECT_EQ(gamma, -50);
  size = sizeof buf;
  ASSERT_EQ(key.queryValue("PhotoPath", &type, buf, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), size), "/home/a \"b\"\\c\nd\xC3\xA9");
  size = sizeof buf;
  ASSERT_EQ(key.queryValue("Blob", &type, buf, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_BINARY);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), size), std::string("\0\1\xff\"\n", 5));
  size = sizeof buf;
  ASSERT_EQ(key.queryValue("Odd", &type, buf, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(size, 2u);
  size = sizeof buf;
  ASSERT_EQ(key.queryValue("Empty", &type, buf, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 0u);
}

TEST(Registry, SmallBufferReportsNeededSizeAndLeavesBufferAlone) {
  testsupport::ScopedConfigDir dir;
  RegistryKey key;
  ASSERT_EQ(RegistryKey::create(kPath, KEY_READ | KEY_WRITE, key), ERROR_SUCCESS);
  const uint8_t five[] = {1, 2, 3, 4, 5};
  ASSERT_EQ(key.setValue("Width", REG_BINARY, five, 5), ERROR_SUCCESS);
  uint8_t buf[4] = {9, 9, 9, 9};
  uint32_t size = 4;
  EXPECT_EQ(key.queryValue("Width", nullptr, buf, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 5u);
  EXPECT_EQ(buf[0], 9);
  size = 0;
  EXPECT_EQ(key.queryValue("Width", nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 5u);
}

TEST(Registry, AccessRightsAreEnforced) {
  testsupport::ScopedConfigDir dir;
  RegistryKey key;
  ASSERT_EQ(RegistryKey::create(kPath, KEY_READ, key), ERROR_SUCCESS);
  EXPECT_EQ(setDword(key, "Width", 1), static_cast<uint32_t>(ERROR_ACCESS_DENIED));
  RegistryKey writer;
  ASSERT_EQ(RegistryKey::create(kPath, KEY_WRITE, writer), ERROR_SUCCESS);
  uint32_t size = 4;
  uint8_t buf[4];
  EXPECT_EQ(writer.queryValue("Width", nullptr, buf, &size), ERROR_ACCESS_DENIED);
  RegistryKey closed;
  EXPECT_EQ(closed.queryValue("Width", nullptr, buf, &size), ERROR_INVALID_HANDLE);
}

TEST(Registry, WritesKeepOtherKeysAndValuesWrittenMeanwhile) {
  testsupport::ScopedConfigDir dir;
  dir.write("[Software\\Other]\n\"Keep\"=dword:0000002a\n");
  RegistryKey first, second;
  ASSERT_EQ(RegistryKey::create(kPath, KEY_WRITE, first), ERROR_SUCCESS);
  ASSERT_EQ(RegistryKey::create(kPath, KEY_WRITE, second), ERROR_SUCCESS);
  setDword(first, "A", 1);
  setDword(second, "B", 2);
  const std::string text = readFileBytes(dir.file());
  EXPECT_NE(text.find("\"Keep\"=dword:0000002a"), std::string::npos);
  EXPECT_NE(text.find("\"A\"=dword:00000001"), std::string::npos);
  EXPECT_NE(text.find("\"B\"=dword:00000002"), std::string::npos);
  // No temporary files are left behind.
  int entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.folder())) ++entries;
  EXPECT_EQ(entries, 1);
}

uint32_t dwordOf(const RegistryKey& key, const char* name) {
  uint8_t b[4] = {};
  uint32_t size = 4;
  if (key.queryValue(name, nullptr, b, &size) != ERROR_SUCCESS || size != 4) return 0xdeadbeef;
  return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

// Each damaged line stands between two good values: both are read, the file is left as it
// is until the next write, which keeps the original as settings.reg.bad and rewrites the
// file whole and clean.
TEST(Registry, DamagedLinesAreSkippedAndTheRestKept) {
  const std::string damaged[] = {
      "\"Width\"=dword:1",  // short dword
      "\"Width\"=word:00000001",  "\"Width=dword:00000001",
      "\"W\"=hex(3):0g",          "\"W\"=hex(x):00",
      "\"W\"=sz:\"unterminated",  "\"W\"=sz:\"bad\\q\"",
      "\x01\x02 binary junk\xff", "\"Long\"=dword:" + std::string(5000, '0'),
  };
  for (const std::string& line : damaged) {
    testsupport::ScopedConfigDir dir;
    const std::string original = "[Software\\Quillmark\\Brassmoor]\r\n\"A\"=dword:00000007\r\n" + line +
                                 "\r\n\"B\"=dword:00000008\r\n";
    dir.write(original);
    RegistryKey key;
    ASSERT_EQ(RegistryKey::create(kPath, KEY_READ | KEY_WRITE, key), ERROR_SUCCESS) << line;
    EXPECT_EQ(dwordOf(key, "A"), 7u) << line;
    EXPECT_EQ(dwordOf(key, "B"), 8u) << line;
    EXPECT_EQ(readFileBytes(dir.file()), original) << "opening rewrites nothing";
    EXPECT_EQ(setDword(key, "C", 9), 0u);
    EXPECT_EQ(readFileBytes(dir.folder() / "settings.reg.bad"), original);
    const auto clean = RegistryStore::parse(readFileBytes(dir.file()));
    EXPECT_TRUE(clean.skippedLines().empty()) << line;
    ASSERT_NE(clean.findKey(kPath), nullptr);
    EXPECT_EQ(clean.findKey(kPath)->values.size(), 3u) << line;
  }
}

TEST(Registry, ValuesUnderABadOrMissingKeyLineAreSkipped) {
  auto store =
      RegistryStore::parse("\"Stray\"=dword:00000001\n[]\n\"Lost\"=dword:00000002\n[K]\n\"Kept\"=dword:00000003\n");
  EXPECT_EQ(store.skippedLines(), (std::vector<std::size_t>{1, 2, 3}));
  ASSERT_EQ(store.keys().size(), 1u);
  EXPECT_NE(store.findKey("k")->find("kept"), nullptr);
}

TEST(Registry, FileOverTheSizeCapStartsAfreshAndIsKeptAside) {
  testsupport::ScopedConfigDir dir;
  dir.write("[Software\\Quillmark\\Brassmoor]\n; " + std::string(4u << 20, 'x') + "\n");
  RegistryKey key;
  ASSERT_EQ(RegistryKey::create(kPath, KEY_WRITE, key), ERROR_SUCCESS);
  EXPECT_EQ(setDword(key, "Width", 3), 0u);
  EXPECT_GT(std::filesystem::file_size(dir.folder() / "settings.reg.bad"), 4u << 20);
  EXPECT_LT(std::filesystem::file_size(dir.file()), 1000u);
}

TEST(Registry, FileThatCannotBeReadIsNeverOpenedNorRewritten) {
  testsupport::ScopedConfigDir dir;
  std::filesystem::create_directories(dir.file());  // a folder where the file should be
  RegistryKey key;
  EXPECT_EQ(RegistryKey::create(kPath, KEY_READ, key), ERROR_CANTREAD);
  EXPECT_NE(registryLastError().find("settings.reg"), std::string::npos);
}

TEST(Registry, FileThatTurnsDamagedAfterOpeningIsKeptAside) {
  testsupport::ScopedConfigDir dir;
  RegistryKey key;
  ASSERT_EQ(RegistryKey::create(kPath, KEY_WRITE, key), ERROR_SUCCESS);
  dir.write("garbage\n");
  EXPECT_EQ(setDword(key, "Width", 3), 0u);
  EXPECT_EQ(readFileBytes(dir.folder() / "settings.reg.bad"), "garbage\n");
  EXPECT_NE(readFileBytes(dir.file()).find("\"Width\"=dword:00000003"), std::string::npos);
}

TEST(Registry, SeveralValuesGoInOneReplacementAndALinkedFileStaysLinked) {
  testsupport::ScopedConfigDir dir;
  std::filesystem::create_directories(dir.folder() / "real");
  dir.write("real/settings.reg", "[Software\\Other]\n\"Keep\"=dword:00000001\n");
  std::filesystem::create_symlink("real/settings.reg", dir.file());
  RegistryKey key;
  ASSERT_EQ(RegistryKey::create(kPath, KEY_WRITE, key), ERROR_SUCCESS);
  ASSERT_EQ(key.setValues({{"A", REG_DWORD, {1, 0, 0, 0}}, {"B", REG_SZ, {'x'}}}), ERROR_SUCCESS);
  EXPECT_TRUE(std::filesystem::is_symlink(dir.file()));
  const std::string text = readFileBytes(dir.folder() / "real/settings.reg");
  EXPECT_NE(text.find("\"Keep\"=dword:00000001"), std::string::npos);
  EXPECT_NE(text.find("\"A\"=dword:00000001\n\"B\"=sz:\"x\""), std::string::npos);
  int entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.folder() / "real")) ++entries;
  EXPECT_EQ(entries, 1) << "no temporary file is left behind";
}

TEST(Registry, UnwritableFolderFailsCreationOfAMissingKey) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
  testsupport::ScopedConfigDir dir;
  std::filesystem::create_directories(dir.folder());
  chmod(dir.folder().c_str(), 0500);
  RegistryKey key;
  EXPECT_EQ(RegistryKey::create(kPath, KEY_READ, key), ERROR_CANTWRITE);
  EXPECT_NE(registryLastError().find("Permission denied"), std::string::npos) << registryLastError();
  chmod(dir.folder().c_str(), 0700);
}

TEST(Registry, StoreTextRoundTripsAndKeysIgnoreCase) {
  auto store = RegistryStore::parse(
      "; c\r\n[Software\\A]\r\n\"x\"=dword:ffffffff\r\n\"n\\x01\"=hex(7):\r\n[software\\a]\r\n\"y\"=sz:\"\"\r\n");
  EXPECT_TRUE(store.skippedLines().empty());
  ASSERT_EQ(store.keys().size(), 1u);
  ASSERT_NE(store.findKey("SOFTWARE\\A"), nullptr);
  EXPECT_EQ(store.findKey("software\\a")->values.size(), 3u);
  auto again = RegistryStore::parse(store.serialize());
  EXPECT_EQ(again.serialize(), store.serialize());
  const auto* odd = again.findKey("Software\\A")->find("N\x01");
  ASSERT_NE(odd, nullptr);
  EXPECT_EQ(odd->type, 7u);
  EXPECT_TRUE(odd->data.empty());
}

}  // namespace
