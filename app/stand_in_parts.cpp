// First-build answers for the parts other subsystems own.
#include <cstdio>
#include <vector>

#include "app/shell_parts.h"

namespace brassmoor {
namespace {

using namespace platform;

// Mouse messages become the events the input manager would give: buttons and cursor moves.
class StandInInput final : public InputSystem, public MessageHandler {
 public:
  ~StandInInput() override { shutdown(); }

  bool initialise(ApplicationBase& application, bool, uint32_t, uint32_t) override {
    shutdown();
    application_ = &application;
    application.AddMessageHandler(this);
    return true;
  }
  void addListener(InputListener* listener) override { listeners_.push_back(listener); }
  void update(int32_t) override {}
  void pump() override {}
  void shutdown() override {
    if (application_) application_->RemoveMessageHandler(this);
    application_ = nullptr;
  }

  LRESULT HandleMessage(SaverWindow&, uint32_t message, WPARAM, LPARAM lParam) override {
    InputEvent e;
    const float x = static_cast<float>(xFromLParam(lParam)), y = static_cast<float>(yFromLParam(lParam));
    switch (message) {
      case WM_LBUTTONDOWN:
      case WM_RBUTTONDOWN:
        e.kind = message == WM_LBUTTONDOWN ? kLeftButtonDown : kRightButtonDown;
        e.x = cursorX_, e.y = cursorY_;
        break;
      case WM_MOUSEMOVE:
        if (!haveCursor_) {
          cursorX_ = x, cursorY_ = y, haveCursor_ = true;
        }
        e.kind = kCursorMoved;
        e.x = x, e.y = y, e.previousX = cursorX_, e.previousY = cursorY_;
        e.moveX = x - cursorX_, e.moveY = y - cursorY_;
        cursorX_ = x, cursorY_ = y;
        break;
      default:
        return 0;
    }
    const auto listeners = listeners_;
    for (InputListener* l : listeners) l->onInputEvent(e);
    return 0;
  }

 private:
  ApplicationBase* application_ = nullptr;
  std::vector<InputListener*> listeners_;
  float cursorX_ = 0, cursorY_ = 0;
  bool haveCursor_ = false;
};

class StandInText final : public OverlayText {
 public:
  StandInText(float x, float y, float fontPixels, std::string text) : x_(x), y_(y), fontPixels_(fontPixels), text_(std::move(text)) {}
  void setText(const std::string& text) override { text_ = text; }
  const std::string& text() const override { return text_; }
  void markForRedraw() override { ++redraws_; }
  std::pair<float, float> textExtent() const override {
    return {static_cast<float>(text_.size()) * fontPixels_ * 0.5f, fontPixels_};
  }
  void setPlace(float x, float y) override { x_ = x, y_ = y; }
  float x() const override { return x_; }
  float y() const override { return y_; }

 private:
  float x_, y_, fontPixels_;
  std::string text_;
  int redraws_ = 0;
};

// Fonts "load" and texts are kept, measured and placed, but nothing is drawn yet.
class StandInTextLayer final : public TextLayer, public InputListener {
 public:
  bool loadFont(const std::string&) override { return true; }
  OverlayText* createText(float x, float y, float, float, int fontSize, float scale, const std::string& text) override {
    texts_.push_back(std::make_unique<StandInText>(x, y, static_cast<float>(fontSize) * scale, text));
    return texts_.back().get();
  }
  void draw() override {}
  InputListener* listener() override { return this; }
  void onInputEvent(const InputEvent&) override {}

 private:
  std::vector<std::unique_ptr<StandInText>> texts_;
};

class StandInDialog final : public ConfigDialog {
 public:
  int run(SaverApplication&, int64_t) override {
    std::fprintf(stderr, "brassmoor: the settings dialog is not part of this build yet.\n");
    return 2;
  }
};

class NoCaptions final : public Captions {
 public:
  std::string lookup(std::string_view) const override { return {}; }
};

class StandInPresence final : public PresenceCheck {
 public:
  bool check(uint32_t& packedVersion) override {
    packedVersion = 0x00090000;
    return true;
  }
  void showMissingDialog() override {}
};

DialogPartsMaker& dialogPartsMaker() {
  static DialogPartsMaker maker;
  return maker;
}

}  // namespace

void setDialogPartsMaker(DialogPartsMaker maker) { dialogPartsMaker() = std::move(maker); }

ShellParts standInShellParts() {
  ShellParts parts;
  if (dialogPartsMaker()) parts = dialogPartsMaker()();
  parts.input = std::make_unique<StandInInput>();
  parts.text = std::make_unique<StandInTextLayer>();
  if (!parts.dialog) parts.dialog = std::make_unique<StandInDialog>();
  if (!parts.captions) parts.captions = std::make_unique<NoCaptions>();
  return parts;
}

std::unique_ptr<PresenceCheck> standInPresenceCheck() { return std::make_unique<StandInPresence>(); }

}  // namespace brassmoor
