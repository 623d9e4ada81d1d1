#pragma once
// The key-to-character table: which scan codes type a character, and which. Entries above
// 251 are the three control keys (Escape 252, Backspace 253, Enter 254); 255 is "nothing".
#include <cstdint>

namespace halcyon {

constexpr uint16_t kNoCharacter = 255;
constexpr uint16_t kEscapeCharacter = 252;
constexpr uint16_t kBackspaceCharacter = 253;
constexpr uint16_t kEnterCharacter = 254;

uint16_t characterOf(uint8_t scanCode);
bool isPrintable(uint8_t scanCode);

}  // namespace halcyon
