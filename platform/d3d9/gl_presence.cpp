#include "platform/d3d9/gl_presence.h"

#include <SDL.h>
#include <epoxy/gl.h>

#if defined(__SANITIZE_ADDRESS__)
#include <dlfcn.h>
#include <link.h>

#include <cstring>
#include <string>
#include <vector>
#endif

namespace platform {

void keepGraphicsDriverLoaded() {
#if defined(__SANITIZE_ADDRESS__)
  std::vector<std::string> drivers;
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* found) {
        if (info->dlpi_name && std::strstr(info->dlpi_name, "_dri.so"))
          static_cast<std::vector<std::string>*>(found)->emplace_back(info->dlpi_name);
        return 0;
      },
      &drivers);
  // Opening an already loaded library again with RTLD_NODELETE only marks it to stay.
  for (const std::string& driver : drivers) dlopen(driver.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
#endif
}

bool openGLRuntimeUsable() {
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
  SDL_GL_ResetAttributes();
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
  bool usable = false;
  if (SDL_Window* window = SDL_CreateWindow("", 0, 0, 1, 1, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN)) {
    if (SDL_GLContext context = SDL_GL_CreateContext(window)) {
      platform::keepGraphicsDriverLoaded();
      usable = epoxy_is_desktop_gl() && epoxy_gl_version() >= 33;
      SDL_GL_MakeCurrent(window, nullptr);
      SDL_GL_DeleteContext(context);
    }
    SDL_DestroyWindow(window);
  }
  SDL_GL_ResetAttributes();
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
  return usable;
}

}  // namespace platform
