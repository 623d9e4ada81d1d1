#include "platform/dinput/dinput.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <vector>

#include "platform/dinput/dik_codes.h"

namespace {

using namespace dinput;

struct Devices {
  Devices() {
    di = DirectInput8Create(DIRECTINPUT_VERSION);
    keyboard = di->CreateDevice(DeviceClass::Keyboard);
    mouse = di->CreateDevice(DeviceClass::Mouse);
    DIDATAFORMAT abs = c_dfDIMouse;
    abs.dwFlags = DIDF_ABSAXIS;
    EXPECT_EQ(keyboard->SetDataFormat(c_dfDIKeyboard), DI_OK);
    EXPECT_EQ(mouse->SetDataFormat(abs), DI_OK);
    for (auto* d : {keyboard.get(), mouse.get()}) {
      EXPECT_EQ(d->SetCooperativeLevel(1, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND), DI_OK);
      EXPECT_EQ(d->SetBufferSize(64), DI_OK);
    }
    keyboard->SetEventNotification(&keyEvent);
    mouse->SetEventNotification(&mouseEvent);
    EXPECT_EQ(keyboard->Acquire(), DI_OK);
    EXPECT_EQ(mouse->Acquire(), DI_OK);
  }
  std::vector<DIDEVICEOBJECTDATA> read(DirectInputDevice8& d, DWORD max = 64, HRESULT* hr = nullptr) {
    std::vector<DIDEVICEOBJECTDATA> out(max);
    DWORD n = max;
    HRESULT r = d.GetDeviceData(sizeof(DIDEVICEOBJECTDATA), out.data(), &n, 0);
    if (hr) *hr = r;
    out.resize(n);
    return out;
  }
  std::unique_ptr<DirectInput8> di;
  std::unique_ptr<DirectInputDevice8> keyboard, mouse;
  Event keyEvent, mouseEvent;
};

SDL_Event keyEvent(Uint32 type, SDL_Scancode code, Uint32 time, Uint8 repeat = 0) {
  SDL_Event e{};
  e.type = type;
  e.key.timestamp = time;
  e.key.keysym.scancode = code;
  e.key.repeat = repeat;
  return e;
}

TEST(DikTable, SdlScancodesMapToThePhysicalKeys) {
  // Keys by their place on the keyboard, whatever the layout prints on them.
  EXPECT_EQ(dikFromSdlScancode(SDL_SCANCODE_SEMICOLON), 0x27);
  EXPECT_EQ(dikFromSdlScancode(SDL_SCANCODE_SLASH), 0x35);
  EXPECT_EQ(dikFromSdlScancode(SDL_SCANCODE_KP_ENTER), 0x9C);
  EXPECT_EQ(dikFromSdlScancode(SDL_SCANCODE_UP), 0xC8);
  EXPECT_EQ(dikFromSdlScancode(SDL_SCANCODE_NONUSBACKSLASH), 0x56);
  EXPECT_EQ(dikFromSdlScancode(SDL_SCANCODE_UNKNOWN), 0);
  EXPECT_EQ(dikFromSdlScancode(-1), 0);
  EXPECT_EQ(dikFromSdlScancode(100000), 0);
  // No two ordinary keys share a code.
  std::vector<int> seen(256, -1);
  for (int sc = SDL_SCANCODE_A; sc <= SDL_SCANCODE_RGUI; ++sc) {
    if (sc == SDL_SCANCODE_NONUSHASH || sc == SDL_SCANCODE_RETURN2 || sc == SDL_SCANCODE_SYSREQ ||
        sc == SDL_SCANCODE_MENU || sc == SDL_SCANCODE_MUTE || sc == SDL_SCANCODE_KP_DECIMAL ||
        sc == SDL_SCANCODE_KP_EQUALSAS400)
      continue;  // deliberate aliases of another key
    const int dik = dikFromSdlScancode(sc);
    if (dik == 0) continue;
    EXPECT_EQ(seen[dik], -1) << "scancode " << sc << " and " << seen[dik];
    seen[dik] = sc;
  }
}

TEST(DirectInputDevice, SdlKeysBecomeTimeStampedRecordsWithoutRepeats) {
  Devices d;
  d.di->feedSdlEvent(keyEvent(SDL_KEYDOWN, SDL_SCANCODE_SEMICOLON, 100));
  d.di->feedSdlEvent(keyEvent(SDL_KEYDOWN, SDL_SCANCODE_SEMICOLON, 130, 1));
  d.di->feedSdlEvent(keyEvent(SDL_KEYUP, SDL_SCANCODE_SEMICOLON, 160));
  EXPECT_TRUE(d.keyEvent.isSignalled());
  EXPECT_FALSE(d.mouseEvent.isSignalled());
  auto records = d.read(*d.keyboard);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].dwOfs, DIK_SEMICOLON);
  EXPECT_EQ(records[0].dwData, 0x80u);
  EXPECT_EQ(records[0].dwTimeStamp, 100u);
  EXPECT_EQ(records[1].dwData, 0u);
  EXPECT_EQ(records[1].dwTimeStamp, 160u);
  EXPECT_LT(records[0].dwSequence, records[1].dwSequence);
}

TEST(DirectInputDevice, MouseRecordsCarryAbsoluteAxesAndButtons) {
  Devices d;
  SDL_Event m{};
  m.type = SDL_MOUSEMOTION;
  m.motion.xrel = 5;
  m.motion.yrel = -3;
  m.motion.timestamp = 7;
  d.di->feedSdlEvent(m);
  d.di->feedSdlEvent(m);
  SDL_Event b{};
  b.type = SDL_MOUSEBUTTONDOWN;
  b.button.button = SDL_BUTTON_RIGHT;
  b.button.timestamp = 9;
  d.di->feedSdlEvent(b);
  auto records = d.read(*d.mouse);
  ASSERT_EQ(records.size(), 5u);
  EXPECT_EQ(records[0].dwOfs, DIMOFS_X);
  EXPECT_EQ(records[1].dwOfs, DIMOFS_Y);
  EXPECT_EQ(records[0].dwSequence, records[1].dwSequence);
  EXPECT_EQ(static_cast<int32_t>(records[2].dwData), 10);
  EXPECT_EQ(static_cast<int32_t>(records[3].dwData), -6);
  EXPECT_EQ(records[4].dwOfs, DIMOFS_BUTTON1);
  EXPECT_EQ(records[4].dwData, 0x80u);
  DIMOUSESTATE state;
  ASSERT_EQ(d.mouse->GetDeviceState(sizeof state, &state), DI_OK);
  EXPECT_EQ(state.lX, 10);
  EXPECT_EQ(state.lY, -6);
  EXPECT_EQ(state.rgbButtons[1], 0x80);
}

TEST(DirectInputDevice, OverflowKeepsTheOldestAndIsReportedOnce) {
  Devices d;
  for (int i = 0; i < 70; ++i) d.di->injectMouseMotion(1, 0, static_cast<DWORD>(i));
  HRESULT hr = DI_OK;
  auto records = d.read(*d.mouse, 100, &hr);
  EXPECT_EQ(hr, DI_BUFFEROVERFLOW);
  ASSERT_EQ(records.size(), 64u);
  EXPECT_EQ(records.front().dwTimeStamp, 0u);
  EXPECT_EQ(records.back().dwTimeStamp, 63u);
  d.read(*d.mouse, 100, &hr);
  EXPECT_EQ(hr, DI_OK);
}

TEST(DirectInputDevice, FocusLossIsReportedAsLostInputOnceAndBlocksReacquiring) {
  Devices d;
  SDL_Event f{};
  f.type = SDL_WINDOWEVENT;
  f.window.event = SDL_WINDOWEVENT_FOCUS_LOST;
  d.di->feedSdlEvent(f);
  HRESULT hr = DI_OK;
  d.read(*d.keyboard, 64, &hr);
  EXPECT_EQ(hr, DIERR_INPUTLOST);
  d.read(*d.keyboard, 64, &hr);
  EXPECT_EQ(hr, DIERR_NOTACQUIRED);
  EXPECT_EQ(d.keyboard->Acquire(), DIERR_OTHERAPPHASPRIO);
  f.window.event = SDL_WINDOWEVENT_FOCUS_GAINED;
  d.di->feedSdlEvent(f);
  EXPECT_EQ(d.keyboard->Acquire(), DI_OK);
}

TEST(DirectInputDevice, MisuseIsRefused) {
  auto di = DirectInput8Create(0x0700);
  EXPECT_EQ(di, nullptr);
  Devices d;
  EXPECT_EQ(d.keyboard->SetDataFormat(c_dfDIMouse), DIERR_ACQUIRED);
  auto spare = d.di->CreateDevice(DeviceClass::Keyboard);
  EXPECT_EQ(spare->SetDataFormat(c_dfDIMouse), DIERR_INVALIDPARAM);
  EXPECT_EQ(spare->Acquire(), DIERR_INVALIDPARAM);  // no format yet
  EXPECT_EQ(spare->SetCooperativeLevel(1, DISCL_EXCLUSIVE | DISCL_NONEXCLUSIVE | DISCL_FOREGROUND), DIERR_INVALIDPARAM);
  DWORD n = 4;
  EXPECT_EQ(d.keyboard->GetDeviceData(8, nullptr, &n, 0), DIERR_INVALIDPARAM);
  uint8_t small[16];
  EXPECT_EQ(d.keyboard->GetDeviceState(sizeof small, small), DIERR_INVALIDPARAM);
  // Devices outliving their runtime stay safe to use and destroy.
  d.di.reset();
  EXPECT_EQ(d.keyboard->Unacquire(), DI_OK);
}

TEST(DirectInputRuntime, SdlEventWatchFeedsTheDevices) {
  ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_EVENTS), 0) << SDL_GetError();
  {
    Devices d;
    SDL_Event e = keyEvent(SDL_KEYDOWN, SDL_SCANCODE_W, 0);
    ASSERT_EQ(SDL_PushEvent(&e), 1);
    auto records = d.read(*d.keyboard);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].dwOfs, DIK_W);
  }
  SDL_QuitSubSystem(SDL_INIT_EVENTS);
}

TEST(WaitForAnyEvent, ReportsTheLowestSignalledAndResetsOnlyIt) {
  Event a, b;
  Event* both[] = {&a, &b};
  EXPECT_EQ(waitForAnyEvent(both, 2), WAIT_TIMEOUT);
  a.set();
  b.set();
  EXPECT_EQ(waitForAnyEvent(both, 2), WAIT_OBJECT_0);
  EXPECT_EQ(waitForAnyEvent(both, 2), WAIT_OBJECT_0 + 1);
  EXPECT_EQ(waitForAnyEvent(both, 2), WAIT_TIMEOUT);
}

}  // namespace
