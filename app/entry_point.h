#pragma once
// The program's entry: the graphics-runtime check, the command line, the one application
// object, the start-up for the mode and the frame loop.
#include <memory>
#include <string>

#include "app/shell_parts.h"
#include "engine/core/clock.h"

namespace brassmoor {

// Returns the process exit code: 1 after a completed run, the settings dialog or the
// missing-runtime dialog; 0 when start-up fails; 0 after --help and --version; 2 when a
// port option is malformed.
int runEntryPoint(int argc, char** argv, PresenceCheck& presenceCheck);

// "d/m/yyyy, h:mm:ss " of the local time, as the first trace line carries it.
std::string traceDateTime(const halcyon::SystemTime& time);

}  // namespace brassmoor
