#pragma once
// A message box without an owner and with an OK button. It is shown on the display when
// there is one and written to standard error otherwise (a user-facing message, not a log).
#include <string>

namespace platform {

// Texts are UTF-8. Returns when the box is closed.
void showMessageBox(const std::string& text, const std::string& caption);

}  // namespace platform
