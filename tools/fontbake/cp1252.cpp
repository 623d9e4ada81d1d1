#include "tools/fontbake/cp1252.h"

namespace fontbake {

std::uint32_t cp1252ToUnicode(std::uint8_t byte) {
  static const std::uint32_t row80[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                          0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                          0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                          0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
  if (byte < 0x20 || byte == 0x7F) return 0;
  if (byte >= 0x80 && byte < 0xA0) return row80[byte - 0x80];
  return byte;  // ASCII and the Latin-1 upper half map onto themselves
}

}  // namespace fontbake
