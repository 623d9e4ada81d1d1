#include "engine/fs/stored_archive.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/fs/archive_writer.h"
#include "engine/fs/crc32.h"
#include "tests/support/temp_dir.h"

namespace halcyon {
namespace {

std::vector<uint8_t> bytesOf(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

std::vector<uint8_t> fontCss() {
  std::vector<uint8_t> data(1600);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + 3);
  return data;
}

std::vector<uint8_t> packMedia() {
  ArchiveWriter w;
  EXPECT_TRUE(w.addDirectory("Media", 0));
  const auto css = fontCss();
  EXPECT_TRUE(w.addFile("Media\\64font.css", css.data(), css.size(), 0));
  const auto props = bytesOf("CamSpeed = 1;");
  EXPECT_TRUE(w.addFile("Media/Scene.props", props.data(), props.size(), 1700000000));
  EXPECT_TRUE(w.addFile("Media\\empty.txt", nullptr, 0, 0));
  return w.finish();
}

class Archive : public ::testing::Test {
 protected:
  void SetUp() override {
    bytes_ = packMedia();
    ASSERT_TRUE(archive_.attach(FileRef(bytes_.data(), static_cast<uint32_t>(bytes_.size()), true)));
  }
  std::string openText(const std::string& name) {
    auto s = archive_.open(name, Read);
    if (!s) return "<none>";
    std::string out(static_cast<size_t>(s->size()), '\0');
    EXPECT_TRUE(readExact(*s, out.data(), out.size()));
    return out;
  }
  std::vector<uint8_t> bytes_;
  StoredArchive archive_;
};

TEST(Crc32, StandardCheckValue) {
  EXPECT_EQ(crc32("123456789", 9), 0xCBF43926u);
  EXPECT_EQ(crc32(nullptr, 0), 0u);
  EXPECT_EQ(crc32("56789", 5, crc32("1234", 4)), 0xCBF43926u);
}

TEST(ArchiveWriterFormat, BlocksAsLaidOut) {
  const auto bytes = packMedia();
  ASSERT_GE(bytes.size(), 20u + 7u);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 7), std::string("Rar!\x1A\x07\x00", 7));
  EXPECT_EQ(bytes[7 + 2], 0x73);
  EXPECT_EQ(bytes[7 + 5], 13);
  // The first file header: the directory "Media".
  const uint8_t* h = bytes.data() + 20;
  EXPECT_EQ(h[2], 0x74);
  EXPECT_EQ(h[3] | h[4] << 8, 0x80E0);
  EXPECT_EQ(h[5] | h[6] << 8, 32 + 5);
  EXPECT_EQ(h[15], 2);   // host system
  EXPECT_EQ(h[24], 20);  // unpack version
  EXPECT_EQ(h[25], 0x30);
  EXPECT_EQ(h[28], 0x10);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(h + 32), 5), "Media");
  // The end block, with its own header CRC.
  const std::vector<uint8_t> end(bytes.end() - 7, bytes.end());
  EXPECT_EQ(end, (std::vector<uint8_t>{0xC4, 0x3D, 0x7B, 0x00, 0x40, 0x07, 0x00}));
  EXPECT_EQ(dosTime(1700000000), (uint32_t{(2023 - 1980) << 9 | 11 << 5 | 14} << 16) | (22u << 11 | 13u << 5 | 10u));
}

TEST_F(Archive, OpensEntriesByNormalisedName) {
  auto s = archive_.open("media/64FONT.CSS", Read);
  ASSERT_NE(s, nullptr);
  ASSERT_EQ(s->size(), 1600);
  std::vector<uint8_t> data(1600);
  ASSERT_TRUE(readExact(*s, data.data(), data.size()));
  EXPECT_EQ(data, fontCss());
  EXPECT_EQ(openText("MEDIA\\scene.props"), "CamSpeed = 1;");
  EXPECT_EQ(openText("Media_Scene.props"), "CamSpeed = 1;");  // "_" also matches a separator
  EXPECT_EQ(openText("Media"), "");                           // the directory entry
  EXPECT_EQ(openText("Media\\empty.txt"), "");
  EXPECT_EQ(openText("Media\\missing.txt"), "<none>");
  EXPECT_EQ(openText("Scene.props"), "<none>");
  EXPECT_TRUE(archive_.exists("anything at all"));
}

TEST_F(Archive, WriteModeStreamsAreCopies) {
  auto s = archive_.open("Media\\Scene.props", Read | Write);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->write("XX", 2), 2u);
  EXPECT_EQ(openText("Media\\Scene.props"), "CamSpeed = 1;");
}

TEST_F(Archive, ListsEntries) {
  const auto list = archive_.entries();
  ASSERT_EQ(list.size(), 4u);
  EXPECT_EQ(list[0].name, "Media");
  EXPECT_TRUE(list[0].directory());
  EXPECT_EQ(list[1].name, "Media\\64font.css");
  EXPECT_EQ(list[1].unpackedSize, 1600u);
  EXPECT_EQ(list[1].crc, crc32(fontCss().data(), 1600));
  EXPECT_EQ(list[2].name, "Media\\Scene.props");
}

// Offset of the file header of entry `index` (0 = "Media").
size_t headerAt(const std::vector<uint8_t>& bytes, int index) {
  size_t pos = 20;
  for (int i = 0; i < index; ++i) {
    const uint8_t* h = bytes.data() + pos;
    pos += static_cast<size_t>(h[5] | h[6] << 8) + (h[7] | h[8] << 8 | h[9] << 16 | static_cast<uint32_t>(h[10]) << 24);
  }
  return pos;
}

TEST(ArchiveDamage, AlteredDataFailsItsCrc) {
  auto bytes = packMedia();
  const size_t h = headerAt(bytes, 1);
  bytes[h + 32 + 16 + 100] ^= 0x01;
  StoredArchive archive;
  ASSERT_TRUE(archive.attach(FileRef(bytes.data(), static_cast<uint32_t>(bytes.size()), true)));
  EXPECT_EQ(archive.open("Media\\64font.css", Read), nullptr);
  EXPECT_NE(archive.open("Media\\Scene.props", Read), nullptr);  // the others still open
}

TEST(ArchiveDamage, UnsupportedOrLyingHeadersGiveNone) {
  const auto good = packMedia();
  const size_t h = headerAt(good, 1);
  auto with = [&](size_t at, uint8_t value) {
    auto b = good;
    b[at] = value;
    StoredArchive a;
    a.attach(FileRef(b.data(), static_cast<uint32_t>(b.size()), false));
    return a.open("Media\\64font.css", Read) != nullptr;
  };
  EXPECT_TRUE(with(h + 15, 3));      // host system is ignored
  EXPECT_FALSE(with(h + 25, 0x33));  // compressed
  EXPECT_FALSE(with(h + 24, 29));    // unpack version outside 13..20
  EXPECT_FALSE(with(h + 4, 0x00));   // no long-block flag: no data, CRC fails
  EXPECT_FALSE(with(h + 14, 0x7F));  // unpacked size beyond the data
  EXPECT_TRUE(with(h + 10, 0x7F));   // packed size beyond the archive: its own data is whole,
  auto lying = good;                 // but nothing after it can be reached
  lying[h + 10] = 0x7F;
  StoredArchive a;
  a.attach(FileRef(lying.data(), static_cast<uint32_t>(lying.size()), true));
  EXPECT_EQ(a.open("Media\\Scene.props", Read), nullptr);
  EXPECT_FALSE(with(0, 'X'));  // not the marker
}

TEST(ArchiveDamage, EveryTruncationIsSafe) {
  const auto good = packMedia();
  for (size_t n = 0; n < good.size(); ++n) {
    std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
    StoredArchive a;
    ASSERT_TRUE(a.attach(FileRef(cut.data(), static_cast<uint32_t>(cut.size()), true)));
    auto s = a.open("Media\\Scene.props", Read);
    if (s) {
      EXPECT_EQ(s->size(), 13);
    }
    a.entries();
  }
}

TEST(ArchiveFolders, PacksAFolderTreeInSortedOrder) {
  testsupport::TempDir dir;
  dir.write("media/b.txt", "bee");
  dir.write("media/a.txt", "ay");
  dir.write("media/sub/c.txt", "sea");
  ArchiveWriter w;
  std::string error;
  ASSERT_TRUE(w.packFolder(dir.path() / "media", "Media", &error)) << error;
  const auto bytes = w.finish();
  StoredArchive a;
  ASSERT_TRUE(a.attach(FileRef(bytes.data(), static_cast<uint32_t>(bytes.size()), true)));
  std::vector<std::string> names;
  for (const auto& e : a.entries()) names.push_back(e.name);
  EXPECT_EQ(names,
            (std::vector<std::string>{"Media", "Media\\a.txt", "Media\\b.txt", "Media\\sub", "Media\\sub\\c.txt"}));
  EXPECT_NE(a.open("Media/sub/c.txt", Read), nullptr);
  EXPECT_FALSE(w.packFolder(dir.path() / "nothing", "Media", &error));
  EXPECT_FALSE(w.addFile(std::string(260, 'n'), nullptr, 0, 0));
}

}  // namespace
}  // namespace halcyon
