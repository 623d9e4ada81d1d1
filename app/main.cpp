#include "app/desktop_parts.h"
#include "app/entry_point.h"

int main(int argc, char** argv) {
  brassmoor::installDesktopParts();
  auto presence = brassmoor::openGLPresenceCheck();
  return brassmoor::runEntryPoint(argc, argv, *presence);
}
