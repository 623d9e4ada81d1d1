#include <dlfcn.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/dialog/gtk_module.h"
#include "platform/resources/dialog_template.h"
#include "platform/resources/resources.h"
#include "platform/window/bmp_image.h"

namespace platform {
namespace {

// The module takes these from the program that loads it; naming them here links them into
// every program that can show a dialog, whatever else that program uses.
[[gnu::used]] const void* const kProgramPartsTheModuleUses[] = {reinterpret_cast<const void*>(&loadDialogTemplate),
                                                                reinterpret_cast<const void*>(&findResource),
                                                                reinterpret_cast<const void*>(&decodeBitmap)};

// Where the module is looked for: beside the program (as it is built), then where the package
// installs it, relative to the program.
std::filesystem::path programFolder() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::path() : self.parent_path();
}

const GtkDialogEntries* loadEntries() {
  const std::filesystem::path folder = programFolder();
  std::string failure = "the program's folder is unknown";
  for (const std::filesystem::path& place :
       {folder / BRASSMOOR_DIALOG_MODULE, folder / BRASSMOOR_DIALOG_MODULE_DIR / BRASSMOOR_DIALOG_MODULE}) {
    if (folder.empty()) break;
    void* module = dlopen(place.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
      const char* why = dlerror();
      failure = why ? why : place.string() + " cannot be opened";
      continue;
    }
    if (auto entries = reinterpret_cast<GtkDialogEntriesFunction>(dlsym(module, kGtkDialogEntriesSymbol)))
      return entries();
    failure = place.string() + " is not the dialogs' module";
    dlclose(module);
  }
  std::fprintf(stderr, "brassmoor: dialogs cannot be shown: %s\n", failure.c_str());
  return nullptr;
}

// Loaded the first time a dialog is wanted, and kept.
const GtkDialogEntries* entries() {
  static const GtkDialogEntries* loaded = loadEntries();
  return loaded;
}

// What a dialog asks for when the toolkit could not be loaded: messages go to stderr, and
// nothing else can be shown.
class NoDialogServices final : public DialogServices {
 public:
  void messageBox(DialogBox*, const std::string& text, const std::string& caption) override {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  }
  std::optional<std::string> openFile(DialogBox&, const std::string&) override { return std::nullopt; }
  bool openAddress(const std::string&) override { return false; }
  intptr_t runModal(DialogBox*, int32_t, Procedure) override { return -1; }
};

}  // namespace

bool dialogToolkitAvailable() { return entries() && entries()->toolkitAvailable(); }

bool dialogModuleLoaded() { return entries() != nullptr; }

DialogBaseUnits measuredDialogBaseUnits() { return entries() ? entries()->baseUnits() : DialogBaseUnits{}; }

DialogServices& gtkDialogServices() {
  static NoDialogServices none;
  return entries() ? entries()->services() : none;
}

intptr_t runModalDialog(int32_t templateId, DialogServices::Procedure procedure, int64_t ownerWindow) {
  return entries() ? entries()->runModal(templateId, std::move(procedure), ownerWindow) : -1;
}

}  // namespace platform
