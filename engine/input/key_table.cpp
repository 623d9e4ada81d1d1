#include "engine/input/key_table.h"

#include <array>

namespace halcyon {
namespace {

constexpr std::array<uint16_t, 256> buildTable() {
  std::array<uint16_t, 256> t{};
  t.fill(kNoCharacter);
  const char digits[] = "123456789";
  for (int i = 0; i < 9; ++i) t[2 + i] = static_cast<uint16_t>(digits[i]);
  t[11] = '0';
  const char top[] = "qwertyuiop";
  for (int i = 0; i < 10; ++i) t[16 + i] = static_cast<uint16_t>(top[i]);
  const char home[] = "asdfghjkl";
  for (int i = 0; i < 9; ++i) t[30 + i] = static_cast<uint16_t>(home[i]);
  const char bottom[] = "zxcvbnm";
  for (int i = 0; i < 7; ++i) t[44 + i] = static_cast<uint16_t>(bottom[i]);
  t[51] = ',';
  t[52] = '.';
  // The key at 53 types ";" here (the layout the table was drawn up for), not "/".
  t[53] = ';';
  t[57] = ' ';
  t[1] = kEscapeCharacter;
  t[14] = kBackspaceCharacter;
  t[28] = kEnterCharacter;
  return t;
}

constexpr auto kTable = buildTable();

}  // namespace

uint16_t characterOf(uint8_t scanCode) { return kTable[scanCode]; }

bool isPrintable(uint8_t scanCode) { return kTable[scanCode] <= 251; }

}  // namespace halcyon
