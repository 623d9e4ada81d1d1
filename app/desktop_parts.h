#pragma once
// The settings dialog, the captions and the graphics-runtime check as the desktop shows
// them: the dialog model of settings/ in GTK windows, the captions resource, and a probe for
// an OpenGL 3.3 runtime.
#include <memory>

#include "app/shell_parts.h"
#include "platform/dialog/dialog_box.h"

namespace brassmoor {

// Puts the real dialog and captions into every ShellParts made from now on.
void installDesktopParts();

// The graphics-runtime check: 9.0 when an OpenGL 3.3 runtime is usable, else 0.0 and the
// missing-runtime dialog.
std::unique_ptr<PresenceCheck> openGLPresenceCheck();

// The missing-runtime dialog's procedure: placed at (300, 300), 390 x 131 pixels; ends with
// the id of the button pressed.
intptr_t missingRuntimeDialogProc(platform::DialogBox& dialog, uint32_t message, platform::WPARAM wParam,
                                  platform::LPARAM lParam);

// Where the missing-runtime dialog's first button leads.
inline constexpr const char* kRuntimeDownloadAddress = "https://www.khronos.org/opengl/wiki/Getting_Started";

}  // namespace brassmoor
