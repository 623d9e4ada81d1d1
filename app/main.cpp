#include "app/entry_point.h"

int main(int argc, char** argv) {
  auto presence = brassmoor::standInPresenceCheck();
  return brassmoor::runEntryPoint(argc, argv, *presence);
}
