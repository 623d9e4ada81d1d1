// Any bytes given to the image decoders give an image whose pixel count matches its size, or
// a clean refusal; the header reader agrees with the decoder on the size, and a decode asked
// for less never comes out smaller than asked or larger than the image.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/d3dx/image_decode.h"
#include "platform/d3dx/mip_chain.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  DecodedImage info, image;
  const bool known = readImageInfo(data, size, info);
  if (decodeImage(data, size, image)) {
    if (image.pixels.size() != static_cast<size_t>(image.width) * image.height) std::abort();
    if (!known || info.width != image.width || info.height != image.height) std::abort();
    // Small images also go through the resizer and the mip builder.
    if (image.width <= 64 && image.height <= 64) {
      const auto bigger = resizeImage(image.pixels, image.width, image.height, image.width * 2 + 1, image.height + 3,
                                      D3DX_FILTER_LINEAR);
      UINT w = 0, h = 0;
      const auto half = nextMipLevel(bigger, image.width * 2 + 1, image.height + 3, w, h, D3DX_FILTER_BOX);
      if (half.size() != static_cast<size_t>(w) * h) std::abort();
    }
  }
  if (known) {
    const DecodeRequest smaller{info.width / 3 + 1, info.height / 3 + 1};
    DecodedImage reduced;
    if (decodeImage(data, size, reduced, smaller)) {
      if (reduced.pixels.size() != static_cast<size_t>(reduced.width) * reduced.height) std::abort();
      if (reduced.width > info.width || reduced.height > info.height) std::abort();
    }
  }
  exifOrientation(data, size);
  return 0;
}
