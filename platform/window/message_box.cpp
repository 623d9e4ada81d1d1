#include "platform/window/message_box.h"

#include <SDL.h>

#include <cstdio>

namespace platform {

void showMessageBox(const std::string& text, const std::string& caption) {
  if (SDL_ShowSimpleMessageBox(0, caption.c_str(), text.c_str(), nullptr) == 0) return;
  if (caption.empty()) {
    std::fprintf(stderr, "%s\n", text.c_str());
  } else {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  }
}

}  // namespace platform
