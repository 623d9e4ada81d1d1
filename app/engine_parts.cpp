// The shell's input and overlay texts on the engine: the input manager with the shell's
// listeners behind it, and the bitmap fonts with the window layer's text boxes.
#include <memory>
#include <vector>

#include "app/shell_parts.h"
#include "engine/device/state_cache.h"
#include "engine/device/texture.h"
#include "engine/fs/file_ref.h"
#include "engine/gui/text_box.h"
#include "engine/gui/window_manager.h"
#include "engine/input/input_manager.h"
#include "engine/text/font_manager.h"
#include "engine/text/managed_textures.h"

namespace brassmoor {
namespace {

class EngineInput final : public InputSystem, public halcyon::InputListener {
 public:
  ~EngineInput() override { manager_.shutdown(); }

  bool initialise(halcyon::Application& application, bool systemCursor, uint32_t keyboardFlags,
                  uint32_t mouseFlags) override {
    if (!relaying_) {
      manager_.addListener(this);
      relaying_ = true;
    }
    return manager_.initialise(application, systemCursor, keyboardFlags, mouseFlags);
  }
  void addListener(brassmoor::InputListener* listener) override { listeners_.push_back(listener); }
  void update(int32_t intervalMs) override { manager_.update(intervalMs); }
  void pump() override { manager_.pump(); }
  void shutdown() override { manager_.shutdown(); }
  halcyon::InputManager* manager() override { return &manager_; }

  // The shell's listeners hear every event, in the order they were registered.
  void onInputEvent(const halcyon::InputEvent& e) override {
    const InputEvent event{e.kind, e.x, e.y, e.prevX, e.prevY, e.dx, e.dy, e.code};
    const auto listeners = listeners_;
    for (brassmoor::InputListener* listener : listeners) listener->onInputEvent(event);
  }

 private:
  halcyon::InputManager manager_;
  std::vector<brassmoor::InputListener*> listeners_;
  bool relaying_ = false;
};

class EngineText final : public OverlayText {
 public:
  EngineText(const halcyon::FontManager& fonts, const halcyon::FontStyle& style) : box_(fonts, style) {}
  void setText(const std::string& text) override { box_.setText(text); }
  const std::string& text() const override { return box_.text(); }
  void markForRedraw() override { box_.markForRedraw(); }
  std::pair<float, float> textExtent() const override {
    const halcyon::TextExtent extent = box_.textExtent();
    return {static_cast<float>(extent.width), static_cast<float>(extent.height)};
  }
  void setPlace(float x, float y) override { box_.place(static_cast<int32_t>(x), static_cast<int32_t>(y)); }
  float x() const override { return static_cast<float>(box_.x()); }
  float y() const override { return static_cast<float>(box_.y()); }
  halcyon::TextBox& box() { return box_; }

 private:
  halcyon::TextBox box_;
};

class EngineTextLayer final : public TextLayer, public InputListener {
 public:
  EngineTextLayer() : textures_(halcyon::textureManager()), fonts_(&textures_) {}
  ~EngineTextLayer() override {
    for (const auto& text : texts_) windows_.remove(&text->box());
  }

  void setMedia(const std::string& folder, halcyon::StoredArchive* archive) override {
    folder_ = folder;
    archive_ = archive;
    halcyon::FileRef location;
    location.sources = halcyon::Disk | (archive ? halcyon::Archive : 0u);
    location.name = folder;
    location.archive = archive;
    fonts_.searchPaths().addLocation(location);
  }

  bool loadFont(const std::string& path) override {
    halcyon::FileRef font;
    font.sources = halcyon::Disk | (archive_ ? halcyon::Archive : 0u);
    font.name = folder_ + path;
    font.archive = archive_;
    return fonts_.loadFont(font);
  }

  OverlayText* createText(float x, float y, float width, float height, int fontSize, float scale,
                          const std::string& text) override {
    halcyon::FontStyle style;
    style.size = fontSize;
    style.scale = scale;
    auto created = std::make_unique<EngineText>(fonts_, style);
    halcyon::TextBox& box = created->box();
    box.place(static_cast<int32_t>(x), static_cast<int32_t>(y));
    box.resize(static_cast<int32_t>(width), static_cast<int32_t>(height));
    box.setText(text);
    windows_.add(&box);
    texts_.push_back(std::move(created));
    return texts_.back().get();
  }

  void draw() override { windows_.render(halcyon::stateCache()); }
  InputListener* listener() override { return this; }

  // The window layer hears the input first, as the engine's own listener.
  void onInputEvent(const InputEvent& e) override {
    windows_.onInputEvent(halcyon::InputEvent{e.kind, e.x, e.y, e.previousX, e.previousY, e.moveX, e.moveY, e.code});
  }

 private:
  halcyon::ManagedCharsetTextures textures_;
  halcyon::FontManager fonts_;
  halcyon::WindowManager windows_;
  std::vector<std::unique_ptr<EngineText>> texts_;
  std::string folder_ = "Media";
  halcyon::StoredArchive* archive_ = nullptr;
};

}  // namespace

std::unique_ptr<InputSystem> engineInput() { return std::make_unique<EngineInput>(); }
std::unique_ptr<TextLayer> engineTextLayer() { return std::make_unique<EngineTextLayer>(); }

}  // namespace brassmoor
