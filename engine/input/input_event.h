#pragma once
// What the input manager hands to its listeners: eight values, in this order.
#include <cstdint>

namespace halcyon {

enum InputEventKind : int32_t {
  kLeftButtonDown = 0,
  kLeftButtonUp = 1,
  kLeftDoubleClick = 2,
  kRightButtonDown = 3,
  kRightButtonUp = 4,
  kRightDoubleClick = 5,
  kCursorMoved = 6,
  kMouseAxesMoved = 7,
  kKeyDown = 8,
  kKeyUp = 9,
  kCharacter = 10,
  kFocusRegained = 11,
};

struct InputEvent {
  int32_t kind = 0;
  float x = 0, y = 0;          // cursor position, client pixels
  float prevX = 0, prevY = 0;  // previous cursor position
  float dx = 0, dy = 0;        // movement
  int32_t code = 0;            // scan code or character
};

class InputListener {
 public:
  virtual ~InputListener() = default;
  virtual void onInputEvent(const InputEvent& event) = 0;
};

}  // namespace halcyon
