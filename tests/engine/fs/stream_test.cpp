#include "engine/fs/stream.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace halcyon {
namespace {

TEST(MemoryStream, ReadsSeeksAndEndFlag) {
  const uint8_t bytes[] = {1, 2, 3, 4, 5};
  MemoryStream s;
  s.useBlock(bytes, sizeof bytes);
  ASSERT_TRUE(s.open("", Read));
  uint8_t out[8] = {};
  EXPECT_EQ(s.read(out, 3), 3u);
  EXPECT_EQ(s.read(out, 8), 2u);  // the rest, without setting the end flag
  EXPECT_FALSE(s.eof());
  EXPECT_EQ(s.read(out, 1), 0u);  // at the end
  EXPECT_TRUE(s.eof());
  EXPECT_TRUE(s.seek(5, SeekStart));  // the end itself is allowed, and clears the flag
  EXPECT_FALSE(s.eof());
  EXPECT_FALSE(s.seek(6, SeekStart));
  EXPECT_FALSE(s.seek(-1, SeekStart));
  EXPECT_EQ(s.tell(), 5);
  EXPECT_TRUE(s.seek(-2, SeekEnd));
  EXPECT_EQ(s.tell(), 3);
  EXPECT_TRUE(s.seek(-1, SeekCurrent));
  EXPECT_EQ(s.tell(), 2);
  EXPECT_FALSE(s.seek(4, SeekCurrent));
  EXPECT_EQ(s.tell(), 2);
  EXPECT_EQ(s.write(bytes, 1), 0u);  // a borrowed block is never written
  EXPECT_EQ(bytes[0], 1);
}

TEST(MemoryStream, BaseOffsetKeepsFilePositions) {
  const uint8_t part[] = {10, 11, 12, 13};
  MemoryStream s;
  s.useBlock(part, sizeof part);
  s.setBaseOffset(1000);
  s.open("", Read);
  EXPECT_EQ(s.tell(), 1000);
  ASSERT_TRUE(s.seek(1002, SeekStart));
  uint8_t b = 0;
  EXPECT_EQ(s.read(&b, 1), 1u);
  EXPECT_EQ(b, 12);
  EXPECT_EQ(s.tell(), 1003);
  EXPECT_FALSE(s.seek(999, SeekStart));
  EXPECT_FALSE(s.seek(1005, SeekStart));
}

TEST(MemoryStream, WritesGrowInSteps) {
  MemoryStream s;
  s.open("", Write);
  std::vector<uint8_t> chunk(10000, 7);
  EXPECT_EQ(s.write(chunk.data(), chunk.size()), chunk.size());
  EXPECT_EQ(s.write(chunk.data(), chunk.size()), chunk.size());
  EXPECT_EQ(s.size(), 20000);  // the bytes written, not the capacity
  ASSERT_TRUE(s.seek(2, SeekStart));
  const uint8_t x = 9;
  s.write(&x, 1);
  EXPECT_EQ(s.size(), 20000);
  std::vector<uint8_t> out = s.releaseBuffer();
  ASSERT_EQ(out.size(), 20000u);
  EXPECT_EQ(out[2], 9);
  EXPECT_EQ(out[19999], 7);
}

TEST(DiskStream, RoundTripAndFailures) {
  testsupport::TempDir dir;
  const std::string path = (dir.path() / "f.bin").string();
  DiskStream w;
  ASSERT_TRUE(w.open(path, Write));
  EXPECT_EQ(w.write("hello", 5), 5u);
  EXPECT_TRUE(w.close());

  DiskStream r;
  ASSERT_TRUE(r.open(path, Read));
  EXPECT_EQ(r.size(), 5);
  char buf[8] = {};
  EXPECT_EQ(r.read(buf, 3), 3u);
  EXPECT_EQ(r.tell(), 3);
  EXPECT_EQ(r.read(buf, 3), 0u);  // only two left: all or nothing
  EXPECT_TRUE(r.eof());
  EXPECT_TRUE(r.seek(0, SeekStart));
  EXPECT_EQ(r.read(buf, 5), 5u);
  EXPECT_EQ(std::string(buf, 5), "hello");

  DiskStream none;
  EXPECT_EQ(none.tell(), -1);
  EXPECT_TRUE(none.close());
  EXPECT_FALSE(none.open((dir.path() / "missing").string(), Read));
  EXPECT_FALSE(none.open(dir.path().string(), Read));  // a folder is not a file
  EXPECT_FALSE(none.open("/dev/null", Read));          // nor is a device
  ASSERT_EQ(mkfifo((dir.path() / "pipe").c_str(), 0600), 0);
  EXPECT_FALSE(none.open((dir.path() / "pipe").string(), Read));  // and a pipe would block
  EXPECT_FALSE(none.open(path, 0));
}

TEST(DiskStream, BackslashesSeparateFolders) {
  testsupport::TempDir dir;
  dir.write("Media/clock.udf", "x");
  DiskStream s;
  EXPECT_TRUE(s.open((dir.path() / "Media").string() + "\\clock.udf", Read));
}

}  // namespace
}  // namespace halcyon
