#pragma once
// The input manager's view of the application's engine window: its handle and client area
// from the application, the cursor and buttons from the system.
#include "engine/device/application.h"
#include "engine/input/input_manager.h"

namespace halcyon {

class ApplicationInputWindow : public InputWindow {
 public:
  explicit ApplicationInputWindow(Application& application) : app_(&application) {}

  uintptr_t handle() const override;
  ClientRect clientRect() const override;
  bool isWindowed() const override { return app_->windowed(); }
  bool systemCursor(float& x, float& y) const override;
  void showArrowCursor() override;
  void hideCursor() override;
  bool asyncButtonDown(int button) const override;

 private:
  Application* app_;
};

}  // namespace halcyon
