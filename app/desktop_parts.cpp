#include "app/desktop_parts.h"

#include <cstdio>

#include "app/runtime_version.h"
#include "app/saver_application.h"
#include "engine/core/trace.h"
#include "engine/device/device_enumeration.h"
#include "engine/device/device_settings.h"
#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/gl_presence.h"
#include "platform/dialog/gtk_dialog.h"
#include "settings/captions.h"
#include "settings/settings_dialog.h"

namespace brassmoor {
namespace {

using platform::DialogBox;
using platform::LPARAM;
using platform::WPARAM;

OfferedMode offered(const D3DDISPLAYMODE& m) {
  return OfferedMode{static_cast<int32_t>(m.Width), static_cast<int32_t>(m.Height),
                     static_cast<int32_t>(halcyon::formatBitsPerPixel(m.Format)), static_cast<uint32_t>(m.Format)};
}

// The runtime's adapters and modes, from a runtime object made for the question and let go
// after it.
std::optional<DisplayModeOffer> offeredModes() {
  IDirect3D9* direct3d = Direct3DCreate9(D3D_SDK_VERSION);
  if (!direct3d) return std::nullopt;
  DisplayModeOffer offer;
  D3DDISPLAYMODE desktop{};
  if (direct3d->GetAdapterDisplayMode(0, &desktop) == D3D_OK) offer.desktop = offered(desktop);
  halcyon::DeviceEnumeration enumeration;
  enumeration.setDirect3D(direct3d);
  enumeration.enumerate();
  for (const halcyon::AdapterInfo& adapter : enumeration.adapters()) {
    AdapterModes modes;
    modes.ordinal = static_cast<int32_t>(adapter.adapterOrdinal);
    for (const D3DDISPLAYMODE& m : adapter.displayModes) modes.modes.push_back(offered(m));
    offer.adapters.push_back(std::move(modes));
  }
  direct3d->Release();
  return offer;
}

class DesktopCaptions final : public Captions {
 public:
  explicit DesktopCaptions(std::shared_ptr<const CaptionTable> table) : table_(std::move(table)) {}
  std::string lookup(std::string_view key) const override { return table_->lookupUtf8(key); }

 private:
  std::shared_ptr<const CaptionTable> table_;
};

class DesktopDialog final : public ConfigDialog {
 public:
  explicit DesktopDialog(std::shared_ptr<const CaptionTable> captions) : captions_(std::move(captions)) {}

  int run(SaverApplication& app, int64_t ownerWindow) override {
    if (!platform::dialogToolkitAvailable()) {
      // Without the module the loader has already said why; a display is not what is missing.
      if (platform::dialogModuleLoaded()) halcyon::reportFailure("the settings dialog needs a display");
      return 0;
    }
    SettingsDialogContext context{
        app.settings(), app.defaults(), *captions_, offeredModes, [&app] { return app.saveSettings(); }, session_};
    return static_cast<int>(platform::runModalDialog(
        dialog_id::kSettingsDialog,
        [&](DialogBox& dialog, uint32_t message, WPARAM wParam, LPARAM lParam) {
          // The scene's own procedure (the clock scene's picture controls) sees every
          // message first; the shell's handles the rest.
          app.scene().configDialogProc(&dialog, message, wParam, lParam);
          return settingsDialogProc(context, dialog, message, wParam, lParam);
        },
        ownerWindow));
  }

 private:
  std::shared_ptr<const CaptionTable> captions_;
  SettingsDialogSession session_;
};

class OpenGLPresence final : public PresenceCheck {
 public:
  bool check(uint32_t& packedVersion) override {
    packedVersion = 0;
    // The check talks to the display over the connection the saver's windows use later, so
    // the server never sees its last client go between the check and the run.
    if (!platform::connectDisplay(reason_)) {
      unreachable_ = true;
      return false;
    }
    // The OpenGL device stands where the runtime of version 9.0 stood.
    const RuntimeVersion version = platform::openGLRuntimeUsable() ? RuntimeVersion{9, 0, 0} : RuntimeVersion{};
    packedVersion = packRuntimeVersion(version);
    formatRuntimeVersion(version, text_, sizeof text_);
    return true;
  }

  void showMissingDialog() override {
    if (unreachable_ || !platform::dialogToolkitAvailable()) return;
    if (platform::runModalDialog(129, missingRuntimeDialogProc, 0) == platform::IDOK)
      platform::gtkDialogServices().openAddress(kRuntimeDownloadAddress);
  }

  bool displayUnreachable() const override { return unreachable_; }
  std::string reason() const override { return reason_; }

 private:
  char text_[10] = {};
  bool unreachable_ = false;
  std::string reason_;
};

}  // namespace

intptr_t missingRuntimeDialogProc(DialogBox& dialog, uint32_t message, WPARAM wParam, LPARAM) {
  if (message == platform::WM_INITDIALOG) {
    dialog.moveWindow(platform::PixelRect{300, 300, 390, 131});
    return 1;
  }
  if (message == platform::WM_COMMAND) {
    const int32_t id = platform::loWord(wParam);
    if (id == platform::IDOK || id == platform::IDCANCEL) dialog.endDialog(id);
  }
  return 0;
}

void installDesktopParts() {
  setDialogPartsMaker([] {
    // Read once per application object, when its parts are made.
    auto table = std::make_shared<CaptionTable>();
    table->loadResource();
    ShellParts parts;
    parts.captions = std::make_unique<DesktopCaptions>(table);
    parts.dialog = std::make_unique<DesktopDialog>(table);
    return parts;
  });
}

std::unique_ptr<PresenceCheck> openGLPresenceCheck() { return std::make_unique<OpenGLPresence>(); }

}  // namespace brassmoor
