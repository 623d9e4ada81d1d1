#pragma once
// The user's settings for the saver. Fields carry the names of their registry values; the
// initialisers are the values the program falls back to when even the built-in defaults
// resource lacks a key.
#include <cstdint>
#include <string>

namespace brassmoor {

struct SaverSettings {
  bool UseDesktop = true;  // desktop resolution and refresh rate; else Width x Height
  bool ExitOnMM = false;   // mouse movement ends the saver
  bool ShowTime = true;    // time overlay
  bool TimeStyle = false;  // true: 24-hour time; false: 12-hour with am/pm
  bool Music = true;
  bool Sound = true;     // sound effects
  int32_t Volume = 50;   // master volume 0..100
  bool ShowFps = false;  // frame-rate overlay
  int32_t Gamma = 0;     // gamma offset, -100..100
  int32_t Adapter = 0;   // shown and kept by the dialog; not used to choose the device
  int32_t Width = 800;   // fixed-mode full-screen size
  int32_t Height = 600;
  int32_t Depth = 32;     // 16 selects a 16-bit back buffer, anything else 32-bit
  std::string PhotoPath;  // the user's picture for the wall frame; empty: built-in picture
  int32_t Lightning = 2;  // LightningMode: 0 off, 1 soft, 2 full
  int32_t Chimes = 0;     // ChimeMode: 0 off, 1 hours, 2 hours and quarters
  int32_t FrameCap = 0;   // frames a second at most; 0: as the display refreshes (a lower default under a host)

  bool operator==(const SaverSettings&) const = default;
};

// Where the settings live under the user's registry root.
inline constexpr const char* kSettingsKeyPath = "Software\\Quillmark\\Brassmoor";

}  // namespace brassmoor
