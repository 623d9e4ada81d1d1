#pragma once
// Modal dialogs on the desktop, shown with GTK 3: a DialogBox's controls become real widgets
// arranged in boxes and grids by the template's layout, sized by the desktop's font and
// scale, and what the user does becomes messages to the dialog's procedure. This header
// carries no GTK types.
#include <cstdint>
#include <optional>
#include <string>

#include "platform/dialog/dialog_box.h"

namespace platform {

// False when no display can be opened; dialogs then cannot be shown.
bool dialogToolkitAvailable();

// False when the dialogs' module could not be loaded (the loader has said why on stderr).
bool dialogModuleLoaded();

// Base units of the desktop's dialog font as the toolkit draws it (what the procedures'
// pixel places are reckoned in; the view itself sizes controls from their contents).
DialogBaseUnits measuredDialogBaseUnits();

// The services the GTK dialogs offer their procedures.
DialogServices& gtkDialogServices();

// Builds dialog `templateId` from the embedded resources and runs it modally with
// `procedure` (WM_INITDIALOG first). `ownerWindow` is an X11 window id the dialog stays above
// (0: none). The dialog's result, or -1 when it cannot be shown.
intptr_t runModalDialog(int32_t templateId, DialogServices::Procedure procedure, int64_t ownerWindow);

}  // namespace platform
