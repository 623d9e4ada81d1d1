#include "platform/window/bmp_image.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/resources/resources.h"

namespace {

using platform::decodeBitmap;
using platform::Image;

void put16(std::string& s, std::size_t at, uint32_t v) { s[at] = char(v), s[at + 1] = char(v >> 8); }
void put32(std::string& s, std::size_t at, uint32_t v) { put16(s, at, v & 0xFFFF), put16(s, at + 2, v >> 16); }

// A BMP file of `w` x `h` at `bpp` with the given pixel bytes (rows padded by the caller).
std::string bmp(int32_t w, int32_t h, uint16_t bpp, const std::string& pixels, const std::string& palette = "") {
  std::string s(54, '\0');
  s[0] = 'B', s[1] = 'M';
  put32(s, 2, static_cast<uint32_t>(54 + palette.size() + pixels.size()));
  put32(s, 10, static_cast<uint32_t>(54 + palette.size()));
  put32(s, 14, 40);
  put32(s, 18, static_cast<uint32_t>(w));
  put32(s, 22, static_cast<uint32_t>(h));
  put16(s, 26, 1);
  put16(s, 28, bpp);
  put32(s, 46, static_cast<uint32_t>(palette.size() / 4));
  return s + palette + pixels;
}

std::string rgbAt(const Image& i, int x, int y) {
  const auto* p = i.rgb.data() + (static_cast<std::size_t>(y) * i.width + x) * 3;
  return std::string(reinterpret_cast<const char*>(p), 3);
}

TEST(Bitmap, BottomUpAndTopDown24Bit) {
  // 2 x 2: rows of 6 bytes padded to 8; stored bottom row first.
  const std::string pixels = std::string("\x00\x00\xff\x00\xff\x00", 6) + std::string(2, '\0') +
                             std::string("\xff\x00\x00\xff\xff\xff", 6) + std::string(2, '\0');
  Image img;
  ASSERT_TRUE(decodeBitmap(reinterpret_cast<const uint8_t*>(bmp(2, 2, 24, pixels).data()), 54 + 16, img));
  EXPECT_EQ(img.width, 2);
  EXPECT_EQ(img.height, 2);
  EXPECT_EQ(rgbAt(img, 0, 1), std::string("\xff\x00\x00", 3)) << "bottom row first, BGR";
  EXPECT_EQ(rgbAt(img, 1, 1), std::string("\x00\xff\x00", 3));
  EXPECT_EQ(rgbAt(img, 0, 0), std::string("\x00\x00\xff", 3));
  EXPECT_EQ(rgbAt(img, 1, 0), std::string("\xff\xff\xff", 3));
  Image top;
  const std::string file = bmp(2, -2, 24, pixels);
  ASSERT_TRUE(decodeBitmap(reinterpret_cast<const uint8_t*>(file.data()), file.size(), top));
  EXPECT_EQ(rgbAt(top, 0, 0), std::string("\xff\x00\x00", 3));
}

TEST(Bitmap, PalettedAndBareDib) {
  const std::string palette = std::string("\x00\x00\x00\x00\x10\x20\x30\x00", 8);
  const std::string pixels = std::string("\x40\x00\x00\x00", 4);  // 1 bpp: pixel 0 = 0, pixel 1 = 1
  const std::string file = bmp(2, 1, 1, pixels, palette);
  Image img;
  ASSERT_TRUE(decodeBitmap(reinterpret_cast<const uint8_t*>(file.data()), file.size(), img));
  EXPECT_EQ(rgbAt(img, 0, 0), std::string("\x00\x00\x00", 3));
  EXPECT_EQ(rgbAt(img, 1, 0), std::string("\x30\x20\x10", 3));
  Image dib;  // the same without the 14-byte file header, as module resources keep it
  ASSERT_TRUE(decodeBitmap(reinterpret_cast<const uint8_t*>(file.data()) + 14, file.size() - 14, dib));
  EXPECT_EQ(dib.rgb, img.rgb);
}

TEST(Bitmap, ShippedBitmapsDecode) {
  for (int id : {155, 173}) {
    const auto bytes = platform::findResource("BITMAP", id);
    Image img;
    EXPECT_TRUE(decodeBitmap(bytes.data, bytes.size, img)) << id;
  }
  const auto preview = platform::findResource("BITMAP", 173);
  Image img;
  ASSERT_TRUE(decodeBitmap(preview.data, preview.size, img));
  EXPECT_EQ(img.width, 152);
  EXPECT_EQ(img.height, 112);
}

TEST(Bitmap, HostileHeadersAreRejected) {
  const std::string good = bmp(2, 2, 24, std::string(16, '\x7f'));
  auto fails = [](std::string s) {
    Image img;
    img.width = 99;
    const bool ok = decodeBitmap(reinterpret_cast<const uint8_t*>(s.data()), s.size(), img);
    return !ok && img.width == 99;
  };
  EXPECT_TRUE(fails(""));
  EXPECT_TRUE(fails("BM"));
  EXPECT_TRUE(fails(good.substr(0, good.size() - 1))) << "truncated pixels";
  std::string s = good;
  put32(s, 10, 1u << 30);
  EXPECT_TRUE(fails(s)) << "pixel offset past the end";
  s = good;
  put32(s, 18, 0x7fffffff);
  EXPECT_TRUE(fails(s)) << "huge width";
  s = good;
  put32(s, 22, 0x80000000u);
  EXPECT_TRUE(fails(s)) << "most negative height";
  s = good;
  put32(s, 14, 0xffffff00u);
  EXPECT_TRUE(fails(s)) << "header size";
  s = good;
  put16(s, 28, 7);
  EXPECT_TRUE(fails(s)) << "bit depth";
  s = good;
  put32(s, 30, 1);
  EXPECT_TRUE(fails(s)) << "run-length compression";
  s = bmp(2, 1, 8, std::string(4, '\0'), std::string(8, '\0'));
  put32(s, 46, 4096);
  EXPECT_TRUE(fails(s)) << "palette larger than the depth allows";
  EXPECT_FALSE(decodeBitmap(nullptr, 10, *std::make_unique<Image>()));
}

TEST(Bitmap, PaletteIndexBeyondTheUsedColoursIsBlack) {
  const std::string file = bmp(1, 1, 8, std::string("\x05\x00\x00\x00", 4), std::string("\x10\x20\x30\x00", 4));
  Image img;
  ASSERT_TRUE(decodeBitmap(reinterpret_cast<const uint8_t*>(file.data()), file.size(), img));
  EXPECT_EQ(rgbAt(img, 0, 0), std::string("\x00\x00\x00", 3));
}

}  // namespace
