#pragma once
// What the GTK view hands the program when its module is loaded (internal to platform/dialog):
// the entry points of gtk_dialog.h. GTK and the libraries under it take several megabytes of
// a process that maps them, and a saver shows no dialog, so the view lives in a module of its
// own that the program loads the first time a dialog is wanted.
#include "platform/dialog/gtk_dialog.h"

namespace platform {

struct GtkDialogEntries {
  bool (*toolkitAvailable)();
  DialogBaseUnits (*baseUnits)();
  DialogServices& (*services)();
  intptr_t (*runModal)(int32_t templateId, DialogServices::Procedure procedure, int64_t ownerWindow);
};

// The module's one exported symbol: a function returning its entries.
inline constexpr const char* kGtkDialogEntriesSymbol = "brassmoorGtkDialogEntries";
using GtkDialogEntriesFunction = const GtkDialogEntries* (*)();

}  // namespace platform
