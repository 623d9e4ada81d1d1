#include "engine/fs/file_ref.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/fs/archive_writer.h"
#include "engine/fs/resource_source.h"
#include "engine/fs/stored_archive.h"
#include "tests/support/temp_dir.h"

namespace halcyon {
namespace {

std::string readAllOf(Stream& s) {
  std::string out(static_cast<size_t>(s.size()), '\0');
  EXPECT_TRUE(readExact(s, out.data(), out.size()));
  return out;
}

// Runs in a fresh working folder holding a media archive with one entry, and a resource
// table with that archive as MEMFILE 147 and a small text as MEMFILE 20.
class FileLayer : public ::testing::Test {
 protected:
  void SetUp() override {
    previousDir_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_.path());
    ArchiveWriter writer;
    writer.addDirectory("Media", 0);
    const std::string clock = "archive clock";
    writer.addFile("Media\\clock.UDF", reinterpret_cast<const uint8_t*>(clock.data()), clock.size(), 0);
    archiveBytes_ = writer.finish();
    previousLookup_ = setResourceLookup([this](std::string_view type, int32_t id) -> std::optional<ResourceBytes> {
      if (!sameType(type, "MEMFILE")) return std::nullopt;
      if (id == 147) return ResourceBytes{archiveBytes_.data(), static_cast<uint32_t>(archiveBytes_.size())};
      if (id == 20) return ResourceBytes{reinterpret_cast<const uint8_t*>(text_), 4};
      return std::nullopt;
    });
    ASSERT_TRUE(archive_.attach(FileRef::resource(147)));
  }
  void TearDown() override {
    setResourceLookup(previousLookup_);
    std::filesystem::current_path(previousDir_);
  }
  static bool sameType(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
      if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
        return false;
    }
    return true;
  }

  testsupport::TempDir dir_;
  std::filesystem::path previousDir_;
  std::vector<uint8_t> archiveBytes_;
  const char* text_ = "text";
  ResourceLookup previousLookup_;
  StoredArchive archive_;
};

TEST_F(FileLayer, DiskShadowsArchiveAndSourcesNarrow) {
  FileRef media(&archive_, "Media/clock.udf");
  media.sources = Disk | Archive;
  auto s = media.open(Read);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(readAllOf(*s), "archive clock");
  EXPECT_EQ(media.sources, static_cast<uint32_t>(Archive));

  dir_.write("Media/clock.udf", "disk clock");
  FileRef loose(&archive_, "Media/clock.udf");
  loose.sources = Disk | Archive;
  s = loose.open(Read);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(readAllOf(*s), "disk clock");
  EXPECT_EQ(loose.sources, static_cast<uint32_t>(Disk));
  std::filesystem::remove(dir_.path() / "Media/clock.udf");
  EXPECT_EQ(loose.open(Read), nullptr);  // narrowed to disk: the archive is not asked again
}

TEST_F(FileLayer, MemFileResourcesAndMemoryBlocks) {
  FileRef res = FileRef::resource(20 + 0x10000);  // ids are 16-bit
  res.sources |= Disk;
  auto s = res.open(Read);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(readAllOf(*s), "text");
  EXPECT_EQ(res.sources, static_cast<uint32_t>(MemFile));

  // Write mode over a resource is an independent copy.
  FileRef again = FileRef::resource(20);
  s = again.open(Read | Write);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->write("XY", 2), 2u);
  EXPECT_EQ(std::string(text_, 4), "text");

  // A missing resource falls through to disk (and a memory block is then not tried).
  dir_.write("fallback.txt", "disk");
  FileRef missing = FileRef::resource(99);
  missing.sources |= Disk | Memory;
  missing.name = "fallback.txt";
  missing.memory = reinterpret_cast<const uint8_t*>("mem");
  missing.memorySize = 3;
  s = missing.open(Read);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(readAllOf(*s), "disk");

  const char block[] = "block";
  FileRef mem(block, 5, true);
  FileBytes bytes;
  bool share = true;
  ASSERT_TRUE(mem.readAll(bytes, share));
  EXPECT_TRUE(share);
  EXPECT_EQ(bytes.data(), reinterpret_cast<const uint8_t*>(block));
  FileRef copied(block, 5, false);
  share = true;
  ASSERT_TRUE(copied.readAll(bytes, share));
  EXPECT_FALSE(share);
  EXPECT_NE(bytes.data(), reinterpret_cast<const uint8_t*>(block));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size()), "block");

  FileRef resource = FileRef::resource(20);
  share = false;
  ASSERT_TRUE(resource.readAll(bytes, share));
  EXPECT_FALSE(bytes.shared());
  FileRef nowhere("no-such-file");
  EXPECT_FALSE(nowhere.readAll(bytes, share));
}

TEST_F(FileLayer, ResolveTriesNameThenLocations) {
  dir_.write("Media/clock.udf", "disk clock");
  SearchPaths paths;
  paths.addLocation(FileRef("Media\\"));
  paths.addLocation(FileRef("Media\\"));
  EXPECT_EQ(paths.diskLocations().size(), 1u);

  FileRef clock("/clock.udf");
  ASSERT_TRUE(paths.resolve(clock));
  EXPECT_EQ(clock.name, "Media/clock.udf");
  EXPECT_EQ(clock.sources, static_cast<uint32_t>(Disk));

  dir_.write("clock.udf", "top");
  FileRef top("\\clock.udf");
  ASSERT_TRUE(paths.resolve(top));
  EXPECT_EQ(top.name, "clock.udf");

  FileRef absent("nothing.here");
  EXPECT_FALSE(paths.resolve(absent));
  EXPECT_EQ(absent.name, "nothing.here");
  EXPECT_EQ(absent.sources, static_cast<uint32_t>(Disk));

  // An absolute path on this platform resolves as written.
  const std::string absolute = (dir_.path() / "Media/clock.udf").string();
  FileRef abs(absolute);
  ASSERT_TRUE(paths.resolve(abs));
  EXPECT_EQ(abs.name, absolute);
}

TEST_F(FileLayer, AFullPathIsNeverShadowedByTheWorkingFolder) {
  // The same path spelt relative to the working folder holds another file.
  const std::filesystem::path real = dir_.path() / "photos/cat.jpg";
  dir_.write("photos/cat.jpg", "the user's cat");
  dir_.write(real.relative_path().string(), "planted");
  SearchPaths paths;
  paths.addLocation(FileRef(dir_.path().string()));
  FileRef picture(real.string());
  ASSERT_TRUE(paths.resolve(picture));
  EXPECT_EQ(picture.name, real.string());
  auto s = picture.open(Read);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(readAllOf(*s), "the user's cat");
}

TEST_F(FileLayer, MediaNamesMatchOnDiskWithoutRegardToCase) {
  dir_.write("media/CLOCK.udf", "loose clock");
  FileRef scene(&archive_, "Media/clock.UDF");
  scene.sources = Disk | Archive;
  auto s = scene.open(Read);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(readAllOf(*s), "loose clock");
  EXPECT_EQ(scene.sources, static_cast<uint32_t>(Disk));
  EXPECT_EQ(diskNameIgnoringCase("MEDIA\\clock.udf"), "media/CLOCK.udf") << "a backslash separates as in the archive";
  EXPECT_EQ(diskNameIgnoringCase("Media/nothing.udf"), "");

  // A name that lives only on disk is taken as written.
  FileRef exact("Media/clock.udf");
  EXPECT_EQ(exact.open(Read), nullptr);
  SearchPaths paths;
  paths.addLocation(FileRef("Media"));
  FileRef texture("Floor.JPG");
  dir_.write("media/floor.jpg", "loose floor");
  EXPECT_FALSE(paths.resolve(texture));
  texture.sources = Disk | Archive;
  ASSERT_TRUE(paths.resolve(texture));
  EXPECT_EQ(texture.name, "media/floor.jpg");
}

TEST_F(FileLayer, NamesKeptToLocationsNeverComeFromTheWorkingFolder) {
  // A scene's folder on disk and in the archive; a stray file of the texture's name lies in
  // the working folder.
  FileRef folder(&archive_, "Media");
  folder.sources = Disk | Archive;
  SearchPaths paths;
  paths.addLocation(folder);
  paths.keepToLocations(true);
  dir_.write("clock.udf", "stray");
  FileRef wanted;
  wanted.sources = Disk | Archive;
  wanted.name = "clock.udf";
  ASSERT_TRUE(paths.resolve(wanted));
  EXPECT_EQ(wanted.sources, static_cast<uint32_t>(Archive));
  auto s = wanted.open(Read);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(readAllOf(*s), "archive clock");

  // A loose file in the media folder wins over the archive's entry.
  dir_.write("Media/clock.udf", "loose clock");
  wanted.sources = Disk | Archive;
  wanted.name = "clock.udf";
  ASSERT_TRUE(paths.resolve(wanted));
  EXPECT_EQ(wanted.name, "Media/clock.udf");

  // A folder with no name is the working folder itself, never the root.
  SearchPaths here;
  here.addLocation(FileRef(""));
  here.keepToLocations(true);
  FileRef beside("clock.udf");
  ASSERT_TRUE(here.resolve(beside));
  EXPECT_EQ(beside.name, "clock.udf");
}

TEST_F(FileLayer, ResolveInArchivesAlwaysSucceeds) {
  FileRef carried(&archive_, "Media/none.udf");
  SearchPaths paths;
  ASSERT_TRUE(paths.resolve(carried));  // the archive says yes to every name
  EXPECT_EQ(carried.open(Read), nullptr);

  FileRef location(&archive_, "Media/");
  paths.addLocation(location);
  paths.addLocation(location);
  EXPECT_EQ(paths.archiveLocations().size(), 1u);
  FileRef bare;
  bare.sources = Archive;
  bare.name = "/clock.udf";
  ASSERT_TRUE(paths.resolve(bare));
  EXPECT_EQ(bare.archive, &archive_);
  EXPECT_EQ(bare.name, "Media/clock.udf");
  auto s = bare.open(Read);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(readAllOf(*s), "archive clock");
}

TEST(FileRefNames, DirectoryOf) {
  EXPECT_EQ(directoryPart("Media\\64font.fs"), "Media");
  EXPECT_EQ(directoryPart("64font.fs"), "");
  EXPECT_EQ(directoryPart("/64font.fs"), "");
  EXPECT_EQ(directoryPart("a/b\\c"), "a/b");

  StoredArchive archive;
  FileRef both(&archive, "Media\\64font.fs");
  both.sources |= Disk;
  const FileRef dir = both.directoryOf();
  EXPECT_EQ(dir.sources, static_cast<uint32_t>(Disk | Archive));
  EXPECT_EQ(dir.name, "Media");
  EXPECT_EQ(dir.archive, &archive);
  EXPECT_EQ(FileRef("").directoryOf().sources, 0u);
}

}  // namespace
}  // namespace halcyon
