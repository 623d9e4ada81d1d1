#pragma once
// The program's entry: the graphics-runtime check, the command line, the one application
// object, the start-up for the mode and the frame loop.
#include <memory>
#include <string>

#include "app/saver_application.h"
#include "app/shell_parts.h"
#include "engine/core/clock.h"

namespace brassmoor {

// The process's exit codes. A failed start says why in one line on stderr and ends with the
// code of its cause, so a host or a script can tell a failure from a run that ended.
namespace exit_code {
inline constexpr int kInformation = 0;      // --help, --version
inline constexpr int kRunEnded = 1;         // a run, the settings dialog or the preview ended
inline constexpr int kUsage = 2;            // the command line cannot be understood
inline constexpr int kNoDisplay = 3;        // the X display cannot be reached
inline constexpr int kNoOpenGL = 4;         // no OpenGL 3.3 on it
inline constexpr int kNoDisplayMode = 5;    // the display mode asked for is not available
inline constexpr int kNoWindow = 6;         // the saver's window cannot be made (or /a)
inline constexpr int kMediaUnreadable = 7;  // the scene, its fonts or its archive cannot be read
inline constexpr int kDisplayLost = 8;      // the X display went away during the run
}  // namespace exit_code

// Says that the display went away and the run ends. Said once per process: when another
// thread is already ending the process for the loss (a crash of the OpenGL library met at the
// same time), this one ends with it instead, with the same code.
void sayDisplayLost();

// The exit code of a start-up that failed for `failure`.
int exitCodeFor(StartFailure failure);

// Returns the process exit code (exit_code above).
int runEntryPoint(int argc, char** argv, PresenceCheck& presenceCheck);

// "d/m/yyyy, h:mm:ss " of the local time, as the first trace line carries it.
std::string traceDateTime(const halcyon::SystemTime& time);

}  // namespace brassmoor
