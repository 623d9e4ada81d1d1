#include "tools/mediac/texture_check.h"

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

namespace brassmoor::mediac {
namespace {

std::string png(int w, int h) {
  std::string b = "\x89PNG\r\n\x1a\n";
  b += std::string("\0\0\0\x0d", 4) + "IHDR";
  for (int v : {w, h}) {
    b += static_cast<char>((v >> 24) & 0xFF);
    b += static_cast<char>((v >> 16) & 0xFF);
    b += static_cast<char>((v >> 8) & 0xFF);
    b += static_cast<char>(v & 0xFF);
  }
  b += std::string("\x08\x06\0\0\0", 5);
  return b;
}

// SOI, an APP0 segment, then a baseline frame header.
std::string jpeg(int w, int h, unsigned char sof = 0xC0) {
  std::string b = "\xFF\xD8";
  b += std::string("\xFF\xE0\x00\x10JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00", 18);
  b += "\xFF";
  b += static_cast<char>(sof);
  b += std::string("\x00\x11\x08", 3);
  b += static_cast<char>(h >> 8);
  b += static_cast<char>(h & 0xFF);
  b += static_cast<char>(w >> 8);
  b += static_cast<char>(w & 0xFF);
  b += std::string("\x03\x01\x22\x00\x02\x11\x01\x03\x11\x01", 10);
  return b;
}

TEST(TextureCheck, ReadsSizesFromPngAndJpegHeaders) {
  testsupport::TempDir dir;
  auto p = imageSize(dir.write("a.png", png(256, 128)).string());
  ASSERT_TRUE(p);
  EXPECT_EQ(*p, std::make_pair(256, 128));
  auto j = imageSize(dir.write("b.jpg", jpeg(1024, 512)).string());
  ASSERT_TRUE(j);
  EXPECT_EQ(*j, std::make_pair(1024, 512));
  auto prog = imageSize(dir.write("c.jpg", jpeg(64, 32, 0xC2)).string());
  ASSERT_TRUE(prog);
  EXPECT_EQ(*prog, std::make_pair(64, 32));
  // truncated or foreign files give no size, never a read past the data
  EXPECT_FALSE(imageSize(dir.write("d.jpg", jpeg(64, 32).substr(0, 24)).string()));
  EXPECT_FALSE(imageSize(dir.write("e.png", png(8, 8).substr(0, 20)).string()));
  EXPECT_FALSE(imageSize(dir.write("f.bmp", "BM\x36\0\0\0").string()));
  EXPECT_FALSE(imageSize((dir.path() / "none.jpg").string()));
  std::string zeroLength = "\xFF\xD8\xFF\xE0";
  zeroLength += std::string("\x00\x00", 2);
  EXPECT_FALSE(imageSize(dir.write("g.jpg", zeroLength).string()));
}

TEST(TextureCheck, EveryNamedTextureMustExistWithPowerOfTwoSides) {
  testsupport::TempDir dir;
  dir.write("wood.jpg", jpeg(512, 512));
  dir.write("lm.jpg", jpeg(1024, 1024));
  dir.write("odd.png", png(300, 256));
  MediaScene s;
  s.materials.push_back({"Wood", "wood.jpg", "lm.jpg", false, "", ""});
  s.materials.push_back({"Floor", "wood.jpg", "lm.jpg", false, "", ""});
  EXPECT_EQ(textureNames(s), (std::vector<std::string>{"wood.jpg", "lm.jpg"}));
  EXPECT_TRUE(checkTextures(s, dir.path().string()).empty());
  s.materials.push_back({"Odd", "odd.png", "", false, "", ""});
  s.materials.push_back({"Gone", "gone.jpg", "", false, "", ""});
  s.materials.push_back({"Up", "../wood.jpg", "", false, "", ""});
  s.materials.push_back({"Lit", "wood.jpg", "lm.jpg", false, "flash.jpg", ""});
  auto problems = checkTextures(s, dir.path().string());
  ASSERT_EQ(problems.size(), 4u);
  EXPECT_NE(problems[0].find("300x256"), std::string::npos);
  EXPECT_NE(problems[1].find("gone.jpg"), std::string::npos);
  EXPECT_NE(problems[2].find("plain file names"), std::string::npos);
  EXPECT_NE(problems[3].find("flash.jpg"), std::string::npos);
}

}  // namespace
}  // namespace brassmoor::mediac
