#pragma once
// The parts of the engine and of the settings dialog that the shell reaches through small
// interfaces: the input manager, the fonts and overlay texts, the settings dialog, the
// captions and the graphics-runtime check. The input and the texts are the engine's own
// (engine_parts.cpp); tests hand in recording ones. standInShellParts() gives those with the
// dialog parts that a build without the settings dialog has.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "engine/device/application.h"
#include "platform/window/saver_window.h"

namespace halcyon {
class InputManager;
class StoredArchive;
}

namespace brassmoor {

class SaverApplication;

// One input event: kind, cursor, previous cursor, movement, key or character code.
struct InputEvent {
  int32_t kind = 0;
  float x = 0, y = 0;
  float previousX = 0, previousY = 0;
  float moveX = 0, moveY = 0;
  int32_t code = 0;
};

// Event kinds the shell reads.
inline constexpr int32_t kLeftButtonDown = 0;
inline constexpr int32_t kRightButtonDown = 3;
inline constexpr int32_t kCursorMoved = 6;

class InputListener {
 public:
  virtual void onInputEvent(const InputEvent& event) = 0;
  virtual ~InputListener() = default;
};

class InputSystem {
 public:
  virtual ~InputSystem() = default;
  // Binds to the application's window and starts receiving its messages.
  virtual bool initialise(halcyon::Application& application, bool systemCursor, uint32_t keyboardFlags,
                          uint32_t mouseFlags) = 0;
  virtual void addListener(InputListener* listener) = 0;
  virtual void update(int32_t intervalMs) = 0;
  virtual void pump() = 0;
  virtual void shutdown() = 0;
  // The engine's input manager underneath, for the free camera's controller (null if none).
  virtual halcyon::InputManager* manager() { return nullptr; }
};

// A text box of the overlay layer.
class OverlayText {
 public:
  virtual ~OverlayText() = default;
  virtual void setText(const std::string& text) = 0;
  virtual const std::string& text() const = 0;
  virtual void markForRedraw() = 0;
  // Width and height of the current text in the box's font.
  virtual std::pair<float, float> textExtent() const = 0;
  virtual void setPlace(float x, float y) = 0;
  virtual float x() const = 0;
  virtual float y() const = 0;
};

// The bitmap fonts and the window layer that holds and draws the overlay texts.
class TextLayer {
 public:
  virtual ~TextLayer() = default;
  // Where font paths are looked up: the media folder on disk, then the media archive.
  virtual void setMedia(const std::string&, halcyon::StoredArchive*) {}
  virtual bool loadFont(const std::string& path) = 0;
  // A text box at (x, y) of the given size, in the font of `fontSize` drawn at `scale`.
  // The layer owns it.
  virtual OverlayText* createText(float x, float y, float width, float height, int fontSize, float scale,
                                  const std::string& text) = 0;
  virtual void draw() = 0;
  // The layer's own listener, registered with the input manager before the application.
  virtual InputListener* listener() = 0;
};

class ConfigDialog {
 public:
  virtual ~ConfigDialog() = default;
  // Shows the settings dialog modally, owned by `ownerWindow` (0: none); its result.
  virtual int run(SaverApplication& application, int64_t ownerWindow) = 0;
};

class Captions {
 public:
  virtual ~Captions() = default;
  // The caption of `key`; empty when there is none.
  virtual std::string lookup(std::string_view key) const = 0;
};

struct ShellParts {
  std::unique_ptr<InputSystem> input;
  std::unique_ptr<TextLayer> text;
  std::unique_ptr<ConfigDialog> dialog;
  std::unique_ptr<Captions> captions;
};

ShellParts standInShellParts();

// Makes the settings dialog and the captions of the real program (main installs it); from
// then on standInShellParts() gives these instead of the stand-ins, so every application
// object, the clock scene included, gets them.
using DialogPartsMaker = std::function<ShellParts()>;
void setDialogPartsMaker(DialogPartsMaker maker);

// The engine's input manager and its fonts, window layer and text boxes.
std::unique_ptr<InputSystem> engineInput();
std::unique_ptr<TextLayer> engineTextLayer();

// The graphics-runtime presence check, run before anything else.
class PresenceCheck {
 public:
  virtual ~PresenceCheck() = default;
  // The runtime's version packed as major << 16 | minor << 8 | letter; false when unknown.
  virtual bool check(uint32_t& packedVersion) = 0;
  // The dialog that offers the runtime's download page.
  virtual void showMissingDialog() = 0;
  // After a failed check: whether the display itself could not be reached (no dialog can be
  // shown then), and the reason in the window system's words.
  virtual bool displayUnreachable() const { return false; }
  virtual std::string reason() const { return {}; }
};

std::unique_ptr<PresenceCheck> standInPresenceCheck();

}  // namespace brassmoor
