#pragma once
// The Windows-1252 code page: which character each byte of the small font's charset shows.
#include <cstdint>

namespace fontbake {

// The Unicode code point for a byte, or 0 for bytes that have no printable character
// (the C0 controls, DEL and the five unassigned bytes of the 0x80 row).
std::uint32_t cp1252ToUnicode(std::uint8_t byte);

}  // namespace fontbake
