// Images from outside: headers that claim more than the file holds, files cut short, photos
// far larger than a texture needs, photos stored sideways and in print colours.
#include <gtest/gtest.h>
#include <zlib.h>

#include "platform/d3d9/memory_resources.h"
#include "platform/d3d9/recording.h"
#include "platform/d3dx/d3dx.h"
#include "platform/d3dx/image_decode.h"
#include "tests/platform/d3dx/image_writers.h"
#include "tests/support/recording_device.h"

namespace {

// Two colours side by side, or speckled, so that a damaged decode shows.
std::vector<D3DCOLOR> halves(UINT w, UINT h, D3DCOLOR left, D3DCOLOR right) {
  std::vector<D3DCOLOR> p(size_t{w} * h);
  for (UINT y = 0; y < h; ++y)
    for (UINT x = 0; x < w; ++x) p[size_t{y} * w + x] = x < w / 2 ? left : right;
  return p;
}
std::vector<D3DCOLOR> speckled(UINT w, UINT h) {
  std::vector<D3DCOLOR> p(size_t{w} * h);
  uint32_t state = 12345;
  for (D3DCOLOR& c : p) {
    state = state * 1103515245u + 12345u;
    c = 0xFF000000u | (state >> 8);
  }
  return p;
}

int channel(D3DCOLOR c, int shift) { return static_cast<int>((c >> shift) & 0xFF); }
void expectNear(D3DCOLOR got, D3DCOLOR want, int tolerance, const char* what) {
  for (int shift = 0; shift < 24; shift += 8)
    EXPECT_NEAR(channel(got, shift), channel(want, shift), tolerance) << what << " channel at bit " << shift;
}

TEST(ImageLimits, HeadersClaimingMoreThanTheFileHoldsAreRefused) {
  DecodedImage image;
  // An 18-byte TGA header of 8192 x 8192 texels, uncompressed and run-length.
  std::vector<uint8_t> tga = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x20, 0x00, 0x20, 32, 0x28};
  ASSERT_TRUE(readImageInfo(tga.data(), tga.size(), image)) << "the header alone reads";
  EXPECT_EQ(image.width, 8192u);
  EXPECT_FALSE(decodeImage(tga.data(), tga.size(), image));
  tga[2] = 10;
  tga.insert(tga.end(), {0xFF, 1, 2, 3, 4, 0xFF, 1, 2, 3, 4});
  EXPECT_FALSE(decodeImage(tga.data(), tga.size(), image));

  // A BMP header of 4000 x 3000 with a few rows of data.
  auto bmp = encodeBmp(speckled(40, 3), 40, 3);
  bmp[18] = 0xA0;
  bmp[19] = 0x0F;
  bmp[22] = 0xB8;
  bmp[23] = 0x0B;
  EXPECT_FALSE(decodeImage(bmp.data(), bmp.size(), image));

  // A BMP of a compression its decoder does not know, whose rows would be read as present.
  auto packed = encodeBmp(speckled(40, 3), 40, 3);
  packed[30] = 4;
  EXPECT_FALSE(decodeImage(packed.data(), packed.size(), image));

  // A GIF of 16384 x 2048 with a handful of codes: each code gives at most 4096 pixels.
  auto gif = encodeGif(std::vector<bool>(4, true), 2, 2);
  gif[6] = 0x00;
  gif[7] = 0x40;
  gif[8] = 0x00;
  gif[9] = 0x08;
  EXPECT_FALSE(decodeImage(gif.data(), gif.size(), image));

  // A PNG whose header (checksum repaired) claims 8192 x 8192 over the data of 8 x 8.
  auto png = encodePng(speckled(8, 8), 8, 8, true);
  forgePngSize(png, 8192, 8192);
  EXPECT_FALSE(decodeImage(png.data(), png.size(), image));

  // A whole, honest image past the memory budget: 6000 x 6000 in run-length packets.
  std::vector<uint8_t> big = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x70, 0x17, 0x70, 0x17, 32, 0x28};
  for (size_t packet = 0; packet < size_t{6000} * 6000 / 128; ++packet)
    big.insert(big.end(), {0xFF, 0x60, 0x40, 0x20, 0xFF});
  ASSERT_TRUE(readImageInfo(big.data(), big.size(), image));
  EXPECT_EQ(image.width, 6000u);
  EXPECT_FALSE(decodeImage(big.data(), big.size(), image));
}

TEST(ImageLimits, ImagesCutShortAreRefusedRatherThanPartlyDrawn) {
  const UINT w = 48, h = 40;
  std::vector<bool> dots(size_t{w} * h);
  for (size_t i = 0; i < dots.size(); ++i) dots[i] = (i * 7) % 3 == 0;
  const std::vector<std::pair<const char*, std::vector<uint8_t>>> images = {
      {"JPEG", encodeJpeg(speckled(w, h), w, h)},
      {"PNG", encodePng(speckled(w, h), w, h, false)},
      {"BMP", encodeBmp(speckled(w, h), w, h)},
      {"TGA", encodeTga(speckled(w, h), w, h)},
      {"RLE TGA", encodeRleTga(halves(w, h, 0xFF102030, 0xFF405060), w, h)},
      {"GIF", encodeGif(dots, w, h)}};
  for (const auto& [kind, whole] : images) {
    DecodedImage image;
    ASSERT_TRUE(decodeImage(whole.data(), whole.size(), image)) << kind << " whole";
    EXPECT_EQ(image.width, w) << kind;
    // Cut inside the picture data, well past the header.
    for (size_t keep : {whole.size() * 3 / 4, whole.size() - 12}) {
      std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(keep));
      EXPECT_FALSE(decodeImage(cut.data(), cut.size(), image)) << kind << " cut to " << keep << " of " << whole.size();
    }
  }
}

TEST(ImageLimits, LargeImagesDecodeSmallerWhenLessIsAsked) {
  DecodedImage image;
  const auto jpeg = encodeJpeg(halves(256, 128, 0xFFC02010, 0xFF1040C0), 256, 128);
  ASSERT_TRUE(decodeImage(jpeg.data(), jpeg.size(), image, DecodeRequest{64, 32}));
  EXPECT_EQ(image.width, 64u) << "a quarter scale meets 64 x 32 exactly";
  EXPECT_EQ(image.height, 32u);
  expectNear(image.pixels[16 * 64 + 8], 0xFFC02010, 6, "left half");
  expectNear(image.pixels[16 * 64 + 56], 0xFF1040C0, 6, "right half");
  ASSERT_TRUE(decodeImage(jpeg.data(), jpeg.size(), image, DecodeRequest{100, 40}));
  EXPECT_EQ(image.width, 128u) << "never below the size asked for";

  // PNG rows are averaged in blocks as they arrive: a 2 x 2 checker of black and white in
  // every block gives grey.
  std::vector<D3DCOLOR> checker(64 * 32);
  for (UINT y = 0; y < 32; ++y)
    for (UINT x = 0; x < 64; ++x) checker[y * 64 + x] = ((x + y) % 2) ? 0xFFFFFFFF : 0xFF000000;
  const auto png = encodePng(checker, 64, 32, false);
  ASSERT_TRUE(decodeImage(png.data(), png.size(), image, DecodeRequest{16, 8}));
  ASSERT_EQ(image.width, 16u);
  ASSERT_EQ(image.height, 8u);
  EXPECT_EQ(image.pixels[0], 0xFF808080u);
  EXPECT_EQ(image.pixels[16 * 8 - 1], 0xFF808080u);

  // An interlaced PNG is averaged down the same, block by block, its edge blocks short; at
  // full size it is the image itself.
  const auto noise = speckled(61, 37);
  const auto plain = encodePng(noise, 61, 37, false), interlaced = encodePng(noise, 61, 37, false, true);
  DecodedImage fromPlain;
  ASSERT_TRUE(decodeImage(plain.data(), plain.size(), fromPlain, DecodeRequest{7, 4}));
  ASSERT_TRUE(decodeImage(interlaced.data(), interlaced.size(), image, DecodeRequest{7, 4}));
  EXPECT_EQ(image.width, 8u) << "61 / 8 rounded up";
  EXPECT_EQ(image.height, 5u);
  EXPECT_EQ(image.pixels, fromPlain.pixels);
  ASSERT_TRUE(decodeImage(interlaced.data(), interlaced.size(), image));
  EXPECT_EQ(image.pixels, noise);

  // Through the texture loader: the texture has the asked size, the info the image's own.
  RecordingDirect3D9* d3d = new RecordingDirect3D9();
  IDirect3DDevice9* device = testsupport::createRecordingDevice(*d3d);
  ASSERT_NE(device, nullptr);
  IDirect3DTexture9* texture = nullptr;
  D3DXIMAGE_INFO info{};
  ASSERT_EQ(D3DXCreateTextureFromFileInMemoryEx(device, jpeg.data(), static_cast<UINT>(jpeg.size()), 64, 32, 1, 0,
                                                D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, &info,
                                                nullptr, &texture),
            D3D_OK);
  EXPECT_EQ(info.Width, 256u);
  D3DSURFACE_DESC desc{};
  texture->GetLevelDesc(0, &desc);
  EXPECT_EQ(desc.Width, 64u);
  expectNear(static_cast<MemoryTexture*>(texture)->texel(0, 60, 16), 0xFF1040C0, 6, "texture's right half");
  texture->Release();
  device->Release();
  d3d->Release();
}

TEST(ImageLimits, PhotosComeOutUprightAndInScreenColours) {
  // Stored 32 x 16, red left, blue right; orientation 6 means the camera was turned a quarter
  // to the right, so upright it is 16 x 32 with red on top.
  const auto sideways = encodeJpegOriented(halves(32, 16, 0xFFE00000, 0xFF0000E0), 32, 16, 6);
  DecodedImage image;
  ASSERT_TRUE(readImageInfo(sideways.data(), sideways.size(), image));
  EXPECT_EQ(image.width, 16u);
  EXPECT_EQ(image.height, 32u);
  ASSERT_TRUE(decodeImage(sideways.data(), sideways.size(), image));
  ASSERT_EQ(image.width, 16u);
  expectNear(image.pixels[4 * 16 + 8], 0xFFE00000, 12, "top");
  expectNear(image.pixels[28 * 16 + 8], 0xFF0000E0, 12, "bottom");

  // Where the stored top-left texel and its right-hand neighbour go under each orientation.
  struct Case {
    int orientation;
    UINT x0, y0, x1, y1;
  };
  for (const Case c : {Case{1, 0, 0, 1, 0}, Case{2, 2, 0, 1, 0}, Case{3, 2, 1, 1, 1}, Case{4, 0, 1, 1, 1},
                       Case{5, 0, 0, 0, 1}, Case{6, 1, 0, 1, 1}, Case{7, 1, 2, 1, 1}, Case{8, 0, 2, 0, 1}}) {
    DecodedImage turned;
    turned.width = 3;
    turned.height = 2;
    turned.pixels = {1, 2, 3, 4, 5, 6};
    orientImage(turned, c.orientation);
    ASSERT_EQ(turned.pixels.size(), 6u);
    EXPECT_EQ(turned.pixels[c.y0 * turned.width + c.x0], 1u) << "orientation " << c.orientation;
    EXPECT_EQ(turned.pixels[c.y1 * turned.width + c.x1], 2u) << "orientation " << c.orientation;
  }

  // Print inks: magenta and yellow make red, cyan alone a blue-green.
  const auto cmyk = encodeCmykJpeg(std::vector<uint32_t>(16 * 16, 0x00FFFF00), 16, 16);
  ASSERT_TRUE(decodeImage(cmyk.data(), cmyk.size(), image));
  expectNear(image.pixels[8 * 16 + 8], 0xFFFF0000, 6, "CMYK red");
  const auto cyan = encodeCmykJpeg(std::vector<uint32_t>(16 * 16, 0xFF000000), 16, 16);
  ASSERT_TRUE(decodeImage(cyan.data(), cyan.size(), image));
  expectNear(image.pixels[8 * 16 + 8], 0xFF00FFFF, 6, "CMYK cyan");
}

// A PNG with an eXIf chunk of the given orientation right after its header; `intact` false
// spoils the chunk's checksum, which makes the decoder drop the chunk.
std::vector<uint8_t> withPngOrientation(std::vector<uint8_t> png, int orientation, bool intact = true) {
  const std::vector<uint8_t> tiff = tiffOrientation(orientation);
  std::vector<uint8_t> chunk = {0, 0, 0, uint8_t(tiff.size()), 'e', 'X', 'I', 'f'};
  chunk.insert(chunk.end(), tiff.begin(), tiff.end());
  uLong crc = crc32(0L, chunk.data() + 4, static_cast<uInt>(chunk.size() - 4));
  if (!intact) crc ^= 1;
  for (int i = 0; i < 4; ++i) chunk.push_back(static_cast<uint8_t>(crc >> (24 - 8 * i)));
  png.insert(png.begin() + 33, chunk.begin(), chunk.end());  // after the signature and header chunk
  return png;
}

TEST(ImageLimits, PngAndTgaComeOutUprightByTheirOwnMarks) {
  // Stored 32 x 16, red left, blue right, turned a quarter to the right: upright 16 x 32.
  const auto stored = encodePng(halves(32, 16, 0xFFE00000, 0xFF0000E0), 32, 16, false);
  const auto sideways = withPngOrientation(stored, 6);
  DecodedImage image;
  ASSERT_TRUE(readImageInfo(sideways.data(), sideways.size(), image));
  EXPECT_EQ(image.width, 16u);
  EXPECT_EQ(image.height, 32u);
  ASSERT_TRUE(decodeImage(sideways.data(), sideways.size(), image));
  ASSERT_EQ(image.width, 16u);
  ASSERT_EQ(image.height, 32u);
  EXPECT_EQ(image.pixels[4 * 16 + 8], 0xFFE00000u) << "top";
  EXPECT_EQ(image.pixels[28 * 16 + 8], 0xFF0000E0u) << "bottom";
  // Asked for 4 x 8 upright, the stored image is averaged down to 8 x 4 before it is turned.
  ASSERT_TRUE(decodeImage(sideways.data(), sideways.size(), image, DecodeRequest{4, 8}));
  EXPECT_EQ(image.width, 4u);
  EXPECT_EQ(image.height, 8u);
  // A chunk with a wrong checksum is dropped by the header reading as by the decoder.
  const auto spoilt = withPngOrientation(stored, 6, false);
  ASSERT_TRUE(readImageInfo(spoilt.data(), spoilt.size(), image));
  EXPECT_EQ(image.width, 32u);
  ASSERT_TRUE(decodeImage(spoilt.data(), spoilt.size(), image));
  EXPECT_EQ(image.width, 32u);
  EXPECT_EQ(image.pixels[8 * 32 + 4], 0xFFE00000u);

  // The same stored rows of a 3 x 2 TGA under each origin corner (bits 4 and 5 of the
  // descriptor: right, top).
  const std::vector<D3DCOLOR> rows = {0xFF000001, 0xFF000002, 0xFF000003, 0xFF000004, 0xFF000005, 0xFF000006};
  struct Corner {
    uint8_t descriptor;
    std::vector<D3DCOLOR> upright;
  };
  for (const Corner& c : {Corner{0x28, {1, 2, 3, 4, 5, 6}}, Corner{0x38, {3, 2, 1, 6, 5, 4}},
                          Corner{0x08, {4, 5, 6, 1, 2, 3}}, Corner{0x18, {6, 5, 4, 3, 2, 1}}}) {
    auto tga = encodeTga(rows, 3, 2);
    tga[17] = c.descriptor;
    ASSERT_TRUE(decodeImage(tga.data(), tga.size(), image)) << int(c.descriptor);
    std::vector<D3DCOLOR> got;
    for (D3DCOLOR p : image.pixels) got.push_back(p & 0xFF);
    EXPECT_EQ(got, c.upright) << "descriptor " << int(c.descriptor);
  }
}

TEST(ImageLimits, DamagedExifBlocksLeaveTheImageAsStored) {
  const uint8_t shortBlock[] = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0};
  EXPECT_EQ(exifOrientation(shortBlock, sizeof shortBlock), 1);
  // The directory offset points past the block; then a directory claiming 65535 entries.
  uint8_t far[] = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 0xF0, 0xFF, 0xFF, 0xFF, 0, 0};
  EXPECT_EQ(exifOrientation(far, sizeof far), 1);
  uint8_t many[] = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0, 0xFF, 0xFF, 0x12, 0x01, 3, 0};
  EXPECT_EQ(exifOrientation(many, sizeof many), 1);
  uint8_t wild[] = {'E', 'x', 'i',  'f',  0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0,
                    1,   0,   0x12, 0x01, 3, 0, 1,   0,   0,  0, 9, 0, 0, 0};
  EXPECT_EQ(exifOrientation(wild, sizeof wild), 1) << "no such orientation";
  wild[24] = 8;
  EXPECT_EQ(exifOrientation(wild, sizeof wild), 8);
}

}  // namespace
