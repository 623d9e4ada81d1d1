// The shell's parts: the engine's input and texts, and the answers of a build without the
// settings dialog.
#include "app/shell_parts.h"
#include "engine/core/trace.h"

namespace brassmoor {
namespace {

class StandInDialog final : public ConfigDialog {
 public:
  int run(SaverApplication&, int64_t) override {
    halcyon::reportFailure("the settings dialog is not part of this build");
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
  parts.input = engineInput();
  parts.text = engineTextLayer();
  if (!parts.dialog) parts.dialog = std::make_unique<StandInDialog>();
  if (!parts.captions) parts.captions = std::make_unique<NoCaptions>();
  return parts;
}

std::unique_ptr<PresenceCheck> standInPresenceCheck() { return std::make_unique<StandInPresence>(); }

}  // namespace brassmoor
