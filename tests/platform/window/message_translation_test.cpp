#include "platform/window/message_translation.h"

#include <SDL.h>
#include <gtest/gtest.h>

namespace {

using namespace platform;

std::vector<WindowMessage> translate(const SDL_Event& e, uint32_t window = 7) {
  std::vector<WindowMessage> out;
  translateSdlEvent(e, window, out);
  return out;
}

SDL_Event key(uint32_t type, SDL_Scancode scancode, bool repeat = false) {
  SDL_Event e{};
  e.type = type;
  e.key.windowID = 7;
  e.key.keysym.scancode = scancode;
  e.key.repeat = repeat ? 1 : 0;
  return e;
}

TEST(MessageTranslation, KeysBecomeKeyMessagesWithVirtualKeyCodes) {
  auto down = translate(key(SDL_KEYDOWN, SDL_SCANCODE_ESCAPE));
  ASSERT_EQ(down.size(), 1u);
  EXPECT_EQ(down[0].message, WM_KEYDOWN);
  EXPECT_EQ(down[0].wParam, VK_ESCAPE);
  EXPECT_EQ(down[0].lParam & 0xFFFF, 1);
  EXPECT_EQ(down[0].lParam & (1 << 30), 0);
  auto repeat = translate(key(SDL_KEYDOWN, SDL_SCANCODE_F3, true));
  EXPECT_EQ(repeat[0].wParam, VK_F3);
  EXPECT_NE(repeat[0].lParam & (1 << 30), 0) << "a repeat says the key was down";
  auto up = translate(key(SDL_KEYUP, SDL_SCANCODE_SPACE));
  EXPECT_EQ(up[0].message, WM_KEYUP);
  EXPECT_EQ(up[0].wParam, VK_SPACE);
  // Alt is a plain key here: every key ends the saver.
  EXPECT_EQ(translate(key(SDL_KEYDOWN, SDL_SCANCODE_LALT))[0].message, WM_KEYDOWN);
  EXPECT_TRUE(translate(key(SDL_KEYDOWN, SDL_SCANCODE_A), 8).empty()) << "other windows' keys";
}

TEST(MessageTranslation, VirtualKeyTable) {
  EXPECT_EQ(virtualKeyFromSdlScancode(SDL_SCANCODE_A), uint32_t('A'));
  EXPECT_EQ(virtualKeyFromSdlScancode(SDL_SCANCODE_Z), uint32_t('Z'));
  EXPECT_EQ(virtualKeyFromSdlScancode(SDL_SCANCODE_1), uint32_t('1'));
  EXPECT_EQ(virtualKeyFromSdlScancode(SDL_SCANCODE_0), uint32_t('0'));
  EXPECT_EQ(virtualKeyFromSdlScancode(SDL_SCANCODE_F1), VK_F1);
  EXPECT_EQ(virtualKeyFromSdlScancode(SDL_SCANCODE_F2), VK_F2);
  EXPECT_EQ(virtualKeyFromSdlScancode(SDL_SCANCODE_F6), VK_F6);
  EXPECT_EQ(virtualKeyFromSdlScancode(SDL_SCANCODE_F12), VK_F12);
  EXPECT_EQ(virtualKeyFromSdlScancode(SDL_SCANCODE_KP_0), VK_NUMPAD0);
  EXPECT_EQ(virtualKeyFromSdlScancode(SDL_SCANCODE_KP_9), VK_NUMPAD0 + 9);
  EXPECT_EQ(virtualKeyFromSdlScancode(SDL_SCANCODE_RSHIFT), VK_SHIFT);
  EXPECT_EQ(virtualKeyFromSdlScancode(SDL_SCANCODE_UP), VK_UP);
  EXPECT_EQ(virtualKeyFromSdlScancode(SDL_SCANCODE_SEMICOLON), VK_OEM_1);
}

TEST(MessageTranslation, MouseMessagesCarryPositionAndButtons) {
  SDL_Event e{};
  e.type = SDL_MOUSEMOTION;
  e.motion.windowID = 7;
  e.motion.x = 300;
  e.motion.y = -2;
  e.motion.state = SDL_BUTTON_LMASK;
  auto move = translate(e);
  ASSERT_EQ(move.size(), 1u);
  EXPECT_EQ(move[0].message, WM_MOUSEMOVE);
  EXPECT_EQ(xFromLParam(move[0].lParam), 300);
  EXPECT_EQ(yFromLParam(move[0].lParam), -2);
  EXPECT_EQ(move[0].wParam & MK_LBUTTON, MK_LBUTTON);
  SDL_Event b{};
  b.type = SDL_MOUSEBUTTONDOWN;
  b.button.windowID = 7;
  b.button.button = SDL_BUTTON_RIGHT;
  b.button.x = 5;
  b.button.y = 6;
  auto down = translate(b);
  ASSERT_EQ(down.size(), 1u);
  EXPECT_EQ(down[0].message, WM_RBUTTONDOWN);
  EXPECT_EQ(down[0].lParam, makeLParam(5, 6));
  b.type = SDL_MOUSEBUTTONUP;
  b.button.button = SDL_BUTTON_LEFT;
  EXPECT_EQ(translate(b)[0].message, WM_LBUTTONUP);
}

TEST(MessageTranslation, WindowEventsAndQuit) {
  SDL_Event e{};
  e.type = SDL_WINDOWEVENT;
  e.window.windowID = 7;
  e.window.event = SDL_WINDOWEVENT_CLOSE;
  auto close = translate(e);
  ASSERT_EQ(close.size(), 1u);
  EXPECT_EQ(close[0].message, WM_SYSCOMMAND);
  EXPECT_EQ(close[0].wParam, SC_CLOSE);
  e.window.event = SDL_WINDOWEVENT_FOCUS_LOST;
  auto lost = translate(e);
  ASSERT_EQ(lost.size(), 2u);
  EXPECT_EQ(lost[0].message, WM_ACTIVATE);
  EXPECT_EQ(lost[0].wParam, WA_INACTIVE);
  EXPECT_EQ(lost[1].message, WM_KILLFOCUS);
  e.window.event = SDL_WINDOWEVENT_SIZE_CHANGED;
  e.window.data1 = 1920;
  e.window.data2 = 1080;
  auto size = translate(e);
  ASSERT_EQ(size.size(), 1u);
  EXPECT_EQ(size[0].message, WM_SIZE);
  EXPECT_EQ(size[0].wParam, SIZE_RESTORED);
  EXPECT_EQ(size[0].lParam, makeLParam(1920, 1080));
  e.window.event = SDL_WINDOWEVENT_EXPOSED;
  EXPECT_EQ(translate(e)[0].message, WM_PAINT);
  SDL_Event quit{};
  quit.type = SDL_QUIT;
  EXPECT_EQ(translate(quit)[0].message, WM_CLOSE) << "a signal or the session ends the run";
}

TEST(MessageTranslation, TextInputBecomesCharacters) {
  SDL_Event e{};
  e.type = SDL_TEXTINPUT;
  e.text.windowID = 7;
  std::snprintf(e.text.text, sizeof e.text.text, "a\xD0\xAF\xF0\x9F\x98\x80\xFF");
  auto chars = translate(e);
  ASSERT_EQ(chars.size(), 2u) << "characters beyond 16 bits and stray bytes are dropped";
  EXPECT_EQ(chars[0].wParam, uint64_t('a'));
  EXPECT_EQ(chars[1].wParam, 0x042Fu);
}

}  // namespace
